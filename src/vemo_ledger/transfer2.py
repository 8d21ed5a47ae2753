"""The parties' side of a ledger of version 2: the issuer, a payer, a wallet.

An account's balance is a pair (C, T): C = v·g + r·h and T = r·pk, the
owner's decrypt handle. The owner reads v with its secret key alone
(C − sk⁻¹·T = v·g, then a search over small values), and spends it with its
key alone (vemo_strict's balance proof), whatever r the payers chose. No
function here needs a blinding scalar of anybody else's.
"""
from __future__ import annotations

import os
from dataclasses import replace
from typing import NamedTuple

import vemo
import vemo_strict

from vemo_ledger.record2 import Header, Issue, Transfer2, context, message, place


class Pair(NamedTuple):
    """A balance on the ledger: the commitment C and the owner's handle T."""

    commitment: vemo.Commit
    handle: vemo.Token


def new_header(id: str, bits: int, issuer: vemo.PbSk, auditor: vemo.PbSk, gh: vemo.GH,
               ledger: str | None = None) -> Header:
    """The header of a new ledger (a random id unless `ledger` is given),
    signed by its issuer and by its auditor: each shows it holds its key."""
    ledger = os.urandom(32).hex() if ledger is None else ledger
    h = Header(id=id, ledger=ledger, bits=bits, issuer=issuer.get_pk(), auditor=auditor.get_pk(),
               issuer_signature="", auditor_signature="")
    m = message(h, "issuer_signature", "auditor_signature")
    return replace(h, issuer_signature=vemo_strict.sign(context(ledger, "header", b"", "issuer"), m, issuer, gh).hex(),
                   auditor_signature=vemo_strict.sign(context(ledger, "header", b"", "auditor"), m, auditor,
                                                      gh).hex())


def issue(kind: str, *, id: str, header: Header, issuer: vemo.PbSk, account: str, n: int, amount: int,
          gh: vemo.GH, r: vemo.rand_r | None = None) -> Issue:
    """An opening (kind "open") or a mint ("mint") of `amount` into the
    account of key `account`: the issuer's `n`-th such record, signed with
    its key. `header` names the ledger, its auditor and its bit length.
    ValueError for another kind."""
    if kind not in ("open", "mint"):
        raise ValueError(f'kind must be "open" or "mint", not {kind!r}')
    r = vemo.gen_r() if r is None else r
    c = vemo_strict.commit(amount, r, gh)
    keys = [account, header.auditor]
    handles = [vemo.to_token_from_pk(k, r) for k in keys]
    where = place(account, n)
    rec = Issue(kind=kind, id=id, ledger=header.ledger, account=account, n=n, amount=c.get, handle=handles[0].get,
                handle_auditor=handles[1].get,
                proof=vemo_strict.prove_consistency(context(header.ledger, kind, where, "amount"), amount, r, gh, c,
                                                    keys, handles).hex(),
                range=vemo_strict.prove_range(context(header.ledger, kind, where, "range"), header.bits, [amount],
                                              [r], gh).hex(),
                signature="")
    return sign_issue(rec, issuer, gh)


def sign_issue(rec: Issue, key: vemo.PbSk, gh: vemo.GH) -> Issue:
    """rec signed (again) by `key`, which the ledger accepts only for its issuer."""
    ctx = context(rec.ledger, rec.kind, place(rec.account, rec.n), "signature")
    return replace(rec, signature=vemo_strict.sign(ctx, message(rec, "signature"), key, gh).hex())


class Payment2(NamedTuple):
    """A transfer of version 2 and what it leaves, as its sender computed them."""

    transfer: Transfer2
    sender_after: Pair  # the sender's new balance (C', T')
    value_after: int  # what the sender's new balance holds


def pay2(*, id: str, header: Header, sender: vemo.PbSk, value: int, before: Pair, seq: int, amount: int,
         receiver: str, gh: vemo.GH, r: vemo.rand_r | None = None, auditor: str | None = None,
         new_value: int | None = None, r_new: vemo.rand_r | None = None) -> Payment2:
    """The transfer of `amount` from the account of `sender`'s key, whose
    balance on the ledger is `before` holding `value` (the sender reads
    it with balance_of), as its `seq`-th transfer.

    `r` is the amount's blinding scalar and `r_new` the new balance's
    (fresh when None); nobody needs either afterwards. The amount gets handles for the receiver, the ledger's
    auditor (`auditor` names another key only to build a faulty record) and
    the sender, with one consistency proof; the new balance is a fresh
    commitment with its own handle, proved by the sender's key to hold
    `value` − `amount`; one range proof covers the amount and the new
    balance; the sender signs everything. `new_value` other than value −
    amount (for a faulty record) proves the balance relation for that value
    instead, which then does not hold for the record. OverflowError when the
    amount is more than the balance, as no honest proof then exists.
    """
    r = vemo.gen_r() if r is None else r
    pk = sender.get_pk()
    auditor = header.auditor if auditor is None else auditor
    new_value = value - amount if new_value is None else new_value
    where = place(pk, seq)

    def ctx(role: str) -> bytes:
        return context(header.ledger, "transfer", where, role)

    c_a = vemo_strict.commit(amount, r, gh)
    keys = [receiver, auditor, pk]
    handles = [vemo.to_token_from_pk(k, r) for k in keys]
    r_new = vemo.gen_r() if r_new is None else r_new
    c_new = vemo_strict.commit(new_value, r_new, gh)
    t_new = sender.to_token(r_new)
    # What the balance proof speaks of: the old balance minus the amount, in
    # both halves of the pair. Only the sender's key opens it, not r.
    spent_amount = amount if new_value == value - amount else value - new_value
    spent_c = vemo.sub(before.commitment, vemo_strict.commit(spent_amount, r, gh))
    spent_t = vemo.sub_token(before.handle, handles[2])
    t = Transfer2(
        id=id, ledger=header.ledger, sender=pk, receiver=receiver, seq=seq, auditor=auditor, amount=c_a.get,
        handle_receiver=handles[0].get, handle_auditor=handles[1].get, handle_sender=handles[2].get,
        proof_amount=vemo_strict.prove_consistency(ctx("amount"), amount, r, gh, c_a, keys, handles).hex(),
        before=before.commitment.get, before_handle=before.handle.get, balance=c_new.get, balance_handle=t_new.get,
        proof_balance=vemo_strict.prove_balance(ctx("balance"), new_value, sender, r_new, gh, spent_c, spent_t,
                                                c_new).hex(),
        proof_new_balance=vemo_strict.prove_consistency(ctx("new balance"), new_value, r_new, gh, c_new, [pk],
                                                        [t_new]).hex(),
        range=vemo_strict.prove_range(ctx("range"), header.bits, [amount, new_value], [r, r_new], gh).hex(),
        signature="")
    return Payment2(sign_transfer(t, sender, gh), Pair(c_new, t_new), new_value)


def sign_transfer(t: Transfer2, key: vemo.PbSk, gh: vemo.GH) -> Transfer2:
    """t signed (again) by `key`, which the ledger accepts only for its sender."""
    ctx = context(t.ledger, "transfer", place(t.sender, t.seq), "signature")
    return replace(t, signature=vemo_strict.sign(ctx, message(t, "signature"), key, gh).hex())


def received(pair: Pair, t: Transfer2) -> Pair:
    """The receiver's pair once the transfer t to it is applied: what the ledger computes too."""
    return Pair(vemo.add(pair.commitment, vemo.from_str(t.amount)),
                vemo.add_token(pair.handle, vemo.to_token_from_str(t.handle_receiver)))


def balance_of(pair: Pair, key: vemo.PbSk, gh: vemo.GH, search: int = 2**31 - 1) -> int:
    """What the balance `pair` holds, read with the owner's `key` alone: the
    v with C − sk⁻¹·T = v·g, searched in [0, search) (vemo.get_brut_v, about
    sqrt(search) steps); −1 when it is not there or the key is not the owner's."""
    if pair.commitment.is_zero():
        return 0
    v = vemo.get_brut_v(pair.commitment, pair.handle, gh, key, search)
    return v if v >= 0 else -1
