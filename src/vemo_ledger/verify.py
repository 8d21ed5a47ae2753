"""Verifying a whole ledger: read as a stream, checked in chunks, folded in order.

The file is read in chunks of lines. Each chunk's lines are checked by
verify_chunk wherever the run puts it (threads of this process, the worker
processes of a local dask cluster, or a running dask cluster), at most
`window` chunks at a time, and the results are applied to the ledger's
balances in line order as they come back. Memory therefore follows the
chunks in flight, not the size of the file.
"""
from __future__ import annotations

import asyncio
import json
import logging
import os
import time
import warnings
from collections import deque
from concurrent.futures import CancelledError, ThreadPoolExecutor
from dataclasses import asdict, dataclass, field
from typing import Any, BinaryIO, Callable, Iterator, Protocol

from vemo_ledger.check import Ledger, LineResult, verify_chunk


class LedgerError(Exception):
    """The ledger could not be verified at all: a missing or unreadable file, a
    file that is not JSON Lines, an unreachable or failing cluster. str() is a
    one-line message."""


@dataclass(frozen=True)
class InvalidLine:
    """One invalid line of the ledger: where it is, what it claims to be, and why."""

    line: int  # 1-based line number in the file
    id: str | None  # the record's "id", when the line has one
    reason: str


@dataclass
class Run:
    """How a verification ran: facts about the run, not about the ledger."""

    mode: str  # "in-process", "local-cluster" or "scheduler"
    workers: int  # worker processes (1 in-process)
    threads: int  # threads checking chunks, over all workers
    chunk: int  # lines per chunk
    chunks: int  # chunks checked
    seconds: float  # reading, checking and applying the ledger
    start_seconds: float  # starting or reaching the cluster, before that
    transfers_per_second: float


@dataclass
class Report:
    """What verifying a ledger found. Two runs over one file give equal
    reports but for `run`."""

    ledger: str
    records: int = 0  # non-blank lines
    accounts: int = 0  # valid openings
    transfers: int = 0  # records that are not valid openings
    valid: int = 0
    invalid: int = 0
    invalid_lines: list[InvalidLine] = field(default_factory=list)
    run: Run | None = None

    @property
    def ok(self) -> bool:
        """True when every record is valid."""
        return self.invalid == 0

    def to_json(self) -> str:
        """The report as indented JSON."""
        return json.dumps(asdict(self), indent=2)


class _Future(Protocol):
    def result(self) -> list[LineResult]: ...


Submit = Callable[[list[tuple[int, str]]], _Future]


def _lines(f: BinaryIO, chunk: int) -> Iterator[tuple[list[tuple[int, str]], int]]:
    """(chunk of numbered non-blank lines, bytes read so far) from a binary file.

    A line that is not UTF-8 is passed on with its bytes escaped so that the
    check names it; the line count includes blank lines.
    """
    batch: list[tuple[int, str]] = []
    for n, raw in enumerate(f, start=1):
        text = raw.decode("utf-8", errors="surrogateescape").rstrip("\r\n")
        if not text.strip():
            continue
        batch.append((n, text))
        if len(batch) == chunk:
            yield batch, f.tell()
            batch = []
    if batch:
        yield batch, f.tell()


def _read(path: str, f: BinaryIO, chunk: int) -> Iterator[tuple[list[tuple[int, str]], int]]:
    """_lines, with a failure to read the file as a LedgerError."""
    try:
        yield from _lines(f, chunk)
    except OSError as e:
        raise LedgerError(f"{path}: {e.strerror or e}") from None


def _check_first_line(path: str) -> None:
    """A JSON Lines file starts with a JSON value on its first non-blank line;
    a ledger's lines are objects. Anything else is refused before any work."""
    with open(path, "rb") as f:
        for n, raw in enumerate(f, start=1):
            if not raw.strip():
                continue
            try:
                obj = json.loads(raw.decode("utf-8"))
            except (UnicodeDecodeError, ValueError, RecursionError):
                raise LedgerError(f"{path}: not JSON Lines: line {n} is not JSON") from None
            if not isinstance(obj, dict):
                raise LedgerError(f"{path}: not a ledger: line {n} is not a JSON object")
            return


def verify_ledger(
    path: str | os.PathLike[str],
    *,
    workers: int | None = None,
    scheduler: str | None = None,
    chunk: int = 256,
    threads: int | None = None,
    connect_timeout: float = 30.0,
    on_progress: Callable[[int, int, int], None] | None = None,
) -> Report:
    """Verify every record of the JSON Lines ledger at `path`.

    Where it runs: in this process on `threads` threads (default: all
    cores); with `workers`, on a dask LocalCluster of that many worker
    processes on the loopback interface; with `scheduler` ("tcp://host:port"),
    on the running dask cluster behind that scheduler (given up after
    `connect_timeout` seconds without an answer). The same chunk
    function (verify_chunk) runs in every case, and the report is the same.

    on_progress(records_done, bytes_done, bytes_total) is called after each
    chunk is applied. Raises LedgerError when the ledger cannot be verified
    at all; invalid records are reported, never raised.
    """
    path = os.fspath(path)
    if chunk < 1:
        raise ValueError("chunk must be at least 1")
    if workers is not None and scheduler is not None:
        raise ValueError("give workers or scheduler, not both")
    if workers is not None and workers < 1:
        raise ValueError("workers must be at least 1")
    if threads is not None and threads < 1:
        raise ValueError("threads must be at least 1")
    try:
        total = os.stat(path).st_size
        _check_first_line(path)
        f = open(path, "rb")
    except OSError as e:
        raise LedgerError(f"{path}: {e.strerror or e}") from None
    with f:
        if workers is None and scheduler is None:
            n = threads or os.cpu_count() or 1
            started = time.perf_counter()
            with ThreadPoolExecutor(n, thread_name_prefix="vemo-ledger") as pool:
                return _run(path, f, total, lambda c: pool.submit(verify_chunk, c), 2 * n, chunk, on_progress,
                            Run("in-process", 1, n, chunk, 0, 0.0, time.perf_counter() - started, 0.0))
        return _run_dask(path, f, total, workers, scheduler, chunk, connect_timeout, on_progress)


def _run_dask(path: str, f: BinaryIO, total: int, workers: int | None, scheduler: str | None, chunk: int,
              connect_timeout: float, on_progress: Callable[[int, int, int], None] | None) -> Report:
    try:
        import distributed
    except ImportError:
        raise LedgerError("running on dask needs the distributed package (Debian: python3-distributed)") from None
    started = time.perf_counter()
    cluster: Any = None
    try:
        if workers is not None:
            cluster = distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                               host="127.0.0.1", dashboard_address="127.0.0.1:0",
                                               silence_logs=logging.ERROR)
            client = distributed.Client(cluster)
        else:
            client = distributed.Client(scheduler, timeout=connect_timeout)
    except (OSError, TimeoutError, ValueError) as e:
        if cluster is not None:
            cluster.close()
        where = f"{workers} local workers" if workers is not None else f"scheduler {scheduler}"
        raise LedgerError(f"cannot start or reach {where}: {e}") from None
    try:
        n = sum(client.nthreads().values())
        if n == 0:
            try:
                client.wait_for_workers(1, timeout=connect_timeout)
            except (OSError, TimeoutError) as e:
                raise LedgerError(f"no worker joined scheduler {scheduler} in {connect_timeout:g} s: {e}") from None
            n = sum(client.nthreads().values())
        run = Run("local-cluster" if workers is not None else "scheduler", len(client.nthreads()), n, chunk, 0,
                  0.0, time.perf_counter() - started, 0.0)

        def submit(c: list[tuple[int, str]]) -> _Future:
            # The chunk travels inside the task, not scattered ahead: a task
            # holds everything it needs, so the scheduler can rerun it on
            # another worker when the first one dies. dask warns about
            # such tasks above 1 MB; for a chunk of text that is the point.
            with warnings.catch_warnings():
                warnings.filterwarnings("ignore", message="Large object of size", category=UserWarning)
                future: _Future = client.submit(verify_chunk, c, pure=False)
            return future

        try:
            return _run(path, f, total, submit, 2 * n, chunk, on_progress, run)
        except distributed.KilledWorker as e:
            raise LedgerError(f"a chunk was lost with every worker that ran it: {e}") from None
        except (OSError, TimeoutError, CancelledError, asyncio.CancelledError) as e:
            raise LedgerError(f"lost the cluster during the run: {type(e).__name__}: {e}") from None
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


def _run(path: str, f: BinaryIO, total: int, submit: Submit, window: int, chunk: int,
         on_progress: Callable[[int, int, int], None] | None, run: Run) -> Report:
    report = Report(ledger=path)
    ledger = Ledger()
    in_flight: deque[tuple[_Future, int]] = deque()
    started = time.perf_counter()

    def settle() -> None:
        future, read = in_flight.popleft()
        for r in future.result():
            report.records += 1
            reason = ledger.apply(r)
            if reason is None:
                report.valid += 1
                if r.kind == "open":
                    report.accounts += 1
            else:
                report.invalid += 1
                report.invalid_lines.append(InvalidLine(r.line, r.id, reason))
        run.chunks += 1
        if on_progress is not None:
            on_progress(report.records, read, total)

    for lines, read in _read(path, f, chunk):
        if len(in_flight) >= window:
            settle()
        in_flight.append((submit(lines), read))
    while in_flight:
        settle()
    report.transfers = report.records - report.accounts
    run.seconds = time.perf_counter() - started
    run.transfers_per_second = report.transfers / run.seconds if run.seconds > 0 else 0.0
    report.run = run
    return report
