"""Writing test ledgers of version 2: a header, a few openings, N transfers,
K of them invalid on purpose (the faults of version 1 adapted, and the
attacks this version stops)."""
from __future__ import annotations

import json
import os
import random
from collections import deque
from concurrent.futures import Future, ThreadPoolExecutor
from dataclasses import dataclass, replace
from typing import Callable

import vemo
import vemo_strict

from vemo_ledger.check import NO_RECEIVER
from vemo_ledger.check2 import (ISSUE_CHECKS, NOT_ITS_BALANCE, NOT_THE_AUDITOR, OTHER_LEDGER, TRANSFER_CHECKS,
                                parse_line2, wrong_seq)
from vemo_ledger.make import _undecodable
from vemo_ledger.record import RecordError
from vemo_ledger.record2 import Header, Transfer2, context, place
from vemo_ledger.transfer import MAX_AMOUNT
from vemo_ledger.transfer2 import Pair, issue, new_header, pay2, sign_transfer

#: The ways a made record of version 2 can be invalid, used in turn: the
#: faults of version 1 adapted, interleaved with the attacks.
FAULTS2 = (
    "overspend",  # the amount is the balance plus one: no balance proof exists for it
    "replay",  # an earlier valid transfer appended again, byte for byte
    "tampered_range_proof",  # one byte of the range proof edited (and signed again by the sender)
    "refund_replay",  # the receiver pays the amount back with the same r, then the first line again
    "swapped_handles",  # the receiver's and the auditor's handles swapped (signed again)
    "stranger_signature",  # a valid transfer signed by another key than the sender's
    "wrong_balance",  # proved from a balance the sender does not have on the ledger
    "seq_out_of_order",  # a valid transfer with the sender's next sequence number but one
    "unknown_receiver",  # paid, with valid proofs, to a key that has no account
    "unsigned_opening",  # an opening signed by another key than the issuer's
    "malformed_json",  # the line cut in half
    "foreign_auditor",  # handles and proofs for another auditor than the ledger's
    "undecodable_amount",  # the amount's text is no point
    "other_ledger",  # a valid transfer of another ledger, with the same keys
    "malformed_proof",  # the amount's consistency proof one byte short (signed again)
    "missing_field",  # the auditor's handle left out
)

_REASON = dict(TRANSFER_CHECKS)


@dataclass(frozen=True)
class Fault2:
    """An invalid record as produced, before its line number is known."""

    id: str | None
    fault: str
    reason: str


#: Stands for the text of the ledger's last valid transfer before the
#: planned one: replayed byte for byte.
REPLAY = "\0replay"


@dataclass(frozen=True)
class _Planned:
    index: int
    fault: str | None
    sender: int
    receiver: int
    amount: int
    value: int  # what the sender's balance holds before the transfer
    before: Pair
    seq: int
    r: vemo.rand_r
    r_new: vemo.rand_r
    reason: str | None = None  # worked out while planning, for the faults of order
    refund: _Planned | None = None  # the valid refund that comes before a refund_replay
    is_refund: bool = False  # this is such a refund


def write_key(path: str, key: vemo.PbSk) -> None:
    """Write a key file: JSON with the public key ("key", which names an
    account) and the secret key ("secret_key", 64 hex digits), readable by
    its owner only (read_key reads it back)."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "w", encoding="utf-8") as f:
        json.dump({"key": key.get_pk(), "secret_key": key.get_sk()}, f)
        f.write("\n")


def make_ledger2(path: str, transfers: int, *, invalid: int, accounts: int, bits: int, threads: int | None,
                 seed: int | None, on_progress: Callable[[int], None] | None,
                 keys_dir: str | None = None) -> list[tuple[int, Fault2]]:
    """make_ledger for version 2: the invalid lines as (line number, Fault2)."""
    rng = random.Random(seed)
    gh = vemo.gen_GH()
    keys = [vemo.gen_pb_sk(gh) for _ in range(accounts)]
    pks = [k.get_pk() for k in keys]
    issuer, auditor, stranger = vemo.gen_pb_sk(gh), vemo.gen_pb_sk(gh), vemo.gen_pb_sk(gh)
    header = new_header("header", bits, issuer, auditor, gh, ledger=rng.randbytes(32).hex())
    foreign = new_header("header", bits, issuer, auditor, gh, ledger=rng.randbytes(32).hex())
    # Balances stay at most half of what the range proofs allow (and what
    # a wallet's search reads back), so an overspend by one is in range.
    limit = min(2**bits - 1, MAX_AMOUNT) // 2
    values = [rng.randint(limit // 4, limit // 2) for _ in range(accounts)]
    blind = [vemo.gen_r() for _ in range(accounts)]
    openings = [issue("open", id=f"acct-{i + 1}", header=header, issuer=issuer, account=pks[i], n=i,
                      amount=values[i], gh=gh, r=blind[i]) for i in range(accounts)]
    pairs = [Pair(vemo.from_str(o.amount), vemo.to_token_from_str(o.handle)) for o in openings]
    seqs = [0] * accounts
    issued = accounts
    # The first transfer stays valid when it can, so that every replay has
    # a valid line before it to replay.
    faulty = sorted(rng.sample(range(1 if invalid < transfers else 0, transfers), invalid))
    kinds = {i: FAULTS2[n % len(FAULTS2)] for n, i in enumerate(faulty)}
    last: list[_Planned] = []  # the last valid transfer planned

    def apply(p: _Planned) -> None:
        s, t = p.sender, p.receiver
        values[s] -= p.amount
        pairs[s] = Pair(vemo_strict.commit(values[s], p.r_new, gh), keys[s].to_token(p.r_new))
        seqs[s] += 1
        values[t] += p.amount
        pairs[t] = Pair(vemo.add(pairs[t].commitment, vemo_strict.commit(p.amount, p.r, gh)),
                        vemo.add_token(pairs[t].handle, vemo.to_token_from_pk(pks[t], p.r)))
        last[:] = [p]

    def plan(index: int) -> _Planned:
        fault = kinds.get(index)
        if fault in ("replay", "refund_replay") and not last:
            fault = "seq_out_of_order"  # nothing valid to replay yet
        if fault in ("replay", "refund_replay"):
            j = last[0]
            refund = None
            if fault == "refund_replay":
                t = j.receiver
                refund = _Planned(index, None, t, j.sender, j.amount, values[t], pairs[t], seqs[t], j.r, vemo.gen_r(),
                                  is_refund=True)
                apply(refund)
            return _Planned(index, fault, j.sender, j.receiver, j.amount, 0, pairs[j.sender], 0, j.r, j.r_new,
                            reason=wrong_seq(j.seq, seqs[j.sender]), refund=refund)
        s = rng.randrange(accounts)
        t = rng.randrange(accounts - 1) if accounts > 1 else 0
        t += t >= s and accounts > 1
        room = min(values[s], limit - values[t] + (values[s] if s == t else 0))
        p = _Planned(index, fault, s, t, rng.randint(0, max(room, 0)), values[s], pairs[s], seqs[s], vemo.gen_r(),
                     vemo.gen_r())
        if fault is None:
            apply(p)
        return p

    def produce(p: _Planned) -> list[tuple[str, Fault2 | None]]:
        out: list[tuple[str, Fault2 | None]] = []
        if p.refund is not None:
            out.append(_produce(p.refund, header, keys, pks, gh, stranger, foreign, issued))
        if p.fault in ("replay", "refund_replay"):
            assert p.reason is not None
            out.append((REPLAY, Fault2(None, p.fault, p.reason)))
        else:
            out.append(_produce(p, header, keys, pks, gh, stranger, foreign, issued))
        return out

    faults: list[tuple[int, Fault2]] = []
    n = threads or os.cpu_count() or 1
    if keys_dir is not None:
        os.makedirs(keys_dir, mode=0o700, exist_ok=True)
        named = [(f"acct-{i + 1}", k) for i, k in enumerate(keys)] + [("issuer", issuer), ("auditor", auditor)]
        for name, k in named:
            write_key(os.path.join(keys_dir, f"{name}.key"), k)
    with open(path, "w", encoding="utf-8") as out, ThreadPoolExecutor(n, thread_name_prefix="vemo-make") as pool:
        out.write(header.to_json() + "\n")
        for o in openings:
            out.write(o.to_json() + "\n")
        in_flight: deque[Future[list[tuple[str, Fault2 | None]]]] = deque()
        line_no = 1 + accounts
        written = 0
        last_valid: list[str] = []

        def write_one() -> None:
            nonlocal line_no, written
            produced = in_flight.popleft().result()
            replayed = last_valid[0] if last_valid else None
            for line, fault in produced:
                if line == REPLAY:
                    assert replayed is not None and fault is not None
                    line, fault = replayed, replace(fault, id=json.loads(replayed)["id"])
                line_no += 1
                out.write(line + "\n")
                if fault is None:
                    last_valid[:] = [line]
                else:
                    faults.append((line_no, fault))
            written += 1
            if on_progress is not None:
                on_progress(written)

        for index in range(transfers):
            if len(in_flight) >= 4 * n:
                write_one()
            in_flight.append(pool.submit(produce, plan(index)))
        while in_flight:
            write_one()
    return faults


def _produce(p: _Planned, header: Header, keys: list[vemo.PbSk], pks: list[str], gh: vemo.GH,
             stranger: vemo.PbSk, foreign: Header, issued: int) -> tuple[str, Fault2 | None]:
    """The line of one planned transfer, with its fault applied."""
    id = f"t{p.index + 1:08d}{'-refund' if p.is_refund else ''}"
    key = keys[p.sender]
    receiver = pks[p.receiver]
    args = dict(id=id, header=header, sender=key, value=p.value, before=p.before, seq=p.seq, amount=p.amount,
                receiver=receiver, gh=gh, r=p.r, r_new=p.r_new)

    def made(**changes: object) -> Transfer2:
        return pay2(**{**args, **changes}).transfer  # type: ignore[arg-type]

    if p.fault is None:
        return made().to_json(), None
    reason: str
    line: str | None = None
    t: Transfer2
    if p.fault == "overspend":
        t = made(amount=p.value + 1, new_value=0)
        reason = _REASON["proof_balance"]
    elif p.fault == "tampered_range_proof":
        t = made()
        proof = bytearray(bytes.fromhex(t.range))
        proof[159] ^= 1  # the last byte of t_hat: still a scalar, now the wrong one
        t = sign_transfer(replace(t, range=proof.hex()), key, gh)
        reason = _REASON["range"]
    elif p.fault == "swapped_handles":
        t = made()
        t = sign_transfer(replace(t, handle_receiver=t.handle_auditor, handle_auditor=t.handle_receiver), key, gh)
        reason = _REASON["proof_amount"]
    elif p.fault == "stranger_signature":
        t = sign_transfer(made(), stranger, gh)
        reason = _REASON["signature"]
    elif p.fault == "wrong_balance":
        # A balance of its own making, more than it has, with every proof valid.
        fake_r = vemo.gen_r()
        fake = Pair(vemo_strict.commit(p.value + 1, fake_r, gh), key.to_token(fake_r))
        t = made(before=fake, value=p.value + 1)
        reason = NOT_ITS_BALANCE
    elif p.fault == "seq_out_of_order":
        t = made(seq=p.seq + 1)
        reason = wrong_seq(p.seq + 1, p.seq)
    elif p.fault == "unknown_receiver":
        t = made(receiver=vemo.gen_pb_sk(gh).get_pk())
        reason = NO_RECEIVER
    elif p.fault == "unsigned_opening":
        newcomer = vemo.gen_pb_sk(gh).get_pk()
        rec = issue("open", id=id, header=header, issuer=stranger, account=newcomer, n=issued, amount=p.amount,
                    gh=gh)
        return rec.to_json(), Fault2(id, p.fault, dict(ISSUE_CHECKS)["signature"])
    elif p.fault == "malformed_json":
        line = made().to_json()
        line = line[:len(line) // 2]
        reason = _parse_error(line)
    elif p.fault == "foreign_auditor":
        t = made(auditor=stranger.get_pk())
        reason = NOT_THE_AUDITOR
    elif p.fault == "undecodable_amount":
        t = made()
        text, error = _undecodable(t.amount)
        t = replace(t, amount=text)
        reason = f'field "amount": {error}'
    elif p.fault == "other_ledger":
        t = made(header=foreign)
        reason = OTHER_LEDGER
    elif p.fault == "malformed_proof":
        t = made()
        t = sign_transfer(replace(t, proof_amount=t.proof_amount[:-2]), key, gh)
        reason = f'field "proof_amount": {_consistency_error(t, header, gh)}'
    elif p.fault == "missing_field":
        record = json.loads(made().to_json())
        del record["handle_auditor"]
        line = json.dumps(record, separators=(",", ":"))
        reason = _parse_error(line)
    else:
        raise AssertionError(p.fault)
    if line is None:
        line = t.to_json()
    return line, Fault2(None if p.fault == "malformed_json" else id, p.fault, reason)


def _consistency_error(t: Transfer2, header: Header, gh: vemo.GH) -> str:
    """The ValueError text of verifying t's (malformed) amount proof."""
    try:
        vemo_strict.verify_consistency(
            context(header.ledger, "transfer", place(t.sender, t.seq), "amount"), bytes.fromhex(t.proof_amount),
            gh, vemo.from_str(t.amount), [t.receiver, t.auditor, t.sender],
            [vemo.to_token_from_str(x) for x in (t.handle_receiver, t.handle_auditor, t.handle_sender)])
    except ValueError as e:
        return str(e)
    raise AssertionError("the proof was meant not to decode")


def _parse_error(line: str) -> str:
    try:
        parse_line2(line)
    except RecordError as e:
        return str(e)
    raise AssertionError("the line was meant not to parse")
