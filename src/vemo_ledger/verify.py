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
import functools
import heapq
import itertools
import json
import logging
import os
import time
import warnings
from collections import deque
from concurrent.futures import CancelledError, ThreadPoolExecutor
from dataclasses import asdict, dataclass, field
from typing import Any, BinaryIO, Callable, Iterator, Protocol

from vemo_ledger.record import RecordError, read_json
from vemo_ledger.record2 import Header, Version2, is_version2, parse2
from vemo_ledger.check import Checked, Ledger, LineResult, MalformedResult, checked_results, verify_chunk
from vemo_ledger.check2 import Ledger2

#: The longest line read by default, in bytes (its line break not counted):
#: about nine times a transfer at 64 bits (7 KB).
MAX_LINE = 64 * 1024
#: The reason given for a line longer than the limit.
LINE_TOO_LONG = "line too long"
#: How long a cluster may take over one chunk by default, in seconds, from
#: the moment it is sent: a chunk of 256 transfers takes about a second.
CHUNK_TIMEOUT = 300.0


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
    def result(self, timeout: float | None = None) -> object: ...


Lines = list[tuple[int, str]]
Submit = Callable[[Lines], _Future]


@dataclass
class _Chunk:
    """One chunk as read: the lines to check, the line numbers of the lines
    too long to read, and how far into the file the chunk ends."""

    lines: Lines
    too_long: list[int]
    read: int

    def where(self, path: str) -> str:
        numbers = [n for n, _ in self.lines] + self.too_long
        return f"{path}, lines {min(numbers)} to {max(numbers)}"


class _TooLong:
    """What _read_line gives for a line longer than the limit."""


_TOO_LONG = _TooLong()


def _read_line(f: BinaryIO, max_line: int) -> bytes | _TooLong | None:
    """The next line of f without its line break; None at the end of the
    file; _TOO_LONG for a line of more than max_line bytes, which is
    skipped without being held whole."""
    raw = f.readline(max_line + 2)
    if not raw:
        return None
    if len(raw) <= max_line + 1 or raw.endswith(b"\n"):
        content = raw.rstrip(b"\r\n")
        if len(content) <= max_line:
            return content
    while raw and not raw.endswith(b"\n"):
        raw = f.readline(1 << 16)
    return _TOO_LONG


def _chunks(f: BinaryIO, chunk: int, max_line: int) -> Iterator[_Chunk]:
    """The non-blank lines of a binary file in chunks of at most `chunk`.

    A line that is not UTF-8 is passed on with its bytes escaped so that the
    check names it; a line too long is only counted; the line count
    includes blank lines.
    """
    current = _Chunk([], [], 0)
    for n in itertools.count(1):
        raw = _read_line(f, max_line)
        if raw is None:
            break
        if isinstance(raw, _TooLong):
            current.too_long.append(n)
        else:
            text = raw.decode("utf-8", errors="surrogateescape")
            if not text.strip():
                continue
            current.lines.append((n, text))
        if len(current.lines) + len(current.too_long) == chunk:
            current.read = f.tell()
            yield current
            current = _Chunk([], [], 0)
    if current.lines or current.too_long:
        current.read = f.tell()
        yield current


def _read(path: str, f: BinaryIO, chunk: int, max_line: int) -> Iterator[_Chunk]:
    """_chunks, with a failure to read the file as a LedgerError."""
    try:
        yield from _chunks(f, chunk, max_line)
    except OSError as e:
        raise LedgerError(f"{path}: {e.strerror or e}") from None


def _check_first_line(path: str, max_line: int) -> dict[str, Any] | None:
    """A JSON Lines file starts with a JSON value on its first non-blank line;
    a ledger's lines are objects. Anything else is refused before any work.
    A first line too long to read passes when it starts like an object: it
    is then an invalid record like any other. Returns the first line's
    object (None for an empty file or a line too long): it tells the
    ledger's version."""
    with open(path, "rb") as f:
        for n in itertools.count(1):
            start = f.tell()
            raw = _read_line(f, max_line)
            if raw is None:
                return None
            if isinstance(raw, _TooLong):
                f.seek(start)
                if f.read(1 << 10).lstrip()[:1] == b"{":
                    return None
                raise LedgerError(f"{path}: not JSON Lines: line {n} is not JSON")
            if not raw.strip():
                continue
            try:
                obj = read_json(raw.decode("utf-8"))
            except (UnicodeDecodeError, ValueError, RecursionError):
                raise LedgerError(f"{path}: not JSON Lines: line {n} is not JSON") from None
            if not isinstance(obj, dict):
                raise LedgerError(f"{path}: not a ledger: line {n} is not a JSON object")
            return obj
    return None


def ledger_version(first: dict[str, Any] | None) -> Version2 | None:
    """The version of a ledger whose first record is `first`: Version2 with
    its header when that record is of version 2, None for version 1."""
    if not is_version2(first):
        return None
    assert first is not None
    try:
        header = parse2(first) if first.get("kind") == "header" else None
    except RecordError:
        header = None
    return Version2(header if isinstance(header, Header) else None)


def verify_ledger(
    path: str | os.PathLike[str],
    *,
    workers: int | None = None,
    scheduler: str | None = None,
    chunk: int = 256,
    threads: int | None = None,
    connect_timeout: float = 30.0,
    chunk_timeout: float = CHUNK_TIMEOUT,
    max_line: int = MAX_LINE,
    security: Any = None,
    on_progress: Callable[[int, int, int], None] | None = None,
) -> Report:
    """Verify every record of the JSON Lines ledger at `path`.

    Where it runs: in this process on `threads` threads (default: all
    cores); with `workers`, on a dask LocalCluster of that many worker
    processes on the loopback interface, whose connections are encrypted
    and authenticated with credentials made for this run alone; with
    `scheduler` ("tcp://host:port" or "tls://host:port"), on the running
    dask cluster behind that scheduler (given up after `connect_timeout`
    seconds without an answer), with `security` (a distributed.Security;
    None: dask's configuration) for its TLS. The same chunk function
    (verify_chunk) runs in every case, and the report is the same.

    A line longer than `max_line` bytes is an invalid record ("line too
    long"), never read whole. On a cluster, a chunk whose result has not
    come back `chunk_timeout` seconds after it was sent, or whose result
    does not answer it line for line, ends the run with LedgerError:
    nothing of such a result is applied.

    on_progress(records_done, bytes_done, bytes_total) is called after each
    chunk is applied. Raises LedgerError when the ledger cannot be verified
    at all, an unexpected failure while checking included; invalid records
    are reported, never raised.
    """
    return verify_ledger_state(path, workers=workers, scheduler=scheduler, chunk=chunk, threads=threads,
                               connect_timeout=connect_timeout, chunk_timeout=chunk_timeout, max_line=max_line,
                               security=security, on_progress=on_progress)[0]


def verify_ledger_state(
    path: str | os.PathLike[str],
    *,
    workers: int | None = None,
    scheduler: str | None = None,
    chunk: int = 256,
    threads: int | None = None,
    connect_timeout: float = 30.0,
    chunk_timeout: float = CHUNK_TIMEOUT,
    max_line: int = MAX_LINE,
    security: Any = None,
    on_progress: Callable[[int, int, int], None] | None = None,
) -> tuple[Report, Ledger | Ledger2]:
    """verify_ledger, with the accounts as the ledger's valid lines leave
    them: a Ledger for a ledger of version 1, a Ledger2 for version 2."""
    path = os.fspath(path)
    if chunk < 1:
        raise ValueError("chunk must be at least 1")
    if workers is not None and scheduler is not None:
        raise ValueError("give workers or scheduler, not both")
    if workers is not None and workers < 1:
        raise ValueError("workers must be at least 1")
    if threads is not None and threads < 1:
        raise ValueError("threads must be at least 1")
    if max_line < 1:
        raise ValueError("max_line must be at least 1")
    if not chunk_timeout > 0:
        raise ValueError("chunk_timeout must be positive")
    if security is not None and scheduler is None:
        raise ValueError("security applies to a scheduler only; a local cluster makes its own")
    try:
        total = os.stat(path).st_size
        v2 = ledger_version(_check_first_line(path, max_line))
        f = open(path, "rb")
    except OSError as e:
        raise LedgerError(f"{path}: {e.strerror or e}") from None
    with f:
        reading = _Reading(path, f, total, chunk, max_line, v2, Ledger() if v2 is None else Ledger2())
        if workers is None and scheduler is None:
            n = threads or os.cpu_count() or 1
            started = time.perf_counter()
            # A chunk of version 2 carries the header it is checked against.
            with ThreadPoolExecutor(n, thread_name_prefix="vemo-ledger") as pool:
                run = Run("in-process", 1, n, chunk, 0, 0.0, time.perf_counter() - started, 0.0)
                report = _run(reading, lambda c: _submit_chunk(pool.submit, c, v2), 2 * n, None, _failed_here,
                              on_progress, run)
        else:
            report = _run_dask(reading, workers, scheduler, security, connect_timeout, chunk_timeout, on_progress)
    return report, reading.state


def _submit_chunk(submit: Callable[..., _Future], lines: Lines, v2: Version2 | None) -> _Future:
    """verify_chunk(lines) submitted, with the header of a ledger of version 2
    when there is one: a chunk of version 1 is sent as it always was."""
    if v2 is None:
        return submit(verify_chunk, lines)
    return submit(verify_chunk, lines, v2=v2)


def tls_security(ca_file: str, cert: str, key: str) -> Any:
    """The distributed.Security of a client that reaches a tls:// scheduler
    with its certificate `cert` and key `key` (PEM files), trusting the
    cluster's certificates signed by the authority in `ca_file`; plain
    connections refused. LedgerError without dask's distributed package."""
    try:
        from distributed.security import Security
    except ImportError:
        raise LedgerError("running on dask needs the distributed package (Debian: python3-distributed)") from None
    return Security(tls_ca_file=ca_file, tls_client_cert=cert, tls_client_key=key, require_encryption=True)


@dataclass
class _Reading:
    """The file being verified and how it is read."""

    path: str
    f: BinaryIO
    total: int  # bytes
    chunk: int  # lines
    max_line: int  # bytes
    v2: Version2 | None  # the header of a ledger of version 2; None for version 1
    state: Ledger | Ledger2  # the ledger's accounts, as the lines applied so far leave them


def _failed_here(e: BaseException) -> str:
    return f"checking failed: {type(e).__name__}: {e}"


def _run_dask(reading: _Reading, workers: int | None, scheduler: str | None, security: Any, connect_timeout: float,
              chunk_timeout: float, on_progress: Callable[[int, int, int], None] | None) -> Report:
    try:
        import distributed
    except ImportError:
        raise LedgerError("running on dask needs the distributed package (Debian: python3-distributed)") from None
    started = time.perf_counter()
    cluster: Any = None
    try:
        if workers is not None:
            # security=True: a certificate and key made for this cluster
            # alone, so that no other process (of this machine either) can
            # join it, submit work to it or read what it carries.
            cluster = distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                               host="127.0.0.1", dashboard_address="127.0.0.1:0",
                                               security=True, silence_logs=logging.ERROR)
            client = distributed.Client(cluster)
        else:
            client = distributed.Client(scheduler, timeout=connect_timeout, security=security)
    except ImportError as e:
        raise LedgerError(f"a local cluster's credentials need the cryptography package "
                          f"(Debian: python3-cryptography): {e}") from None
    except (OSError, TimeoutError, ValueError, TypeError) as e:
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
        run = Run("local-cluster" if workers is not None else "scheduler", len(client.nthreads()), n, reading.chunk,
                  0, 0.0, time.perf_counter() - started, 0.0)

        def submit(c: Lines) -> _Future:
            # The chunk travels inside the task, not scattered ahead: a task
            # holds everything it needs, so the scheduler can rerun it on
            # another worker when the first one dies. dask warns about
            # such tasks above 1 MB; for a chunk of text that is the point.
            with warnings.catch_warnings():
                warnings.filterwarnings("ignore", message="Large object of size", category=UserWarning)
                future: _Future = _submit_chunk(functools.partial(client.submit, pure=False), c, reading.v2)
            return future

        def failed(e: BaseException) -> str:
            if isinstance(e, distributed.KilledWorker):
                return f"lost with every worker that ran it: {e}"
            if isinstance(e, (OSError, CancelledError, asyncio.CancelledError)):
                return f"lost the cluster during the run: {type(e).__name__}: {e}"
            return f"checking failed on a worker: {type(e).__name__}: {e}"

        return _run(reading, submit, 2 * n, chunk_timeout, failed, on_progress, run)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


def _run(reading: _Reading, submit: Submit, window: int, timeout: float | None,
         failed: Callable[[BaseException], str], on_progress: Callable[[int, int, int], None] | None,
         run: Run) -> Report:
    report = Report(ledger=reading.path)
    ledger = reading.state
    headers = [0]  # a ledger of version 2's valid header: neither an account nor a transfer
    in_flight: deque[tuple[_Future | None, _Chunk, float]] = deque()
    started = time.perf_counter()

    def results_of(future: _Future | None, c: _Chunk, sent: float) -> list[Checked]:
        """The chunk's results checked against the chunk, the lines too
        long to read among them, in line order."""
        if future is None:
            got: object = []
        else:
            try:
                if timeout is None:
                    got = future.result()
                else:
                    # A second at least: fetching a result that is ready
                    # takes a round trip of its own.
                    got = future.result(timeout=max(1.0, sent + timeout - time.monotonic()))
            except TimeoutError:
                if timeout is None:
                    raise LedgerError(f"{c.where(reading.path)}: {failed(TimeoutError())}") from None
                raise LedgerError(f"{c.where(reading.path)}: no result from the cluster {timeout:g} s after they were sent "
                                  f"(chunk timeout)") from None
            except (Exception, asyncio.CancelledError) as e:
                raise LedgerError(f"{c.where(reading.path)}: {failed(e)}") from None
        try:
            checked = checked_results(c.lines, got, 1 if reading.v2 is None else 2)
        except MalformedResult as e:
            raise LedgerError(f"{c.where(reading.path)}: a result that does not answer them: {e}") from None
        too_long = [Checked(LineResult(n, None, LINE_TOO_LONG), None, None) for n in c.too_long]
        return list(heapq.merge(checked, too_long, key=lambda x: x.result.line))

    def settle() -> None:
        future, c, sent = in_flight.popleft()
        for x in results_of(future, c, sent):
            r = x.result
            report.records += 1
            reason = ledger.apply_checked(x)
            if reason is None:
                report.valid += 1
                if r.kind == "open":
                    report.accounts += 1
                elif r.kind == "header":
                    headers[0] += 1
            else:
                report.invalid += 1
                report.invalid_lines.append(InvalidLine(r.line, r.id, reason))
        run.chunks += 1
        if on_progress is not None:
            on_progress(report.records, c.read, reading.total)

    for c in _read(reading.path, reading.f, reading.chunk, reading.max_line):
        if len(in_flight) >= window:
            settle()
        future = None
        if c.lines:
            try:
                future = submit(c.lines)
            except Exception as e:
                raise LedgerError(f"{c.where(reading.path)}: {failed(e)}") from None
        in_flight.append((future, c, time.monotonic()))
    while in_flight:
        settle()
    report.transfers = report.records - report.accounts - headers[0]
    run.seconds = time.perf_counter() - started
    run.transfers_per_second = report.transfers / run.seconds if run.seconds > 0 else 0.0
    report.run = run
    return report
