"""The command line: python3 -m vemo_ledger {make,verify,balance} ...

Exit status: 0 when every record is valid (or the ledger was written), 1
when any record is invalid, 2 when the run could not be done (a usage
error, a missing or unreadable file, a file that is not JSON Lines, a
cluster that cannot be started or reached), with a one-line message on
stderr. balance exits 0 when it printed the balance, 1 when the key's
account is not open or its balance is beyond the search.
"""
from __future__ import annotations

import argparse
import json
import os
import sys
from typing import Callable, NoReturn, Sequence

from vemo_ledger.progress import Progress
from vemo_ledger.record import BITS
from vemo_ledger.verify import CHUNK_TIMEOUT, MAX_LINE

EXIT_VALID, EXIT_INVALID, EXIT_ERROR = 0, 1, 2
#: How many invalid lines the summary lists; the report has all of them.
SUMMARY_LINES = 20


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        # One line, as for every other failure of the command.
        self.exit(EXIT_ERROR, f"{self.prog}: error: {message} (see --help)\n")


def _at_least(low: int) -> Callable[[str], int]:
    """An argparse type: an integer no smaller than `low`."""
    def convert(text: str) -> int:
        try:
            n = int(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not an integer: {text!r}") from None
        if n < low:
            raise argparse.ArgumentTypeError(f"must be at least {low}: {n}")
        return n
    return convert


_positive, _count = _at_least(1), _at_least(0)


def _seconds(text: str) -> float:
    """An argparse type: a positive, finite number of seconds."""
    try:
        t = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if not 0 < t < float("inf"):
        raise argparse.ArgumentTypeError(f"must be a positive number of seconds: {text}")
    return t


def shown(text: str) -> str:
    """text as the summary prints it: every character that is not printable
    (controls, terminal escapes, line breaks, lone surrogates, bidirectional
    overrides) written as a Python escape, so that no line of a ledger can
    draw on the terminal or break the output."""
    return "".join(c if c.isprintable() else ascii(c)[1:-1] for c in text)


def parser() -> argparse.ArgumentParser:
    """The argument parser of `python3 -m vemo_ledger`."""
    p = _Parser(prog="python3 -m vemo_ledger",
                description="Make and verify confidential-transfer ledgers (JSON Lines, one record per line).",
                epilog="Exit status: 0 all records valid, 1 some record invalid, 2 usage, I/O or cluster error. "
                       "The record format and the checks: docs/ledger.md.")
    sub = p.add_subparsers(dest="command", required=True, metavar="{make,verify,balance}", parser_class=_Parser)

    m = sub.add_parser("make", help="write a ledger of N transfers between a few accounts",
                       description="Write a ledger: a header (version 2), one opening per account, then N "
                                   "transfers proved on all cores. With --invalid K, K transfers at random "
                                   "places are invalid in varied ways, listed with their expected reasons in "
                                   "OUT's side file (l.jsonl -> l.invalid.json). Version 2 writes every party's "
                                   "secret key to OUT's key folder (l.jsonl -> l.keys/acct-1.key, ...).")
    m.add_argument("out", metavar="OUT.jsonl", help="the ledger to write")
    m.add_argument("--transfers", type=_count, required=True, metavar="N", help="transfers to write")
    m.add_argument("--invalid", type=_count, default=0, metavar="K", help="how many of them are invalid (0)")
    m.add_argument("--accounts", type=_positive, default=5, metavar="A", help="accounts to open (5)")
    m.add_argument("--bits", type=int, choices=BITS, default=32,
                   help="range of the amounts' and balances' proofs, in bits (32)")
    m.add_argument("--threads", type=_positive, default=None, help="proving threads (all cores)")
    m.add_argument("--seed", type=int, default=None, help="fixes amounts, pairs and invalid places")
    m.add_argument("--format", type=int, choices=(1, 2), default=2,
                   help="the records' version: 2 (signed, replay-proof, the default) or 1")
    m.add_argument("--quiet", action="store_true", help="no progress on stderr")

    v = sub.add_parser("verify", help="check every record of a ledger and report",
                       description="Check every record: its form, its points, its four proofs, and that "
                                   "its balances follow from the lines before it. Writes a JSON report and "
                                   "a short summary on stdout. Runs in this process on all cores unless "
                                   "--workers or --scheduler is given.")
    v.add_argument("ledger", metavar="LEDGER.jsonl", help="the ledger to verify")
    where = v.add_mutually_exclusive_group()
    where.add_argument("--workers", type=_positive, metavar="N",
                       help="start a local dask cluster of N worker processes on the loopback interface")
    where.add_argument("--scheduler", metavar="tcp://HOST:PORT", help="use the running dask cluster of this scheduler")
    v.add_argument("--connect-timeout", type=_seconds, default=30.0, metavar="SECONDS",
                   help="give up on --scheduler after this long without an answer (30)")
    v.add_argument("--chunk-timeout", type=_seconds, default=CHUNK_TIMEOUT, metavar="SECONDS",
                   help=f"on a cluster, end the run when a chunk has no result this long after it was sent "
                        f"({CHUNK_TIMEOUT:g})")
    v.add_argument("--max-line", type=_positive, default=MAX_LINE, metavar="BYTES",
                   help=f"a longer line is an invalid record, never read whole ({MAX_LINE})")
    tls = v.add_argument_group("TLS for --scheduler tls://HOST:PORT (all three, or dask's configuration)")
    tls.add_argument("--tls-ca-file", metavar="PEM", help="the certificate authority that signed the cluster's "
                                                          "certificates")
    tls.add_argument("--tls-cert", metavar="PEM", help="this client's certificate")
    tls.add_argument("--tls-key", metavar="PEM", help="this client's private key")
    v.add_argument("--threads", type=_positive, default=None, help="in-process checking threads (all cores)")
    v.add_argument("--chunk", type=_positive, default=256, metavar="LINES", help="lines per chunk (256)")
    v.add_argument("--report", metavar="PATH",
                   help="where to write the JSON report ('-': stdout, the summary then goes to stderr); "
                        "default: beside the ledger, l.jsonl -> l.report.json")
    v.add_argument("--quiet", action="store_true", help="no progress on stderr")

    b = sub.add_parser("balance", help="read an account's balance with its key (version 2)",
                       description="Verify a ledger of version 2 in this process, then read the balance of "
                                   "the account of KEYFILE's key from its pair on the ledger, with that key "
                                   "alone (no payer's blinding scalar is needed). Only valid lines move "
                                   "balances.")
    b.add_argument("ledger", metavar="LEDGER.jsonl", help="the ledger to read")
    b.add_argument("--key", required=True, metavar="KEYFILE",
                   help='the account\'s key file (JSON "key" and "secret_key", as make writes them)')
    b.add_argument("--threads", type=_positive, default=None, help="verifying threads (all cores)")
    return p


def _make(args: argparse.Namespace) -> int:
    from vemo_ledger.make import keys_dir, make_ledger, side_file

    bar = None if args.quiet else Progress("make", args.transfers, "transfers")
    try:
        faults = make_ledger(args.out, args.transfers, invalid=args.invalid, accounts=args.accounts,
                             bits=args.bits, threads=args.threads, seed=args.seed,
                             on_progress=None if bar is None else bar.update, version=args.format)
    except BaseException as e:
        if bar is not None:
            bar.abort()
        if isinstance(e, OSError):
            raise _Failure(f"{e.filename or args.out}: {e.strerror or e}") from None
        if isinstance(e, ValueError):
            raise _Failure(str(e)) from None
        raise
    if bar is not None:
        bar.close()
    keys = f"; keys in {keys_dir(args.out)}" if args.format == 2 else ""
    print(f"wrote {args.out}: {args.accounts} accounts, {args.transfers} transfers, {len(faults)} invalid "
          f"(listed in {side_file(args.out)}){keys}")
    return EXIT_VALID


def _balance(args: argparse.Namespace) -> int:
    from vemo_ledger.verify import LedgerError
    from vemo_ledger.wallet import KeyFileError, read_balance, read_key

    try:
        key = read_key(args.key)
    except OSError as e:
        raise _Failure(f"{args.key}: {e.strerror or e}") from None
    except KeyFileError as e:
        raise _Failure(f"{args.key}: {e}") from None
    try:
        b = read_balance(args.ledger, key, threads=args.threads)
    except LedgerError as e:
        raise _Failure(str(e)) from None
    if b.report.invalid:
        print(f"note: {b.report.invalid} invalid lines of {shown(args.ledger)} moved no balance "
              f"(verify lists them)", file=sys.stderr)
    if not b.open:
        print(f"{b.key}: no open account in {shown(args.ledger)}")
        return EXIT_INVALID
    if b.value is None:
        print(f"{b.key}: the balance is not below 2**31, the most a key's search reads")
        return EXIT_INVALID
    print(f"{b.key}: balance {b.value} ({b.transfers} transfers sent)")
    return EXIT_VALID


def default_report_path(ledger: str) -> str:
    """Where verify writes its report unless told: l.jsonl -> l.report.json."""
    stem = ledger[:-len(".jsonl")] if ledger.endswith(".jsonl") else ledger
    return stem + ".report.json"


def _verify(args: argparse.Namespace) -> int:
    from vemo_ledger.verify import LedgerError, tls_security, verify_ledger

    bar: Progress | None = None
    if not args.quiet:
        try:
            size = os.stat(args.ledger).st_size
        except OSError:
            size = 0
        bar = Progress("verify", size, "B", scale=True)

    def progress(records: int, done: int, total: int) -> None:
        assert bar is not None
        bar.update(done, f"{records} records")

    tls = (args.tls_ca_file, args.tls_cert, args.tls_key)
    security = None
    if any(tls):
        if not all(tls):
            raise _Failure("give --tls-ca-file, --tls-cert and --tls-key together")
        if args.scheduler is None:
            raise _Failure("--tls-ca-file, --tls-cert and --tls-key apply to --scheduler only")
        for name, f in zip(("--tls-ca-file", "--tls-cert", "--tls-key"), tls):
            if not os.path.isfile(f):
                raise _Failure(f"{name} {f}: no such file")
        try:
            security = tls_security(args.tls_ca_file, args.tls_cert, args.tls_key)
        except LedgerError as e:
            raise _Failure(str(e)) from None
    try:
        report = verify_ledger(args.ledger, workers=args.workers, scheduler=args.scheduler, chunk=args.chunk,
                               threads=args.threads, connect_timeout=args.connect_timeout,
                               chunk_timeout=args.chunk_timeout, max_line=args.max_line, security=security,
                               on_progress=None if bar is None else progress)
    except BaseException as e:
        if bar is not None:
            bar.abort()
        if isinstance(e, LedgerError):
            raise _Failure(str(e)) from None
        raise
    if bar is not None:
        bar.close(f"{report.records} records")
    report_path = args.report or default_report_path(args.ledger)
    summary = sys.stdout
    if report_path == "-":
        sys.stdout.write(report.to_json() + "\n")
        summary = sys.stderr
    else:
        try:
            with open(report_path, "w", encoding="utf-8") as f:
                f.write(report.to_json() + "\n")
        except OSError as e:
            raise _Failure(f"{report_path}: {e.strerror or e}") from None
    run = report.run
    assert run is not None
    # Ids are shown as JSON strings (ASCII, every control escaped) and
    # everything else of the file's through shown(): the summary cannot be
    # made to fail or to print lines of the ledger's choosing.
    out = [f"{shown(report.ledger)}: {report.records} records ({report.accounts} accounts opened, "
           f"{report.transfers} transfers): {report.valid} valid, {report.invalid} invalid"]
    for x in report.invalid_lines[:SUMMARY_LINES]:
        out.append(f"  line {x.line} ({'no id' if x.id is None else json.dumps(x.id)}): {shown(x.reason)}")
    if report.invalid > SUMMARY_LINES:
        out.append(f"  ... and {report.invalid - SUMMARY_LINES} more in the report")
    where = "this process" if run.mode == "in-process" else f"{run.workers} {run.mode} workers"
    out.append(f"checked in {run.seconds:.2f} s, {run.transfers_per_second:.0f} transfers/s, on {where} "
               f"({run.threads} threads, chunks of {run.chunk} lines)")
    if report_path != "-":
        out.append(f"report: {shown(report_path)}")
    reconfigure = getattr(summary, "reconfigure", None)
    if reconfigure is not None:
        # A terminal whose encoding lacks some printable character of the
        # ledger's gets it as an escape, rather than a failed summary.
        reconfigure(errors="backslashreplace")
    print("\n".join(out), file=summary)
    return EXIT_VALID if report.ok else EXIT_INVALID


class _Failure(Exception):
    """A run that could not be done: its one-line message, exit status 2."""


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command line with `argv` (default: sys.argv[1:]); returns the exit status."""
    args = parser().parse_args(argv)
    try:
        if args.command == "make":
            return _make(args)
        if args.command == "balance":
            return _balance(args)
        return _verify(args)
    except _Failure as e:
        print(f"vemo_ledger {args.command}: error: {shown(str(e))}", file=sys.stderr)
        return EXIT_ERROR
    except KeyboardInterrupt:
        print(f"vemo_ledger {args.command}: interrupted", file=sys.stderr)
        return 130
    except Exception as e:
        # Whatever else went wrong is this program's fault or the machine's,
        # never a verdict on the ledger: one line and exit status 2, not a
        # traceback with the status that means "some record invalid".
        print(f"vemo_ledger {args.command}: error: {type(e).__name__}: {shown(str(e))}", file=sys.stderr)
        return EXIT_ERROR
