"""The records of a ledger of version 2: a header, then openings, mints and transfers.

Every record of this version carries ``"version": 2`` and the ledger's id,
and every proof and signature in it is bound to a context naming the
ledger, the record's kind and its place (see contexts below), so that no
record verifies in another ledger or at another place of this one::

    {"version": 2, "kind": "header", "id": ..., "ledger": L, "bits": 32,
     "issuer": PK, "auditor": PK, "issuer_signature": S, "auditor_signature": S}
    {"version": 2, "kind": "open" | "mint", "id": ..., "ledger": L, "account": PK, "n": 0,
     "amount": C, "handle": T, "handle_auditor": T, "proof": P, "range": R, "signature": S}
    {"version": 2, "kind": "transfer", "id": ..., "ledger": L, "sender": PK, "receiver": PK, "seq": 0,
     "auditor": PK, "amount": C, "handle_receiver": T, "handle_auditor": T, "handle_sender": T,
     "proof_amount": P, "before": C, "before_handle": T, "balance": C, "balance_handle": T,
     "proof_balance": P, "proof_new_balance": P, "range": R, "signature": S}

PK, C and T are vemo point texts; L, P, R and S are bytes in lowercase
hex (the ledger id, proofs of vemo_strict, signatures). docs/ledger.md
describes every field, every rule and what each rule stops.
"""
from __future__ import annotations

import functools
import json
import struct
from dataclasses import asdict, dataclass, fields
from typing import Any, Union

from vemo_ledger.record import BITS, BITS_TEXT, RecordError, _LongInteger, _json_type, _show

#: The version number the records of this format carry.
VERSION = 2
#: The prefix of every context of this format.
CONTEXT_TAG = b"vemo-ledger/2"


@dataclass(frozen=True)
class Header:
    """The first record of a ledger of version 2: its id, its issuer, its auditor, its bit length."""

    id: str
    ledger: str  # 32 random bytes in hex: the ledger's id, bound into every context
    bits: int  # 8, 16, 32 or 64: every amount and balance is proved to lie in [0, 2**bits)
    issuer: str  # the key that may open accounts and create money
    auditor: str  # the key every amount must be readable by: the ledger's policy
    issuer_signature: str  # the issuer's signature of the header: it holds the key
    auditor_signature: str  # the auditor's signature of the header: it holds the key too

    def to_json(self) -> str:
        """The record as one line of JSON (no newline)."""
        return _line("header", self)


@dataclass(frozen=True)
class Issue:
    """An opening (kind "open") or a mint (kind "mint"): the issuer gives an
    account an amount, readable by its owner and by the ledger's auditor."""

    kind: str  # "open" brings the account in, "mint" adds to an open account
    id: str
    ledger: str
    account: str  # the owner's public key: it names the account
    n: int  # the issuer's count of its earlier accepted openings and mints
    amount: str  # commitment amount·g + r·h
    handle: str  # r·pk_account: the owner's decrypt handle
    handle_auditor: str  # r·pk_auditor
    proof: str  # consistency: amount, handle and handle_auditor share one r
    range: str  # the amount is in [0, 2**bits)
    signature: str  # the issuer's signature of every other field

    def to_json(self) -> str:
        """The record as one line of JSON (no newline)."""
        return _line(self.kind, self, skip=("kind",))


@dataclass(frozen=True)
class Transfer2:
    """One transfer of version 2: texts only, no amount and no blinding scalar."""

    id: str
    ledger: str
    sender: str  # public keys: the sender's account and the receiver's
    receiver: str
    seq: int  # the sender's count of its earlier accepted transfers
    auditor: str  # the ledger's auditor
    amount: str  # C_a = a·g + r·h, r chosen by the sender
    handle_receiver: str  # r·pk_receiver
    handle_auditor: str  # r·pk_auditor
    handle_sender: str  # r·pk_sender
    proof_amount: str  # consistency: one r behind amount and the three handles
    before: str  # the sender's balance (C, T) on the ledger before the transfer
    before_handle: str
    balance: str  # the sender's new balance C' = (v − a)·g + r'·h, r' fresh
    balance_handle: str  # T' = r'·pk_sender
    proof_balance: str  # balance, by the sender's key: C' holds what (before − amount, before_handle − handle_sender) holds
    proof_new_balance: str  # consistency: balance and balance_handle share r'
    range: str  # one aggregated range proof: the amount and the new balance are in [0, 2**bits)
    signature: str  # the sender's signature of every other field: its consent

    def to_json(self) -> str:
        """The record as one line of JSON (no newline)."""
        return _line("transfer", self)


Record2 = Union[Header, Issue, Transfer2]

_INTEGERS = {"bits", "n", "seq"}
#: The fields that hold hex bytes, and how many bytes when that is fixed.
HEX_FIELDS = {"ledger": 32, "issuer_signature": 64, "auditor_signature": 64, "signature": 64,
              "proof": None, "range": None, "proof_amount": None, "proof_balance": None,
              "proof_new_balance": None}
#: The largest count or sequence number: contexts hold it in 8 bytes.
MAX_COUNT = 2**64 - 1


def _line(kind: str, record: object, skip: tuple[str, ...] = ()) -> str:
    body = {k: v for k, v in asdict(record).items() if k not in skip}
    return json.dumps({"version": VERSION, "kind": kind, **body}, separators=(",", ":"))


def is_version2(obj: object) -> bool:
    """Whether a parsed line claims to be a record of version 2."""
    return isinstance(obj, dict) and type(obj.get("version")) is int and obj["version"] == VERSION


_CLASSES: dict[str, type[Header] | type[Issue] | type[Transfer2]] = {
    "header": Header, "open": Issue, "mint": Issue, "transfer": Transfer2}


def parse2(obj: dict[str, Any]) -> Record2:
    """The record of version 2 in a parsed line; RecordError with the reason when it is not one.

    Only the form is checked: the kind, every field with its type and no
    other, a non-empty id, the bit length, counts in 0 .. 2**64 − 1, and hex
    fields as lowercase hex of the right length. Points are decoded and
    proofs checked by the verifier.
    """
    if "kind" not in obj:
        raise RecordError('missing field "kind"')
    kind = obj["kind"]
    cls = _CLASSES.get(kind) if isinstance(kind, str) else None
    if cls is None:
        raise RecordError(f'field "kind" is {_show(kind)}; expected "header", "open", "mint" or "transfer"')
    values: dict[str, Any] = {"kind": kind} if cls is Issue else {}
    for f in fields(cls):
        if f.name == "kind":
            continue
        if f.name not in obj:
            raise RecordError(f'missing field "{f.name}"')
        v = obj[f.name]
        if f.name in _INTEGERS:
            if isinstance(v, _LongInteger):
                expected = BITS_TEXT if f.name == "bits" else "an integer from 0 to 2**64 - 1"
                raise RecordError(f'field "{f.name}" is {_show(v)}; expected {expected}')
            if type(v) is not int:
                raise RecordError(f'field "{f.name}" is a JSON {_json_type(v)}; expected an integer')
            if f.name != "bits" and not 0 <= v <= MAX_COUNT:
                raise RecordError(f'field "{f.name}" is {v}; expected an integer from 0 to 2**64 - 1')
        elif not isinstance(v, str):
            raise RecordError(f'field "{f.name}" is a JSON {_json_type(v)}; expected a string')
        values[f.name] = v
    extra = sorted(set(obj) - set(values) - {"kind", "version"})
    if extra:
        raise RecordError(f"unknown field {_show(extra[0])}")
    if not values["id"]:
        raise RecordError('field "id" is empty')
    if cls is Header and values["bits"] not in BITS:
        raise RecordError(f'field "bits" is {values["bits"]}; expected {BITS_TEXT}')
    for name, size in HEX_FIELDS.items():
        if name in values:
            _hex(name, values[name], size)
    return cls(**values)


def _hex(name: str, text: str, size: int | None) -> bytes:
    if not text or len(text) % 2 or text.strip("0123456789abcdef"):
        raise RecordError(f'field "{name}" is not lowercase hex bytes')
    if size is not None and len(text) != 2 * size:
        raise RecordError(f'field "{name}" holds {len(text) // 2} bytes; expected {size}')
    return bytes.fromhex(text)


def message(record: Record2, *unsigned: str) -> bytes:
    """The bytes a record's signature signs: the record's canonical JSON
    (keys sorted, no spaces, ASCII) without its signature fields `unsigned`.
    Every other field, the version, the kind and the ledger id are in it."""
    # The fields are strings and integers: the instance's own dict is the
    # record's, without asdict's deep copy.
    body = {k: v for k, v in vars(record).items() if k not in unsigned}
    body["version"] = VERSION
    if not isinstance(record, Issue):
        body["kind"] = "header" if isinstance(record, Header) else "transfer"
    return json.dumps(body, sort_keys=True, separators=(",", ":"), ensure_ascii=True).encode("ascii")


def context(ledger: str, kind: str, place: bytes, role: str) -> bytes:
    """The context of one proof or signature: the format's tag, the ledger
    id, the record's kind, its place, and the proof's role in the record,
    each length-prefixed so that no two lists of parts give one context."""
    return _context_prefix(ledger, kind) + _frame(place) + _frame(role.encode("ascii"))


def _frame(part: bytes) -> bytes:
    return struct.pack(">I", len(part)) + part


@functools.lru_cache(maxsize=64)
def _context_prefix(ledger: str, kind: str) -> bytes:
    """The frames every context of one ledger and kind starts with."""
    return _frame(CONTEXT_TAG) + _frame(bytes.fromhex(ledger)) + _frame(kind.encode("ascii"))


def place(key: str, count: int) -> bytes:
    """A record's place: the key of the account it names (its canonical
    point text's 32 bytes) and the count or sequence number it claims."""
    return bytes.fromhex(key) + struct.pack(">Q", count)


@dataclass(frozen=True)
class Version2:
    """What every chunk of a ledger of version 2 is checked with: the header
    as the ledger's first record gives it (None when that record is not a
    header in form, and then no later record can be checked)."""

    header: Header | None
