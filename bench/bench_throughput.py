"""Verification throughput: threads, and vemo_batch against one-by-one calls.

Run with `make bench` (after the per-call table). Wall-clock time, best of
several repeats; thread scaling needs idle cores to mean anything.

The lane engine (docs/lanes.md) is on by default where the processor has
AVX-512 IFMA: run without VEMO_LANES, the table is printed for the default
path, then again with VEMO_LANES=off (the scalar paths), so both can be
compared on one machine.
"""
import os
import subprocess
import sys
import threading
import time

import vemo
import vemo_batch

REPEATS = 5


def best_seconds(fn):
    fn()  # warm up: generator vectors and tables are built on first use
    times = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def on_threads(count, fn):
    def run():
        threads = [threading.Thread(target=fn) for _ in range(count)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    return run


def batch_of(items):
    def run():
        batch = vemo_batch.Batch()
        for fn, *args in items:
            batch.add(fn, *args)
        assert all(batch.verify())

    return run


def one_by_one(items):
    def run():
        for fn, *args in items:
            assert fn(*args)

    return run


def first_ghvec_seconds(processes=5):
    """ghvec(64) in a fresh interpreter: the generator derivation of a cold
    process (later calls read the cache). Best of several processes."""
    code = ("import time, vemo; t = time.perf_counter(); vemo.ghvec(64); "
            "print(time.perf_counter() - t)")
    return min(float(subprocess.run([sys.executable, "-c", code], check=True, capture_output=True,
                                    text=True).stdout) for _ in range(processes))


def measure():
    """The throughput rows of this process's lane path: (label, seconds per
    item, note or None)."""
    gh = vemo.gen_GH()
    pbsk = vemo.gen_pb_sk(gh)
    pk = pbsk.get_pk()
    range_items, consistency_items = [], []
    for i in range(64):
        r = vemo.gen_r()
        c = vemo.commit(i, r, gh)
        range_items.append((vemo.range_proof_single_verify, vemo.range_proof_single(64, i, gh, r), 64, gh, c))
    for i in range(256):
        r = vemo.gen_r()
        c, t = vemo.commit(i, r, gh), pbsk.to_token(r)
        consistency_items.append((vemo.consistency_proof_verify, vemo.consistency_proof(i, r, gh, c, t, pk), gh, c, t, pk))

    rows = []

    # Threads: each thread verifies the same 32 range proofs of 64 bits.
    per_thread = range_items[:32]
    one = best_seconds(on_threads(1, one_by_one(per_thread)))
    two = best_seconds(on_threads(2, one_by_one(per_thread)))
    rows.append(("range_proof_single_verify (64 bits), 1 thread", one / 32, None))
    rows.append(("range_proof_single_verify (64 bits), 2 threads", two / 64, f"{2 * one / two:.2f}x throughput"))

    for label, items in [("64 range proofs (64 bits)", range_items), ("256 consistency proofs", consistency_items)]:
        n = len(items)
        single = best_seconds(one_by_one(items))
        rows.append((f"{label}: one by one", single / n, None))
        for threads in (1, None):
            def run(items=items, threads=threads):
                batch = vemo_batch.Batch()
                for fn, *args in items:
                    batch.add(fn, *args)
                assert all(batch.verify(threads=threads))

            t = best_seconds(run)
            name = "all cores" if threads is None else f"{threads} thread"
            rows.append((f"{label}: batch, {name}", t / n, f"{single / t:.2f}x throughput"))

    for label, item in [("range proof (64 bits)", range_items[0]), ("consistency proof", consistency_items[0])]:
        single = best_seconds(one_by_one([item] * 20)) / 20
        batched = best_seconds(lambda item=item: [batch_of([item])() for _ in range(20)]) / 20
        rows.append((f"batch of 1 {label}", batched, f"{batched / single:.2f}x the one-by-one call"))

    rows.append(("ghvec(64), first call in a fresh process", first_ghvec_seconds(), None))
    return rows


def main():
    rows = measure()
    width = max(len(r[0]) for r in rows)
    print(f"\nthroughput ({os.cpu_count()} cores; wall time per proof; {lanes_text()})")
    for label, seconds, note in rows:
        print(f"{label:<{width}}  {seconds * 1e6:10.1f} us" + (f"   {note}" if note else ""))


def cpu_flags():
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("flags"):
                return set(line.split(":", 1)[1].split())
    except OSError:
        pass
    return set()


def lanes_text():
    """The lane path this process takes: the library checks CPUID and the
    saved register state; Linux lists the AVX-512 flags only when it saves
    that state, so the flags tell the same."""
    has = {"avx512f", "avx512vl", "avx512ifma"} <= cpu_flags()
    mode = os.environ.get("VEMO_LANES", "")
    if mode == "portable":
        chosen = "portable lanes"
    elif mode in ("", "ifma"):
        chosen = "IFMA lanes" if has else "no lanes (no AVX-512 IFMA)"
    else:
        chosen = "no lanes"
    return f"VEMO_LANES={mode or 'unset'}: {chosen}; CPU {'has' if has else 'lacks'} avx512f/vl/ifma"


if __name__ == "__main__":
    main()
    if "VEMO_LANES" not in os.environ:
        sys.stdout.flush()
        subprocess.run([sys.executable, __file__], env={**os.environ, "VEMO_LANES": "off"}, check=True)
