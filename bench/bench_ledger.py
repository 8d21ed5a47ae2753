"""Ledger verification throughput: `make bench-ledger`.

Makes (once, cached in --dir) a ledger of --transfers transfers at 32 bits
of each record version, then measures, on this machine:
  - a plain one-by-one loop over vemo's verifying functions (one thread),
    on the ledger of version 1;
  - vemo_ledger in this process (all cores), on a local dask cluster of 1
    and of 2 worker processes, for both versions side by side;
  - the cost of one chunk of each version, and dask's overhead per task and
    per chunk sent;
  - with --memory, the peak memory of a verification of the ledger and of
    one --scale times larger (made once too; slow).
"""
from __future__ import annotations

import argparse
import json
import os
import resource
import subprocess
import sys
import time

import vemo
import vemo_ledger


def ledger(directory: str, transfers: int, version: int = 1) -> str:
    path = os.path.join(directory, f"ledger{'' if version == 1 else version}-{transfers}.jsonl")
    if not os.path.exists(path):
        start = time.perf_counter()
        vemo_ledger.make_ledger(path + ".part", transfers, seed=1, version=version)
        os.replace(path + ".part", path)
        s = time.perf_counter() - start
        print(f"made {path}: {transfers} transfers in {s:.1f} s ({transfers / s:.0f} transfers/s, all cores)")
    return path


def one_by_one(path: str) -> tuple[int, float]:
    """Every transfer's four proofs through vemo's own functions, one call at a time."""
    gh = vemo.gen_GH()
    n = 0
    start = time.perf_counter()
    with open(path, encoding="utf-8") as f:
        for line in f:
            r = json.loads(line)
            if r["kind"] != "transfer":
                continue
            amount, balance = vemo.from_str(r["amount"]), vemo.from_str(r["sender_balance"])
            ok = (vemo.consistency_proof_verify(r["proof_receiver"], gh, amount,
                                                vemo.to_token_from_str(r["token_receiver"]), r["receiver"])
                  and vemo.consistency_proof_verify(r["proof_auditor"], gh, amount,
                                                    vemo.to_token_from_str(r["token_auditor"]), r["auditor"])
                  and vemo.range_proof_single_verify(r["range_amount"], r["bits"], gh, amount)
                  and vemo.range_proof_single_verify(r["range_balance"], r["bits"], gh, balance))
            assert ok
            n += 1
    return n, time.perf_counter() - start


def best(runs: int, fn):  # type: ignore[no-untyped-def]
    return min((fn() for _ in range(runs)), key=lambda r: r.run.seconds)


def _noop(i: int) -> int:
    return i


def dask_overheads(path: str, chunk: int) -> None:
    import distributed

    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address="127.0.0.1:0", silence_logs=40) as cluster, \
            distributed.Client(cluster) as client:
        client.gather(client.map(_noop, range(100), pure=False))
        n = 2000
        start = time.perf_counter()
        client.gather(client.map(_noop, range(n), pure=False))
        per_task = (time.perf_counter() - start) / n
        with open(path, encoding="utf-8") as f:
            lines = [(i, next(f).rstrip("\n")) for i in range(1, chunk + 1)]
        size = sum(len(t) for _, t in lines)
        times = []
        for _ in range(5):
            start = time.perf_counter()
            client.submit(len, lines, pure=False).result()
            times.append(time.perf_counter() - start)
        print(f"dask, 2 local workers: {per_task * 1e3:.2f} ms of scheduling per task (2000 empty tasks); "
              f"sending a {chunk}-line chunk ({size / 1e6:.2f} MB) to a worker and back: "
              f"{min(times) * 1e3:.1f} ms")


def chunk_cost(path: str, chunk: int, name: str) -> None:
    from vemo_ledger.verify import _check_first_line, ledger_version

    v2 = ledger_version(_check_first_line(path, 1 << 20))
    with open(path, encoding="utf-8") as f:
        all_lines = [(n, t.rstrip("\n")) for n, t in enumerate(f, start=1)]
    lines = [x for x in all_lines if '"kind":"transfer"' in x[1]][:chunk]
    times = []
    for _ in range(3):
        start = time.perf_counter()
        results = vemo_ledger.verify_chunk(lines, 1, v2)
        times.append(time.perf_counter() - start)
        assert all(r.reason is None for r in results)
    t = min(times)
    print(f"{name}: one chunk of {len(lines)} transfers on one thread: {t * 1e3:.0f} ms "
          f"({t / len(lines) * 1e3:.2f} ms a transfer, {os.path.getsize(path) / len(all_lines) / 1e3:.1f} KB a line)")


def peak_memory(path: str) -> int:
    """Peak resident KiB of a fresh process verifying `path`.

    VmHWM, not ru_maxrss: Linux carries a parent's peak over fork and exec
    into the child's ru_maxrss, and this process is large by now.
    """
    code = ("import sys, vemo_ledger; r = vemo_ledger.verify_ledger(sys.argv[1]); assert r.ok; "
            "print(next(l.split()[1] for l in open('/proc/self/status') if l.startswith('VmHWM:')))")
    out = subprocess.run([sys.executable, "-c", code, path], check=True, capture_output=True, text=True)
    return int(out.stdout)


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--dir", default="build/bench-ledger", help="where the ledgers are kept")
    p.add_argument("--transfers", type=int, default=10_000)
    p.add_argument("--chunk", type=int, default=256)
    p.add_argument("--memory", action="store_true", help="also the peak memory, against a --scale times larger ledger")
    p.add_argument("--scale", type=int, default=10)
    args = p.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    path = ledger(args.dir, args.transfers)
    path2 = ledger(args.dir, args.transfers, version=2)
    print(f"{os.cpu_count()} cores; ledgers of {args.transfers} transfers at 32 bits: version 1 "
          f"{os.path.getsize(path) / 1e6:.1f} MB, version 2 {os.path.getsize(path2) / 1e6:.1f} MB")

    n, s = one_by_one(path)
    base = n / s
    print(f"one-by-one loop over vemo's verifiers (version 1), one thread: {s:.2f} s, {base:.0f} transfers/s")
    modes: list[tuple[str, int | None]] = [("in this process, all cores", None)]
    modes += [(f"local dask cluster, {w} worker{'s' if w > 1 else ''}", w) for w in (1, 2)]
    per_version = {}
    for version, lp in ((1, path), (2, path2)):
        rows = []
        for name, workers in modes:
            r = best(2, lambda: vemo_ledger.verify_ledger(lp, chunk=args.chunk, workers=workers))
            assert r.ok and r.run is not None
            rows.append(r.run)
            print(f"version {version}, {name}: {r.run.seconds:.2f} s, {r.run.transfers_per_second:.0f} transfers/s, "
                  f"{r.run.transfers_per_second / base:.2f}x the loop (start {r.run.start_seconds:.1f} s)")
        print(f"version {version}, 2 workers / 1 worker: "
              f"{rows[2].transfers_per_second / rows[1].transfers_per_second:.2f}x")
        per_version[version] = rows
    for (name, _), one, two in zip(modes, per_version[1], per_version[2]):
        print(f"version 2 / version 1, {name}: {two.transfers_per_second / one.transfers_per_second:.2f}x")
    chunk_cost(path, args.chunk, "version 1")
    chunk_cost(path2, args.chunk, "version 2")
    dask_overheads(path, args.chunk)
    if args.memory:
        big = ledger(args.dir, args.transfers * args.scale)
        small_kb, big_kb = peak_memory(path), peak_memory(big)
        print(f"peak memory verifying in this process: {small_kb / 1024:.0f} MiB for {args.transfers} transfers, "
              f"{big_kb / 1024:.0f} MiB for {args.transfers * args.scale}")
    print(f"(python {sys.version.split()[0]}, ru_maxrss of this process {resource.getrusage(resource.RUSAGE_SELF).ru_maxrss // 1024} MiB)")


if __name__ == "__main__":
    main()
