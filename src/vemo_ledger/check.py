"""Checking records: each line on its own (in chunks, anywhere), then the
ledger's balances (in line order, in one place).

verify_chunk is the one function that every way of running calls, in this
process or on a dask worker: it takes lines as text and returns plain
results, so nothing of vemo's classes crosses a process boundary.
"""
from __future__ import annotations

from dataclasses import dataclass
from typing import Sequence

import vemo
import vemo_batch

from vemo_ledger.record import Opening, RecordError, Transfer, parse, read_json, record_id
from vemo_ledger.record2 import Version2, is_version2

#: The proofs of a transfer, in the order they are checked, and the reason
#: given when one fails. The first failing one is the transfer's reason.
PROOF_CHECKS: tuple[tuple[str, str], ...] = (
    ("proof_receiver", "the consistency proof of the receiver's token fails"),
    ("proof_auditor", "the consistency proof of the auditor's token fails"),
    ("range_amount", "the range proof of the amount fails"),
    ("range_balance", "the range proof of the sender's new balance fails"),
)

ALREADY_OPEN = "the account is already open"
NO_SENDER = "the sender has no open account"
NO_RECEIVER = "the receiver has no open account"
WRONG_BALANCE = "the sender's new balance is not its balance minus the amount"
NOT_UTF8 = "not UTF-8 text"
#: The reasons of a record of one version in a ledger of the other (the
#: version is the first record's): such a line is refused like any other
#: malformed one, so a stray line cannot stop the rest being checked.
VERSION2_IN_VERSION1 = "a record of version 2 in a ledger of version 1"
VERSION1_IN_VERSION2 = "a record of version 1 in a ledger of version 2"


@dataclass(frozen=True)
class LineResult:
    """The outcome of one line's own checks, in plain values.

    reason is None when every check of the line passed; the balance checks
    are left to Ledger.apply. For such a line the point texts are carried
    in canonical form: account (an opening's account, a transfer's sender),
    receiver, amount, and balance (the opening balance, or the sender's new
    balance).
    """

    line: int
    id: str | None
    reason: str | None
    kind: str | None = None
    account: str | None = None
    receiver: str | None = None
    amount: str | None = None
    balance: str | None = None
    # Records of version 2 only (check2.py): the format's version, the
    # amount's handle for its receiver (an opening's or mint's owner), the
    # sender's pair before the transfer as the record states it, the new
    # balance's handle, and the record's count (a transfer's sequence
    # number, an opening's or mint's issuer count).
    version: int = 1
    handle: str | None = None
    before: str | None = None
    before_handle: str | None = None
    balance_handle: str | None = None
    count: int | None = None


class MalformedResult(ValueError):
    """A chunk's result that does not answer the chunk that was sent: not
    one well-formed LineResult per line, with the lines' numbers in order.
    str() says what is wrong."""


@dataclass(frozen=True)
class Checked:
    """A LineResult whose form was checked, with the commitments that
    Ledger needs already decoded (None where the line has none)."""

    result: LineResult
    amount: vemo.Commit | None
    balance: vemo.Commit | None
    handle: vemo.Token | None = None  # version 2: the receiver's (owner's) handle of the amount
    balance_handle: vemo.Token | None = None  # version 2: the new balance's handle


def checked_results(lines: Sequence[tuple[int, str]], results: object, version: int = 1) -> list[Checked]:
    """results as verify_chunk(lines) must give them, or MalformedResult.

    A result computed elsewhere (on a worker of a cluster) is data from
    another machine: before any of it is applied, it must hold one
    LineResult per line of `lines`, with the same line numbers in the same
    order, every field of its type, and, for a line found valid, the point
    texts that Ledger reads decoding, all of the ledger's `version` (1, or
    2 for verify_chunk2). Nothing here can tell whether a well-formed
    verdict is true; the cluster is trusted for that.
    """
    if type(results) is not list:
        raise MalformedResult(f"a {type(results).__name__} instead of a list of results")
    if len(results) != len(lines):
        raise MalformedResult(f"{len(results)} results for {len(lines)} lines")
    out = []
    for (line, _), r in zip(lines, results):
        if type(r) is not LineResult:
            raise MalformedResult(f"a {type(r).__name__} instead of a LineResult for line {line}")
        if type(r.line) is not int or r.line != line:
            raise MalformedResult(f"the result for line {line} names line {r.line!r}")
        texts = (r.id, r.reason, r.kind, r.account, r.receiver, r.amount, r.balance, r.handle, r.before,
                 r.before_handle, r.balance_handle)
        if not all(t is None or type(t) is str for t in texts):
            raise MalformedResult(f"the result for line {line} holds a field that is not a string")
        if type(r.version) is not int or not (r.count is None or type(r.count) is int):
            raise MalformedResult(f"the result for line {line} holds a field that is not an integer")
        if r.version != version:
            raise MalformedResult(f"the result for line {line} is of version {r.version}, not {version}")
        if version == 2:
            out.append(_checked2(line, r))
            continue
        amount = balance = None
        if r.reason is None:
            needs = {"open": (r.account, r.balance), "transfer": (r.account, r.receiver, r.amount, r.balance)}
            if r.kind not in needs or any(t is None for t in needs[r.kind]):
                raise MalformedResult(f"the result for line {line} is valid but incomplete")
            try:
                balance = vemo_batch.decode_commit(r.balance)  # type: ignore[arg-type]
                amount = None if r.amount is None else vemo_batch.decode_commit(r.amount)
            except ValueError:
                raise MalformedResult(f"the result for line {line} holds a text that is not a point") from None
        out.append(Checked(r, amount, balance))
    return out


#: What each valid kind of record of version 2 must carry in its result.
_NEEDS2 = {
    "header": (),
    "open": ("account", "amount", "handle", "count"),
    "mint": ("account", "amount", "handle", "count"),
    "transfer": ("account", "receiver", "amount", "handle", "before", "before_handle", "balance", "balance_handle",
                 "count"),
}


def _checked2(line: int, r: LineResult) -> Checked:
    """checked_results for one result of a record of version 2."""
    if r.reason is not None:
        return Checked(r, None, None)
    if r.kind not in _NEEDS2 or any(getattr(r, name) is None for name in _NEEDS2[r.kind]):
        raise MalformedResult(f"the result for line {line} is valid but incomplete")
    try:
        amount = None if r.amount is None else vemo_batch.decode_commit(r.amount)
        handle = None if r.handle is None else vemo_batch.decode_token(r.handle)
        balance = None if r.balance is None else vemo_batch.decode_commit(r.balance)
        balance_handle = None if r.balance_handle is None else vemo_batch.decode_token(r.balance_handle)
    except ValueError:
        raise MalformedResult(f"the result for line {line} holds a text that is not a point") from None
    return Checked(r, amount, balance, handle, balance_handle)


class _Invalid(Exception):
    pass


def _text(field: str, text: str) -> str:
    try:
        text.encode("utf-8")
    except UnicodeError:
        raise _Invalid(f'field "{field}": {NOT_UTF8}') from None
    return text


def _commit(field: str, text: str) -> vemo.Commit:
    try:
        return vemo_batch.decode_commit(_text(field, text))
    except ValueError as e:
        raise _Invalid(f'field "{field}": {e}') from None


def _token(field: str, text: str) -> vemo.Token:
    try:
        return vemo_batch.decode_token(_text(field, text))
    except ValueError as e:
        raise _Invalid(f'field "{field}": {e}') from None


def _queue_proofs(batch: vemo_batch.Batch, t: Transfer, gh: vemo.GH) -> tuple[str, str, str, str]:
    """Decodes t's points and queues its four proofs in PROOF_CHECKS order.

    Returns the canonical texts of the sender, the receiver, the amount and
    the sender's new balance. Everything that can fail is done before the
    first item is queued.
    """
    sender = _commit("sender", t.sender)
    receiver = _commit("receiver", t.receiver)
    auditor = _commit("auditor", t.auditor)
    amount = _commit("amount", t.amount)
    balance = _commit("sender_balance", t.sender_balance)
    token_receiver = _token("token_receiver", t.token_receiver)
    token_auditor = _token("token_auditor", t.token_auditor)
    for name, _ in PROOF_CHECKS:
        _text(name, getattr(t, name))
    batch.add(vemo.consistency_proof_verify, t.proof_receiver, gh, amount, token_receiver, receiver.get)
    batch.add(vemo.consistency_proof_verify, t.proof_auditor, gh, amount, token_auditor, auditor.get)
    batch.add(vemo.range_proof_single_verify, t.range_amount, t.bits, gh, amount)
    batch.add(vemo.range_proof_single_verify, t.range_balance, t.bits, gh, balance)
    return sender.get, receiver.get, amount.get, balance.get


def proof_failures(verdicts: Sequence[bool], errors: Sequence[str | None]) -> list[str]:
    """The reasons of one transfer's failed proofs, in PROOF_CHECKS order.

    A proof text that does not even decode gives its field and vemo's
    message rather than the plain reason.
    """
    return [_failure(field, reason, error)
            for (field, reason), ok, error in zip(PROOF_CHECKS, verdicts, errors) if not ok]


def _failure(field: str, reason: str, error: str | None) -> str:
    return f'field "{field}": {error}' if error is not None else reason


def verify_chunk(lines: Sequence[tuple[int, str]], threads: int = 1, v2: Version2 | None = None) -> list[LineResult]:
    """Check each (line number, text) on its own; one LineResult per line, in order.

    A line is checked for its form, its point texts are decoded, and a
    transfer's four proofs are verified, all of a chunk's proofs in one
    vemo_batch.Batch on `threads` threads. A line that is not a valid
    record gives its reason; nothing here raises for bad data.

    With `v2`, the lines are of a ledger of version 2 and are checked as
    check2.verify_chunk2 says, against the ledger's header.
    """
    if v2 is not None:
        from vemo_ledger.check2 import verify_chunk2
        return verify_chunk2(lines, v2, threads)
    gh = vemo.gen_GH()
    results: list[LineResult | None] = [None] * len(lines)
    batch = vemo_batch.Batch()
    queued: list[tuple[int, str, tuple[str, str, str, str]]] = []
    for i, (line, text) in enumerate(lines):
        try:
            _text("line", text)
        except _Invalid:
            results[i] = LineResult(line, None, NOT_UTF8)
            continue
        if '"version"' in text and _claims_version2(text):
            results[i] = LineResult(line, record_id(text), VERSION2_IN_VERSION1)
            continue
        try:
            record = parse(text)
        except RecordError as e:
            results[i] = LineResult(line, record_id(text), str(e))
            continue
        try:
            if isinstance(record, Opening):
                opened = _commit("account", record.account).get
                opening = _commit("balance", record.balance).get
                results[i] = LineResult(line, record.id, None, "open", account=opened, balance=opening)
            else:
                queued.append((i, record.id, _queue_proofs(batch, record, gh)))
        except _Invalid as e:
            results[i] = LineResult(line, record.id, str(e))
    verdicts = batch.verify(threads=threads)
    errors = batch.errors
    for k, (i, id, (sender, receiver, amount, balance)) in enumerate(queued):
        failed = proof_failures(verdicts[4 * k:4 * k + 4], errors[4 * k:4 * k + 4])
        line = lines[i][0]
        if failed:
            results[i] = LineResult(line, id, failed[0])
        else:
            results[i] = LineResult(line, id, None, "transfer", account=sender, receiver=receiver, amount=amount,
                                    balance=balance)
    return [r for r in results if r is not None]


def _claims_version2(text: str) -> bool:
    try:
        return is_version2(read_json(text))
    except (ValueError, RecursionError):
        return False


def check_transfer(t: Transfer, balance: vemo.Commit) -> list[tuple[str, str | None]]:
    """Every check of one transfer, given the sender's balance before it.

    Returns (check, reason) pairs, reason None for a check that holds: the
    four proofs of PROOF_CHECKS, then "sender_balance", whether the new
    balance is `balance` minus the amount. A transfer whose texts do not
    decode gives the single pair ("decode", reason). For one transfer at a
    time; verify_chunk checks many at once.
    """
    batch = vemo_batch.Batch()
    try:
        _, _, amount, new_balance = _queue_proofs(batch, t, vemo.gen_GH())
    except _Invalid as e:
        return [("decode", str(e))]
    verdicts = batch.verify(threads=1)
    out: list[tuple[str, str | None]] = []
    for (field, reason), ok, error in zip(PROOF_CHECKS, verdicts, batch.errors):
        out.append((field, None if ok else _failure(field, reason, error)))
    follows = _follows(balance, vemo_batch.decode_commit(amount), new_balance)
    out.append(("sender_balance", None if follows else WRONG_BALANCE))
    return out


def _follows(before: vemo.Commit, amount: vemo.Commit, after: str) -> bool:
    """Whether the canonical commitment text `after` is before − amount."""
    return vemo.sub(before, amount).get == after


class Ledger:
    """The accounts' balances as the ledger's valid lines leave them.

    Lines must be applied in their order: whether a transfer is valid
    depends on every line before it. Only the commitments are kept, one
    per account.
    """

    def __init__(self) -> None:
        self._balances: dict[str, vemo.Commit] = {}

    def __len__(self) -> int:
        return len(self._balances)

    def balance(self, account: str) -> vemo.Commit | None:
        """The balance commitment of the account whose public key is `account`, if open."""
        try:
            key = vemo_batch.decode_commit(account).get
        except ValueError:
            return None
        return self._balances.get(key)

    def apply(self, r: LineResult) -> str | None:
        """Apply one line's result; the reason it is invalid, or None once applied.

        A line that failed its own checks, or whose balances do not follow
        from the ledger so far, changes nothing. Raises ValueError, changing
        nothing, for a result that verify_chunk cannot have given: the
        MalformedResult of checked_results.
        """
        line = r.line if isinstance(r, LineResult) and type(r.line) is int else 0
        return self.apply_checked(checked_results([(line, "")], [r])[0])

    def apply_checked(self, c: Checked) -> str | None:
        """apply() for a result that checked_results has passed."""
        r = c.result
        if r.reason is not None:
            return r.reason
        assert r.account is not None and r.balance is not None and c.balance is not None
        if r.kind == "open":
            if r.account in self._balances:
                return ALREADY_OPEN
            self._balances[r.account] = c.balance
            return None
        assert r.receiver is not None and c.amount is not None
        before = self._balances.get(r.account)
        if before is None:
            return NO_SENDER
        if r.receiver not in self._balances:
            return NO_RECEIVER
        if not _follows(before, c.amount, r.balance):
            return WRONG_BALANCE
        self._balances[r.account] = c.balance
        self._balances[r.receiver] = vemo.add(self._balances[r.receiver], c.amount)
        return None
