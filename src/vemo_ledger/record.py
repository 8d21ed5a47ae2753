"""The ledger's records: one JSON object per line.

A ledger opens its accounts, then records transfers between them::

    {"kind": "open", "id": "acct-1", "account": PK, "balance": C}
    {"kind": "transfer", "id": "t00000001", "bits": 32,
     "sender": PK, "receiver": PK, "auditor": PK,
     "amount": C, "sender_balance": C,
     "token_receiver": T, "token_auditor": T,
     "proof_receiver": P, "proof_auditor": P,
     "range_amount": R, "range_balance": R}

PK, C and T are vemo point texts (a public key, a commitment, an audit
token), P a consistency proof text and R a range proof text, exactly as vemo
writes them. docs/ledger.md describes every field and check.
"""
from __future__ import annotations

import json
from dataclasses import asdict, dataclass, fields
from typing import Any, Union

#: Bit lengths a transfer may prove its amount and the sender's new balance in.
BITS = (8, 16, 32, 64)
#: BITS as reasons and messages name them: "8, 16, 32 or 64".
BITS_TEXT = ", ".join(map(str, BITS[:-1])) + f" or {BITS[-1]}"


class RecordError(ValueError):
    """A line that is not a well-formed record; str() is the reason."""


#: The longest integer a line may hold, in digits. Python refuses to read
#: longer ones by default (and reads them in quadratic time where that
#: limit is lifted); a record's only integer, "bits", has two.
MAX_INT_DIGITS = 4300


@dataclass(frozen=True)
class _LongInteger:
    """Stands in for a JSON integer too long to read: only its length is kept."""

    digits: int


def _integer(text: str) -> int | _LongInteger:
    digits = len(text) - text.startswith("-")
    return int(text) if digits <= MAX_INT_DIGITS else _LongInteger(digits)


def read_json(line: str) -> Any:
    """json.loads, with integers too long to read replaced by a stand-in
    that keeps their length: reading a line never fails on its numbers."""
    return json.loads(line, parse_int=_integer)


def _show(v: object) -> str:
    """A JSON value as a reason quotes it: escaped to ASCII, so that no text
    of the line can reach a terminal as control characters."""
    if isinstance(v, _LongInteger):
        return f"an integer of {v.digits} digits"
    text = json.dumps(v)
    return text if len(text) <= _SHOWN else f"{text[:_SHOWN - 20]}... ({len(text)} characters)"


#: How much of a value a reason quotes.
_SHOWN = 80


@dataclass(frozen=True)
class Opening:
    """Opens an account with its first balance, a commitment only its owner can open."""

    id: str
    account: str  # the owner's public key: it names the account
    balance: str  # commitment to the opening balance

    def to_json(self) -> str:
        """The record as one line of JSON (no newline)."""
        return json.dumps({"kind": "open", **asdict(self)}, separators=(",", ":"))


@dataclass(frozen=True)
class Transfer:
    """One confidential transfer: texts only, no amount and no blinding scalar."""

    id: str
    bits: int  # the amount and the new balance are proved to lie in [0, 2**bits)
    sender: str  # public keys: the sender's account, the receiver's, the auditor's
    receiver: str
    auditor: str
    amount: str  # commitment amount·g + r·h
    sender_balance: str  # the sender's new balance: old balance commitment − amount
    token_receiver: str  # r·pk_receiver
    token_auditor: str  # r·pk_auditor
    proof_receiver: str  # consistency proof: amount and token_receiver share r
    proof_auditor: str  # the same for the auditor's token
    range_amount: str  # range proof: the amount is in [0, 2**bits)
    range_balance: str  # range proof: the sender's new balance is in [0, 2**bits)

    def to_json(self) -> str:
        """The record as one line of JSON (no newline)."""
        return json.dumps({"kind": "transfer", **asdict(self)}, separators=(",", ":"))


Record = Union[Opening, Transfer]

_KINDS: dict[str, type[Opening] | type[Transfer]] = {"open": Opening, "transfer": Transfer}
_INTEGERS = {"bits"}  # every other field is a string


def parse(line: str) -> Record:
    """The record on one line; RecordError with the reason when it is not one.

    Only the form is checked here (JSON, kind, fields and their types); the
    texts inside are decoded and the proofs checked by the verifier.
    """
    try:
        obj = read_json(line)
    except json.JSONDecodeError as e:
        raise RecordError(f"not JSON: {e}") from None
    except RecursionError:
        raise RecordError("not JSON: nested too deeply") from None
    if not isinstance(obj, dict):
        raise RecordError(f"not a JSON object but a JSON {_json_type(obj)}")
    kind = obj.get("kind")
    if "kind" not in obj:
        raise RecordError('missing field "kind"')
    cls = _KINDS.get(kind) if isinstance(kind, str) else None
    if cls is None:
        raise RecordError(f'field "kind" is {_show(kind)}; expected "open" or "transfer"')
    values: dict[str, Any] = {}
    for f in fields(cls):
        if f.name not in obj:
            raise RecordError(f'missing field "{f.name}"')
        v = obj[f.name]
        if f.name in _INTEGERS:
            if isinstance(v, _LongInteger):
                raise RecordError(f'field "{f.name}" is {_show(v)}; expected {BITS_TEXT}')
            if type(v) is not int:
                raise RecordError(f'field "{f.name}" is a JSON {_json_type(v)}; expected an integer')
        elif not isinstance(v, str):
            raise RecordError(f'field "{f.name}" is a JSON {_json_type(v)}; expected a string')
        values[f.name] = v
    extra = sorted(set(obj) - set(values) - {"kind"})
    if extra:
        raise RecordError(f"unknown field {_show(extra[0])}")
    if not values["id"]:
        raise RecordError('field "id" is empty')
    if cls is Transfer and values["bits"] not in BITS:
        raise RecordError(f'field "bits" is {values["bits"]}; expected {BITS_TEXT}')
    return cls(**values)


def record_id(line: str) -> str | None:
    """The id of a line that may not parse: its "id" string when it has one."""
    try:
        obj = read_json(line)
    except (ValueError, RecursionError):
        return None
    if isinstance(obj, dict) and isinstance(obj.get("id"), str) and obj["id"]:
        return str(obj["id"])
    return None


def _json_type(v: object) -> str:
    if v is None:
        return "null"
    if isinstance(v, bool):
        return "boolean"
    if isinstance(v, (int, float, _LongInteger)):
        return "number"
    if isinstance(v, str):
        return "string"
    if isinstance(v, list):
        return "array"
    return "object"
