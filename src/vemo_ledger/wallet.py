"""A wallet's view of a ledger of version 2: an account's balance, read with its key alone.

An account's pair (C, T) on the ledger holds C = v·g + r·h and T = r·pk,
whoever chose r. Its owner computes C − sk⁻¹·T = v·g and finds v by a
search over small values: no payer's blinding scalar is ever needed.
"""
from __future__ import annotations

import json
import os
from dataclasses import dataclass
from typing import Any

import vemo

from vemo_ledger.check2 import Ledger2
from vemo_ledger.transfer2 import balance_of
from vemo_ledger.verify import LedgerError, Report, verify_ledger_state

#: The widest search of a wallet's read: vemo reads amounts below 2**31.
SEARCH = 2**31 - 1

_HEX = frozenset("0123456789abcdefABCDEF")


class KeyFileError(ValueError):
    """A key file that cannot be read as one; str() says why."""


def read_key(path: str | os.PathLike[str]) -> vemo.PbSk:
    """The key pair in a key file that make_ledger wrote (JSON with "key",
    the public key, and "secret_key", 64 hex digits).

    KeyFileError when the file is not such JSON, or when its secret key does
    not give its public key; OSError when it cannot be read.
    """
    with open(path, "rb") as f:
        raw = f.read(1 << 16)
    try:
        obj: Any = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, ValueError, RecursionError):
        raise KeyFileError("not a key file: not JSON") from None
    if not isinstance(obj, dict) or not isinstance(obj.get("key"), str) or not isinstance(obj.get("secret_key"), str):
        raise KeyFileError('not a key file: expected a JSON object with the strings "key" and "secret_key"')
    secret = obj["secret_key"]
    if len(secret) != 64 or not set(secret) <= _HEX:
        raise KeyFileError('"secret_key" is not 64 hex digits')
    gh = vemo.gen_GH()
    pair = vemo.regen_pb_sk(gh, vemo.to_scalar_from_str(secret))
    if pair.get_pk() != obj["key"].lower():
        raise KeyFileError('"secret_key" is not the secret key of "key"')
    return pair


@dataclass(frozen=True)
class Balance:
    """What a wallet reads of its account on a verified ledger."""

    key: str  # the account's public key
    open: bool  # whether the ledger's valid lines opened the account
    value: int | None  # the balance; None when not open, or not found below `search`
    transfers: int  # the account's accepted transfers so far (its next sequence number)
    report: Report  # the verification the balance was read from


def read_balance(path: str | os.PathLike[str], key: vemo.PbSk, *, threads: int | None = None,
                 search: int = SEARCH) -> Balance:
    """The balance of `key`'s account on the ledger of version 2 at `path`.

    The ledger is verified first (in this process, on `threads` threads),
    and only its valid lines move balances; the balance is then read from
    the account's pair with the key alone, searched in [0, search).
    LedgerError when the ledger cannot be verified or is of version 1,
    whose accounts hold no handle to read with a key.
    """
    if not 1 <= search <= SEARCH:
        raise ValueError(f"search must be from 1 to {SEARCH}")
    report, state = verify_ledger_state(path, threads=threads)
    if not isinstance(state, Ledger2):
        raise LedgerError(f"{os.fspath(path)}: a ledger of version 1: its accounts hold no handle to read "
                          f"a balance with a key")
    pk = key.get_pk()
    pair = state.balance(pk)
    if pair is None:
        return Balance(pk, False, None, 0, report)
    value = balance_of(pair, key, vemo.gen_GH(), search)
    seq = state.seq(pk)
    assert seq is not None
    return Balance(pk, True, None if value < 0 else value, seq, report)
