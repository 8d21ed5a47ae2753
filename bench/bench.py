"""Prints the time per call of the module's main operations.

Run with `make bench`. Each section appends rows to CASES; the C++ core
figures come from the core_bench binary built beside the extension.
"""
import os
import pathlib
import subprocess
import sys
import timeit

import vemo

CASES = []  # (label, callable, number of calls)


def case(label, number=200):
    def register(fn):
        CASES.append((label, fn, number))
        return fn

    return register


gh = vemo.gen_GH()
r = vemo.gen_r()
c = vemo.commit(5, r, gh)
pbsk = vemo.gen_pb_sk(gh)
point_text = c.get

# ---- commitments, keys and tokens ----
case("commit")(lambda: vemo.commit(5, r, gh))
case("gen_pb_sk")(lambda: vemo.gen_pb_sk(gh))
case("from_str (point text)")(lambda: vemo.from_str(point_text))
case("Commit.get")(lambda: c.get)
case("add")(lambda: vemo.add(c, c))


def run_python():
    width = max(len(label) for label, _, _ in CASES)
    print(f"{'operation':<{width}}  time per call")
    for label, fn, number in CASES:
        fn()  # warm up (derivations cached on first use)
        best = min(timeit.repeat(fn, number=number, repeat=3)) / number
        print(f"{label:<{width}}  {best * 1e6:10.1f} us")


def run_cpp():
    build = pathlib.Path(os.environ.get("VEMO_BUILD", pathlib.Path(__file__).resolve().parent.parent / "build/dev"))
    exe = build / "bench" / "core_bench"
    if exe.exists():
        print()
        sys.stdout.flush()
        subprocess.run([str(exe)], check=True)
    else:
        print(f"\n(core_bench not built at {exe})")


if __name__ == "__main__":
    run_python()
    run_cpp()
