"""Progress for long runs: a tqdm bar on a terminal, plain lines otherwise."""
from __future__ import annotations

import sys
import time
from typing import Any, TextIO


class Progress:
    """Reports how far a run has got, out of `total` units.

    On a terminal (and with tqdm installed) it draws a bar; elsewhere, such
    as a log file or CI, it prints a plain line at most every `every`
    seconds and once at the end, so logs stay short.
    """

    def __init__(self, desc: str, total: int, unit: str, stream: TextIO | None = None, every: float = 5.0,
                 scale: bool = False) -> None:
        self.desc, self.total, self.unit, self.every, self.scale = desc, total, unit, every, scale
        self.stream = sys.stderr if stream is None else stream
        self.done = 0
        self._start = self._last = time.monotonic()
        self._bar: Any = None
        if self.stream.isatty():
            try:
                from tqdm import tqdm
            except ImportError:
                pass
            else:
                self._bar = tqdm(total=total, desc=desc, unit=unit, unit_scale=scale, file=self.stream,
                                 dynamic_ncols=True)

    def update(self, done: int, note: str = "") -> None:
        """Set the units done so far; `note` is shown beside the count."""
        step, self.done = done - self.done, done
        if self._bar is not None:
            if note:
                self._bar.set_postfix_str(note, refresh=False)
            self._bar.update(step)
            return
        now = time.monotonic()
        if now - self._last >= self.every:
            self._last = now
            self._line(note)

    def close(self, note: str = "") -> None:
        """End the report with the final count."""
        if self._bar is not None:
            if note:
                self._bar.set_postfix_str(note, refresh=False)
            self._bar.close()
        else:
            self._line(note)

    def abort(self) -> None:
        """End without a final count: the run failed, and says so itself."""
        if self._bar is not None:
            self._bar.close()

    def _line(self, note: str) -> None:
        pct = f" ({100 * self.done // self.total}%)" if self.total else ""
        extra = f", {note}" if note else ""
        elapsed = time.monotonic() - self._start
        if self.scale:
            count = f"{self.done / 1e6:.1f}/{self.total / 1e6:.1f} M{self.unit}"
        else:
            count = f"{self.done}/{self.total} {self.unit}"
        print(f"{self.desc}: {count}{pct}{extra}, {elapsed:.1f} s", file=self.stream, flush=True)
