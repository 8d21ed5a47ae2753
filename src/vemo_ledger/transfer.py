"""The sender's side of a transfer: what a payer knows and what it publishes."""
from __future__ import annotations

from dataclasses import dataclass
from typing import NamedTuple

import vemo

from vemo_ledger.record import Opening, Transfer

#: vemo takes amounts as 32-bit signed integers: no balance can exceed this.
MAX_AMOUNT = 2**31 - 1


@dataclass(frozen=True)
class Holding:
    """What an account's owner knows of its balance: the amount and its blinding scalar.

    The ledger holds only commit(value, blinding); the owner keeps both
    numbers, since every later transfer from the account proves facts
    about them.
    """

    value: int
    blinding: vemo.rand_r

    def commitment(self, gh: vemo.GH) -> vemo.Commit:
        """The commitment the ledger holds for this balance."""
        return vemo.commit(self.value, self.blinding, gh)


class Payment(NamedTuple):
    """A transfer and the balances it leaves, as its sender computed them."""

    transfer: Transfer
    sender_after: Holding  # the sender's balance once the transfer is applied
    received: Holding  # what the receiver's balance gains: the amount and r


def open_account(id: str, pk: str, holding: Holding, gh: vemo.GH) -> Opening:
    """The record that opens the account of public key `pk` with the given balance."""
    return Opening(id=id, account=pk, balance=holding.commitment(gh).get)


def pay(
    *,
    id: str,
    bits: int,
    sender_pk: str,
    sender: Holding,
    amount: int,
    receiver_pk: str,
    auditor_pk: str,
    gh: vemo.GH,
    r: vemo.rand_r | None = None,
) -> Payment:
    """Build the transfer of `amount` from the account of `sender_pk`.

    The sender knows its balance (`sender`) and the amount; `r` is the
    amount's fresh blinding scalar (a new one when None). The receiver and
    the auditor each get an audit token r·pk with a consistency proof, so
    each can read the amount with their own key; two range proofs show that
    neither the amount nor the sender's new balance is negative. The new
    balance commits to value − amount with blinding blinding − r, which is
    exactly the old commitment minus the amount's.

    Nothing is checked here: an amount above the balance gives a transfer
    whose range proof of the new balance fails, which is what a verifier
    must see. Raises OverflowError for amounts vemo cannot take.
    """
    r = vemo.gen_r() if r is None else r
    amount_cm = vemo.commit(amount, r, gh)
    token_receiver = vemo.to_token_from_pk(receiver_pk, r)
    token_auditor = vemo.to_token_from_pk(auditor_pk, r)
    after = Holding(sender.value - amount, sender.blinding.sub(r))
    transfer = Transfer(
        id=id,
        bits=bits,
        sender=sender_pk,
        receiver=receiver_pk,
        auditor=auditor_pk,
        amount=amount_cm.get,
        sender_balance=after.commitment(gh).get,
        token_receiver=token_receiver.get,
        token_auditor=token_auditor.get,
        proof_receiver=vemo.consistency_proof(amount, r, gh, amount_cm, token_receiver, receiver_pk),
        proof_auditor=vemo.consistency_proof(amount, r, gh, amount_cm, token_auditor, auditor_pk),
        range_amount=vemo.range_proof_single(bits, amount, gh, r),
        range_balance=vemo.range_proof_single(bits, after.value, gh, after.blinding),
    )
    return Payment(transfer, after, Holding(amount, r))


def receive(holding: Holding, received: Holding) -> Holding:
    """The receiver's balance once a transfer to it is applied."""
    return Holding(holding.value + received.value, holding.blinding.sum(received.blinding))


def read_amount(t: Transfer, token: str, key: vemo.PbSk, gh: vemo.GH, search: int = 1 << 20) -> int:
    """A key holder's side: the amount of `t`, found with its token and key, or −1.

    Searches [0, search) exhaustively (vemo.get_brut_v); `token` is the
    holder's own token of the transfer.
    """
    return vemo.get_brut_v(vemo.from_str(t.amount), vemo.to_token_from_str(token), gh, key, search)
