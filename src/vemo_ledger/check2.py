"""Checking records of version 2: each line on its own (verify_chunk2, in
chunks, anywhere), then the rules that depend on earlier lines (Ledger2, in
line order, in one place).

Everything a line proves is checked in the chunk: its form, its points,
that it belongs to this ledger and names its auditor, its signatures and
its proofs, each in the context of the record's place. What is left for
Ledger2 is what no line can show alone: that the header comes first and
once, that a count or sequence number is the next one, that the accounts
exist, and that the balance a transfer spends is the sender's balance on
the ledger.
"""
from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Callable, Sequence

import vemo
import vemo_batch
import vemo_strict

from vemo_ledger.check import (ALREADY_OPEN, NO_RECEIVER, NO_SENDER, NOT_UTF8, VERSION1_IN_VERSION2, Checked,
                               LineResult, _commit, _Invalid, _text, _token, checked_results)
from vemo_ledger.record import RecordError, _json_type, _show, read_json, record_id
from vemo_ledger.record2 import Header, Issue, Transfer2, Version2, context, is_version2, message, parse2, place
from vemo_ledger.transfer2 import Pair

#: The checks of each kind of record that go into the chunk's batch, in the
#: order they are checked, with the reason given when one fails. The first
#: failing one is the record's reason.
HEADER_CHECKS: tuple[tuple[str, str], ...] = (
    ("issuer_signature", "the issuer's signature of the header fails"),
    ("auditor_signature", "the auditor's signature of the header fails"),
)
ISSUE_CHECKS: tuple[tuple[str, str], ...] = (
    ("signature", "the issuer's signature fails"),
    ("proof", "the consistency proof of the amount's handles fails"),
    ("range", "the range proof of the amount fails"),
)
TRANSFER_CHECKS: tuple[tuple[str, str], ...] = (
    ("signature", "the sender's signature fails"),
    ("proof_amount", "the consistency proof of the amount's handles fails"),
    ("proof_balance", "the balance proof of the sender's new balance fails"),
    ("proof_new_balance", "the consistency proof of the new balance's handle fails"),
    ("range", "the range proof of the amount and the new balance fails"),
)

# Reasons of the line's own checks.
OTHER_LEDGER = "the record is of another ledger"
NOT_THE_AUDITOR = "the auditor is not the ledger's auditor"
NO_HEADER = "the ledger has no valid header before this record"
IDENTITY = "the identity point is not a key"
# Reasons of the rules in line order.
SECOND_HEADER = "the ledger already has a header"
HEADER_NOT_FIRST = "the header is not the ledger's first record"
NOT_OPEN = "the account is not open"
NOT_ITS_BALANCE = "the sender's balance before is not its balance on the ledger"


def wrong_count(n: int, count: int) -> str:
    """The reason of an opening or mint whose count is not the issuer's
    count of its accepted openings and mints."""
    return f"the issuer's count is {count}, not {n}"


def wrong_seq(seq: int, count: int) -> str:
    """The reason of a transfer whose sequence number is not the sender's
    count of accepted transfers: a number used already is a replay."""
    if seq < count:
        return f"the sequence number {seq} is used already (a replay): the sender's count is {count}"
    return f"the sequence number is {seq}; the sender's count is {count}"


@dataclass(frozen=True)
class _Keys:
    """The header's public parts as every line is checked against them."""

    ledger: str
    bits: int
    issuer: str  # canonical key texts
    auditor: str


def _key(field: str, text: str, known: dict[str, str] | None = None) -> str:
    """The canonical text of a key: a point that decodes and is not the identity.

    `known` holds the keys a chunk has decoded already (a chunk's lines
    name the same few accounts over and over); only keys that decode are
    kept, so a bad one gives its own field's reason each time."""
    if known is not None and (got := known.get(text)) is not None:
        return got
    c = _commit(field, text)
    if c.is_zero():
        raise _Invalid(f'field "{field}": {IDENTITY}')
    if known is not None:
        known[text] = c.get
    return c.get


def _bytes(text: str) -> bytes:
    return bytes.fromhex(text)


_Queued = tuple[int, str, tuple[tuple[str, str], ...], LineResult]


def _queue_header(batch: vemo_batch.Batch, h: Header, gh: vemo.GH) -> None:
    issuer, auditor = _key("issuer", h.issuer), _key("auditor", h.auditor)
    m = message(h, "issuer_signature", "auditor_signature")
    batch.add(vemo_strict.verify_signature, context(h.ledger, "header", b"", "issuer"), _bytes(h.issuer_signature),
              m, issuer, gh)
    batch.add(vemo_strict.verify_signature, context(h.ledger, "header", b"", "auditor"),
              _bytes(h.auditor_signature), m, auditor, gh)


def _queue_issue(batch: vemo_batch.Batch, rec: Issue, keys: _Keys, gh: vemo.GH, line: int,
                 known: dict[str, str]) -> LineResult:
    account = _key("account", rec.account, known)
    amount = _commit("amount", rec.amount)
    handle = _token("handle", rec.handle)
    handle_auditor = _token("handle_auditor", rec.handle_auditor)
    where = place(account, rec.n)
    batch.add(vemo_strict.verify_signature, context(keys.ledger, rec.kind, where, "signature"), _bytes(rec.signature),
              message(rec, "signature"), keys.issuer, gh)
    batch.add(vemo_strict.verify_consistency, context(keys.ledger, rec.kind, where, "amount"), _bytes(rec.proof), gh,
              amount, [account, keys.auditor], [handle, handle_auditor])
    batch.add(vemo_strict.verify_range, context(keys.ledger, rec.kind, where, "range"), _bytes(rec.range), gh,
              keys.bits, [amount])
    return LineResult(line, rec.id, None, rec.kind, account=account, amount=amount.get, version=2, handle=handle.get,
                      count=rec.n)


def _queue_transfer(batch: vemo_batch.Batch, t: Transfer2, keys: _Keys, gh: vemo.GH, line: int,
                    known: dict[str, str]) -> LineResult:
    sender = _key("sender", t.sender, known)
    receiver = _key("receiver", t.receiver, known)
    auditor = _key("auditor", t.auditor, known)
    amount = _commit("amount", t.amount)
    handle_receiver = _token("handle_receiver", t.handle_receiver)
    handle_auditor = _token("handle_auditor", t.handle_auditor)
    handle_sender = _token("handle_sender", t.handle_sender)
    before = _commit("before", t.before)
    before_handle = _token("before_handle", t.before_handle)
    balance = _commit("balance", t.balance)
    balance_handle = _token("balance_handle", t.balance_handle)
    if auditor != keys.auditor:
        raise _Invalid(NOT_THE_AUDITOR)
    where = place(sender, t.seq)

    def ctx(role: str) -> bytes:
        return context(keys.ledger, "transfer", where, role)

    spent = vemo.sub(before, amount)
    spent_handle = vemo.sub_token(before_handle, handle_sender)
    batch.add(vemo_strict.verify_signature, ctx("signature"), _bytes(t.signature), message(t, "signature"), sender,
              gh)
    batch.add(vemo_strict.verify_consistency, ctx("amount"), _bytes(t.proof_amount), gh, amount,
              [receiver, auditor, sender], [handle_receiver, handle_auditor, handle_sender])
    batch.add(vemo_strict.verify_balance, ctx("balance"), _bytes(t.proof_balance), gh, sender, spent, spent_handle,
              balance)
    batch.add(vemo_strict.verify_consistency, ctx("new balance"), _bytes(t.proof_new_balance), gh, balance, [sender],
              [balance_handle])
    batch.add(vemo_strict.verify_range, ctx("range"), _bytes(t.range), gh, keys.bits, [amount, balance])
    return LineResult(line, t.id, None, "transfer", account=sender, receiver=receiver, amount=amount.get,
                      balance=balance.get, version=2, handle=handle_receiver.get, before=before.get,
                      before_handle=before_handle.get, balance_handle=balance_handle.get, count=t.seq)


def _header_keys(h: Header | None) -> _Keys | None:
    """The header's keys, or None when the header cannot serve (its form, a
    key that is no point or the identity): no record can then be checked."""
    if h is None:
        return None
    try:
        return _Keys(h.ledger, h.bits, _key("issuer", h.issuer), _key("auditor", h.auditor))
    except _Invalid:
        return None


def parse_line2(text: str) -> Header | Issue | Transfer2:
    """The record of version 2 on one line, or RecordError with its reason
    (the form only; a record of version 1 gives VERSION1_IN_VERSION2)."""
    try:
        obj: Any = read_json(text)
    except ValueError as e:
        raise RecordError(f"not JSON: {e}") from None
    except RecursionError:
        raise RecordError("not JSON: nested too deeply") from None
    if not isinstance(obj, dict):
        raise RecordError(f"not a JSON object but a JSON {_json_type(obj)}")
    if not is_version2(obj):
        if "version" not in obj:
            raise RecordError(VERSION1_IN_VERSION2)
        raise RecordError(f'field "version" is {_show(obj["version"])}; expected 2')
    return parse2(obj)


def verify_chunk2(lines: Sequence[tuple[int, str]], v2: Version2, threads: int = 1) -> list[LineResult]:
    """verify_chunk for the lines of a ledger of version 2 whose header is v2.header.

    Each line is checked in this order: UTF-8, JSON, an object, of version
    2, its form; of this ledger (its "ledger" field is the header's); every
    point decodes and no key is the identity; a transfer names the ledger's
    auditor; then its signatures and proofs, all of the chunk's in one
    vemo_batch.Batch, in the order of HEADER_CHECKS, ISSUE_CHECKS and
    TRANSFER_CHECKS. Nothing here raises for bad data.
    """
    gh = vemo.gen_GH()
    keys = _header_keys(v2.header)
    results: list[LineResult | None] = [None] * len(lines)
    batch = vemo_batch.Batch()
    queued: list[_Queued] = []
    known: dict[str, str] = {}
    for i, (line, text) in enumerate(lines):
        try:
            _text("line", text)
        except _Invalid:
            results[i] = LineResult(line, None, NOT_UTF8, version=2)
            continue
        try:
            record = parse_line2(text)
        except RecordError as e:
            results[i] = LineResult(line, record_id(text), str(e), version=2)
            continue
        try:
            if isinstance(record, Header):
                _queue_header(batch, record, gh)
                queued.append((i, record.id, HEADER_CHECKS, LineResult(line, record.id, None, "header", version=2)))
                continue
            if keys is None:
                raise _Invalid(NO_HEADER)
            if record.ledger != keys.ledger:
                raise _Invalid(OTHER_LEDGER)
            if isinstance(record, Issue):
                queued.append((i, record.id, ISSUE_CHECKS, _queue_issue(batch, record, keys, gh, line, known)))
            else:
                queued.append((i, record.id, TRANSFER_CHECKS, _queue_transfer(batch, record, keys, gh, line, known)))
        except _Invalid as e:
            results[i] = LineResult(line, record.id, str(e), version=2)
    verdicts = batch.verify(threads=threads)
    errors = batch.errors
    k = 0
    for i, id, checks, valid in queued:
        n = len(checks)
        failed = [f'field "{field}": {error}' if error is not None else reason
                  for (field, reason), ok, error in zip(checks, verdicts[k:k + n], errors[k:k + n]) if not ok]
        k += n
        results[i] = LineResult(lines[i][0], id, failed[0], version=2) if failed else valid
    return [r for r in results if r is not None]


class _Account:
    """An account's state: its balance pair and the count of its accepted transfers."""

    __slots__ = ("commitment", "handle", "seq")

    def __init__(self, commitment: vemo.Commit, handle: vemo.Token) -> None:
        self.commitment, self.handle, self.seq = commitment, handle, 0


class Ledger2:
    """The state of a ledger of version 2 as its valid lines leave it: the
    header, the issuer's count, and per account its pair (C, T) and its
    count of transfers. Lines must be applied in their order."""

    def __init__(self) -> None:
        self._accounts: dict[str, _Account] = {}
        self._first = True  # no record applied yet
        self._header = False  # the first record was a valid header
        self.issued = 0  # the issuer's accepted openings and mints

    def __len__(self) -> int:
        return len(self._accounts)

    def _account(self, key: str) -> _Account | None:
        try:
            return self._accounts.get(vemo_batch.decode_commit(key).get)
        except ValueError:
            return None

    def balance(self, account: str) -> Pair | None:
        """The pair (C, T) of the account of public key `account`, if open."""
        a = self._account(account)
        return None if a is None else Pair(a.commitment, a.handle)

    def seq(self, account: str) -> int | None:
        """The account's count of accepted transfers (its next sequence number), if open."""
        a = self._account(account)
        return None if a is None else a.seq

    def apply(self, r: LineResult) -> str | None:
        """Apply one line's result; the reason it is invalid, or None once
        applied. ValueError, changing nothing, for a result verify_chunk2
        cannot have given."""
        line = r.line if isinstance(r, LineResult) and type(r.line) is int else 0
        return self.apply_checked(checked_results([(line, "")], [r], 2)[0])

    def apply_checked(self, c: Checked) -> str | None:
        """apply() for a result that checked_results has passed."""
        r = c.result
        first, self._first = self._first, False
        if r.kind == "header" and r.reason is None:
            if self._header:
                return SECOND_HEADER
            if not first:
                return HEADER_NOT_FIRST
            self._header = True
            return None
        if r.reason is not None:
            return r.reason
        if not self._header:
            return NO_HEADER
        apply: Callable[[Checked], str | None] = self._transfer if r.kind == "transfer" else self._issue
        return apply(c)

    def _issue(self, c: Checked) -> str | None:
        r = c.result
        assert r.account is not None and r.count is not None and c.amount is not None and c.handle is not None
        if r.count != self.issued:
            return wrong_count(r.count, self.issued)
        a = self._accounts.get(r.account)
        if r.kind == "open":
            if a is not None:
                return ALREADY_OPEN
            self._accounts[r.account] = _Account(c.amount, c.handle)
        else:
            if a is None:
                return NOT_OPEN
            a.commitment, a.handle = vemo.add(a.commitment, c.amount), vemo.add_token(a.handle, c.handle)
        self.issued += 1
        return None

    def _transfer(self, c: Checked) -> str | None:
        r = c.result
        assert r.account is not None and r.receiver is not None and r.count is not None
        assert c.amount is not None and c.handle is not None and c.balance is not None
        assert c.balance_handle is not None
        sender = self._accounts.get(r.account)
        if sender is None:
            return NO_SENDER
        receiver = self._accounts.get(r.receiver)
        if receiver is None:
            return NO_RECEIVER
        if r.count != sender.seq:
            return wrong_seq(r.count, sender.seq)
        if r.before != sender.commitment.get or r.before_handle != sender.handle.get:
            return NOT_ITS_BALANCE
        sender.commitment, sender.handle = c.balance, c.balance_handle
        sender.seq += 1
        receiver.commitment = vemo.add(receiver.commitment, c.amount)
        receiver.handle = vemo.add_token(receiver.handle, c.handle)
        return None
