"""Writing test ledgers: a few accounts, N transfers, K of them invalid on purpose."""
from __future__ import annotations

import json
import os
import random
from collections import deque
from concurrent.futures import Future, ThreadPoolExecutor
from dataclasses import asdict, dataclass, replace
from typing import Callable

import vemo
import vemo_batch

from vemo_ledger.check import NO_RECEIVER, PROOF_CHECKS, WRONG_BALANCE, proof_failures
from vemo_ledger.record import BITS, BITS_TEXT, RecordError, Transfer, parse
from vemo_ledger.transfer import MAX_AMOUNT, Holding, open_account, pay, receive

#: The ways a made transfer can be invalid, used in turn.
FAULTS = (
    "overspend",  # the amount exceeds the balance: the new balance's range proof fails
    "tampered_range_proof",  # one scalar of the amount's range proof edited
    "swapped_tokens",  # the receiver's and the auditor's tokens swapped
    "wrong_balance",  # a new balance one more than the old minus the amount, with a valid range proof
    "unknown_receiver",  # paid, with valid proofs, to a key that has no account
    "malformed_json",  # the line cut in half
    "undecodable_amount",  # the amount's text is no point
    "malformed_proof",  # the auditor's consistency proof lacks a member
    "missing_field",  # the auditor's token left out
)

_REASON = dict(PROOF_CHECKS)


@dataclass(frozen=True)
class Fault:
    """An invalid line written on purpose, and what verifying it must report."""

    line: int
    id: str | None
    fault: str  # one of FAULTS (version 1) or FAULTS2 (version 2)
    reason: str


@dataclass(frozen=True)
class _Planned:
    index: int
    fault: str | None
    sender: int
    receiver: int
    amount: int
    holding: Holding  # the sender's balance before the transfer
    r: vemo.rand_r


def side_file(path: str) -> str:
    """Where make_ledger records the invalid lines of the ledger at `path`."""
    return _stem(path) + ".invalid.json"


def keys_dir(path: str) -> str:
    """Where make_ledger writes the parties' key files of a ledger of version 2
    at `path` (l.jsonl -> l.keys/): acct-1.key ..., issuer.key, auditor.key."""
    return _stem(path) + ".keys"


def _stem(path: str) -> str:
    return path[:-len(".jsonl")] if path.endswith(".jsonl") else path


def make_ledger(
    path: str | os.PathLike[str],
    transfers: int,
    *,
    invalid: int = 0,
    accounts: int = 5,
    bits: int = 32,
    threads: int | None = None,
    seed: int | None = None,
    on_progress: Callable[[int], None] | None = None,
    version: int = 2,
) -> list[Fault]:
    """Write a ledger of `accounts` openings and `transfers` transfers to `path`.

    `version` 2 (the default) writes the records of docs/ledger.md's second
    version: a header, openings signed by the ledger's issuer, and
    transfers signed by their senders, with the faults of FAULTS2 (which
    include the attacks that version stops); every party's secret key is
    written to keys_dir(path), one file per party, readable by its owner
    only. `version` 1 writes the first version's records and FAULTS.

    `invalid` of the transfers, at random places, are invalid in the ways of
    FAULTS, in turn; they are listed, with the reason verifying must give,
    in the returned list and in side_file(path). Transfers are proved on
    `threads` threads (default: all cores). `seed` fixes the accounts'
    amounts, the pairs and the invalid places (blinding scalars and keys
    are always fresh). on_progress(transfers_written) follows the writing.
    """
    path = os.fspath(path)
    if transfers < 0 or not 0 <= invalid <= transfers:
        raise ValueError("need 0 <= invalid <= transfers")
    if accounts < 1:
        raise ValueError("need at least one account")
    if bits not in BITS:
        raise ValueError(f"bits must be {BITS_TEXT}")
    if version not in (1, 2):
        raise ValueError("version must be 1 or 2")
    if version == 2:
        from vemo_ledger.make2 import make_ledger2

        made = make_ledger2(path, transfers, invalid=invalid, accounts=accounts, bits=bits, threads=threads,
                            seed=seed, on_progress=on_progress, keys_dir=keys_dir(path))
        listed = [Fault(line, f.id, f.fault, f.reason) for line, f in made]
        _write_side_file(path, listed)
        return listed
    rng = random.Random(seed)
    gh = vemo.gen_GH()
    keys = [vemo.gen_pb_sk(gh) for _ in range(accounts)]
    pks = [k.get_pk() for k in keys]
    auditor = vemo.gen_pb_sk(gh).get_pk()
    # Balances stay at most half of what the range proofs allow, so that an
    # overspend by one still has an amount inside the range.
    limit = min(2**bits - 1, MAX_AMOUNT) // 2
    holdings = [Holding(rng.randint(limit // 4, limit // 2), vemo.gen_r()) for _ in range(accounts)]
    faulty = sorted(rng.sample(range(transfers), invalid))
    kinds = {i: FAULTS[n % len(FAULTS)] for n, i in enumerate(faulty)}

    def plan(index: int) -> _Planned:
        s = rng.randrange(accounts)
        t = rng.randrange(accounts - 1) if accounts > 1 else 0
        t += t >= s and accounts > 1
        room = min(holdings[s].value, limit - holdings[t].value + (holdings[s].value if s == t else 0))
        p = _Planned(index, kinds.get(index), s, t, rng.randint(0, max(room, 0)), holdings[s], vemo.gen_r())
        if p.fault is None:
            holdings[s] = Holding(p.holding.value - p.amount, p.holding.blinding.sub(p.r))
            holdings[t] = receive(holdings[t], Holding(p.amount, p.r))
        return p

    def produce(p: _Planned) -> tuple[str, Fault | None]:
        return _produce(p, accounts, bits, pks, auditor, gh)

    faults: list[Fault] = []
    n = threads or os.cpu_count() or 1
    with open(path, "w", encoding="utf-8") as out, ThreadPoolExecutor(n, thread_name_prefix="vemo-make") as pool:
        for i, pk in enumerate(pks):
            out.write(open_account(f"acct-{i + 1}", pk, holdings[i], gh).to_json() + "\n")
        in_flight: deque[Future[tuple[str, Fault | None]]] = deque()
        written = 0

        def write_one() -> None:
            nonlocal written
            line, fault = in_flight.popleft().result()
            out.write(line + "\n")
            if fault is not None:
                faults.append(fault)
            written += 1
            if on_progress is not None:
                on_progress(written)

        for index in range(transfers):
            if len(in_flight) >= 4 * n:
                write_one()
            in_flight.append(pool.submit(produce, plan(index)))
        while in_flight:
            write_one()
    _write_side_file(path, faults)
    return faults


def _write_side_file(path: str, faults: list[Fault]) -> None:
    with open(side_file(path), "w", encoding="utf-8") as f:
        json.dump({"ledger": path, "invalid": [asdict(x) for x in faults]}, f, indent=2)
        f.write("\n")


def _produce(p: _Planned, accounts: int, bits: int, pks: list[str], auditor: str,
             gh: vemo.GH) -> tuple[str, Fault | None]:
    """The line of one planned transfer, with its fault applied."""
    id = f"t{p.index + 1:08d}"
    line_no = accounts + p.index + 1
    receiver = vemo.gen_pb_sk(gh).get_pk() if p.fault == "unknown_receiver" else pks[p.receiver]
    amount = p.holding.value + 1 if p.fault == "overspend" else p.amount
    payment = pay(id=id, bits=bits, sender_pk=pks[p.sender], sender=p.holding, amount=amount,
                  receiver_pk=receiver, auditor_pk=auditor, gh=gh, r=p.r)
    t = payment.transfer
    if p.fault is None:
        return t.to_json(), None
    reason: str
    line: str | None = None
    if p.fault == "overspend":
        reason = _REASON["range_balance"]
    elif p.fault == "tampered_range_proof":
        proof = json.loads(t.range_amount)
        proof["tx"]["scalar"] = format(int(proof["tx"]["scalar"], 16) + 1, "064x")
        t = replace(t, range_amount=json.dumps(proof, indent=2))
        reason = _REASON["range_amount"]
    elif p.fault == "swapped_tokens":
        t = replace(t, token_receiver=t.token_auditor, token_auditor=t.token_receiver)
        reason = _REASON["proof_receiver"]
    elif p.fault == "wrong_balance":
        wrong = Holding(payment.sender_after.value + 1, payment.sender_after.blinding)
        t = replace(t, sender_balance=wrong.commitment(gh).get,
                    range_balance=vemo.range_proof_single(bits, wrong.value, gh, wrong.blinding))
        reason = WRONG_BALANCE
    elif p.fault == "unknown_receiver":
        reason = NO_RECEIVER
    elif p.fault == "malformed_json":
        line = t.to_json()
        line = line[:len(line) // 2]
        reason = _parse_error(line)
    elif p.fault == "undecodable_amount":
        text, reason = _undecodable(t.amount)
        t = replace(t, amount=text)
        reason = f'field "amount": {reason}'
    elif p.fault == "malformed_proof":
        proof = json.loads(t.proof_auditor)
        del proof[next(iter(proof))]
        t = replace(t, proof_auditor=json.dumps(proof, indent=2))
        batch = vemo_batch.Batch()
        batch.add(vemo.consistency_proof_verify, t.proof_auditor, gh, vemo_batch.decode_commit(t.amount),
                  vemo_batch.decode_token(t.token_auditor), auditor)
        reason = proof_failures([True] + batch.verify(threads=1), [None] + batch.errors)[0]
    elif p.fault == "missing_field":
        record = json.loads(t.to_json())
        del record["token_auditor"]
        line = json.dumps(record, separators=(",", ":"))
        reason = _parse_error(line)
    else:
        raise AssertionError(p.fault)
    if line is None:
        line = t.to_json()
    return line, Fault(line_no, None if p.fault == "malformed_json" else id, p.fault, reason)


def _parse_error(line: str) -> str:
    try:
        parse(line)
    except RecordError as e:
        return str(e)
    raise AssertionError("the line was meant not to parse")


def _undecodable(text: str) -> tuple[str, str]:
    """A variant of the point text `text` that does not decode, and vemo's message for it."""
    for i in range(len(text) - 1, -1, -1):
        for c in "0123456789abcdef":
            bad = text[:i] + c + text[i + 1:]
            try:
                vemo_batch.decode_commit(bad)
            except ValueError as e:
                return bad, str(e)
    raise AssertionError("every variant decodes")
