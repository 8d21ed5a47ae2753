"""Batch verification of vemo proofs (type stub)."""

from typing import Any, Callable, final

import vemo

__version__: str
__all__ = ["Batch", "__version__", "decode_commit", "decode_token"]

def decode_commit(text: str, /) -> vemo.Commit:
    """The point text decoded as a vemo.Commit, exactly as vemo.from_str decodes it.

    A text that does not decode raises ValueError with the message that
    vemo.from_str's PanicException would carry; nothing is written to stderr.
    """

def decode_token(text: str, /) -> vemo.Token:
    """The point text decoded as a vemo.Token, exactly as vemo.to_token_from_str decodes it.

    A text that does not decode raises ValueError with the message that
    vemo.to_token_from_str's PanicException would carry; nothing is written to stderr.
    """

@final
class Batch:
    """A queue of proof verifications checked together.

        batch = vemo_batch.Batch()
        batch.add(vemo.range_proof_single_verify, proof, 64, gh, commitment)
        batch.add(vemo.consistency_proof_verify, proof, gh, cm, token, pubkey)
        verdicts = batch.verify()   # list[bool], one per add()
        batch.errors                # list[str | None]

    len(batch) is the number of queued items.
    """

    def __init__(self) -> None: ...
    def add(self, fn: Callable[..., bool], /, *args: Any, **kwargs: Any) -> None:
        """Queue one verification: fn is one of vemo's verifying functions and
        args/kwargs are exactly the arguments it takes.

        The arguments are matched and converted now, so a call that fn would
        refuse raises the same TypeError or OverflowError here, naming fn.
        Texts are copied; nothing is decoded until verify().

        Raises TypeError when fn is not one of vemo's eight verifying
        functions (range_proof_single_verify, consistency_proof_verify,
        sigma_dlog_proof_explicit_verify[_sha256], sigma_eq_dlog_verify[_sha256],
        sigma_eq_dlog_verify_same_secret, sigma_eq_dlog_ped_verify).
        """
    def verify(self, *, threads: int | None = None) -> list[bool]:
        """Verify every queued item and return one bool per add(), in order.

        Item i's verdict is exactly what fn(*args) returns; where fn would
        raise PanicException (a malformed text, say), the verdict is False and
        errors[i] holds the panic's text. Nothing is raised for such items and
        nothing is written to stderr.

        All items are summed into one random linear combination (a false item
        passes with probability about 2**-128); when the sum fails, bisection
        finds the failing items and checks them alone, so verdicts are exact.
        Runs with the interpreter lock released on `threads` worker threads
        (None: all cores; an int from 1 to 1024, else ValueError), at most one
        per queued item and four per core. A thread the system refuses is not
        waited for: the others do its share. MemoryError when memory runs out.
        Items stay queued: verify() may be called again, and items added later
        join the next call.
        """
    def clear(self) -> None:
        """Remove every queued item and the last errors."""
    @property
    def errors(self) -> list[str | None]:
        """list[str | None]: per item of the last verify(), the PanicException text
        that the verifying function would have raised, or None."""
    def __len__(self) -> int: ...
