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

    len(batch) is the number of queued items.
    """

    def __init__(self) -> None: ...
    def add(self, fn: Callable[..., bool], /, *args: Any, **kwargs: Any) -> None:
        """Queue fn(*args, **kwargs), fn being one of vemo's eight verifying functions.

        Raises the TypeError or OverflowError that fn itself would raise for
        these arguments, and TypeError when fn is not a verifying function.
        """
    def verify(self, *, threads: int | None = None) -> list[bool]:
        """Verify every queued item; one bool per add(), in order.

        A verdict is exactly fn(*args); an item whose call would raise
        PanicException is False, with its text in errors. threads: worker
        threads (None: all cores); ValueError unless 1 to 1024. At most one
        thread runs per item and four per core; a thread the system refuses
        leaves its share to the others. MemoryError when memory runs out.
        """
    def clear(self) -> None:
        """Remove every queued item and the last errors."""
    @property
    def errors(self) -> list[str | None]:
        """Per item of the last verify(), the PanicException text, or None."""
    def __len__(self) -> int: ...
