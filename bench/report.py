"""Writes docs/benchmarks.md and docs/benchmarks.png from one benchmark run.

Run with `make bench-report`. The Python rows are bench.py's operations,
timed here in CPU time of the calling thread (best of several repeats, so
other work on the machine weighs less); the C++ rows come from core_bench's
JSON output (Google Benchmark, CPU time, minimum over repetitions).
"""
import datetime
import json
import os
import pathlib
import platform
import subprocess
import sys
import time
import timeit

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))

import bench  # noqa: E402  (builds the inputs and fills bench.CASES)


def python_rows(repeat=5, passes=2):
    """Best time per call of each case. The cases are swept `passes` times,
    so that a burst of load elsewhere does not spoil all repeats of one."""
    best = {}
    for _ in range(passes):
        for label, fn, number in bench.CASES:
            fn()  # warm up (derivations and tables cached on first use)
            t = min(timeit.repeat(fn, number=number, repeat=repeat, timer=time.thread_time)) / number
            best[label] = min(best.get(label, t), t)
    return [(label, best[label] * 1e9) for label, _, _ in bench.CASES]


def cpp_rows(build):
    exe = build / "bench" / "core_bench"
    out = subprocess.run([str(exe), "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=false"],
                         check=True, capture_output=True, text=True).stdout
    data = json.loads(out)
    best = {}
    order = []
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            continue  # aggregates, and what this machine cannot run (the IFMA layer without IFMA)
        name = b["run_name"]
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b["time_unit"]]
        ns = b["cpu_time"] * scale
        if name not in best:
            order.append(name)
            best[name] = ns
        best[name] = min(best[name], ns)
    def label(name):
        if "layer)" in name:  # the lane rows: the layer is in the name, the argument only picks it
            return name.split("/")[0]
        return name.replace("/", ", ") + (" points" if "multi-scalar" in name else "")

    return [(label(name), best[name]) for name in order]


def fmt(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.1f} µs"
    return f"{ns:.1f} ns"


def machine():
    model = platform.processor() or platform.machine()
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return f"{model}, {os.cpu_count()} logical cores, {platform.system()} {platform.release()}"


def compiler(build):
    """The C++ compiler meson configured the build with, and the build type."""
    name = "unknown compiler"
    try:
        for line in (build / "meson-logs" / "meson-log.txt").read_text(errors="replace").splitlines():
            if line.startswith("C++ compiler for the host machine:"):
                name = line.split(":", 1)[1].strip()
                break
        options = json.loads((build / "meson-info" / "intro-buildoptions.json").read_text())
        buildtype = next(o["value"] for o in options if o["name"] == "buildtype")
        return f"{name}, {buildtype} build"
    except (OSError, ValueError, StopIteration):
        return name


def write_markdown(path, py, cpp, build, when, load):
    lines = [
        "# Benchmarks",
        "",
        "Written by `make bench-report`. CPU time per call on one thread, best of repeated runs.",
        "",
        f"- Machine: {machine()}",
        f"- Compiler: {compiler(build)}; Python {platform.python_version()}",
        f"- Date: {when:%Y-%m-%d %H:%M} UTC; load average at the start {load:.1f} (other work on the machine"
        " slows every figure; CPU time keeps most of it out)",
        "",
        "![time per call by operation](benchmarks.png)",
        "",
        "## From Python",
        "",
        "| Operation | Time per call |",
        "|---|---|",
    ]
    lines += [f"| `{label}` | {fmt(ns)} |" for label, ns in py]
    lines += ["", "## Core primitives (C++, Google Benchmark)", "", "| Operation | Time per call |", "|---|---|"]
    lines += [f"| {label} | {fmt(ns)} |" for label, ns in cpp]
    path.write_text("\n".join(lines) + "\n")


def write_chart(path, py, cpp, when):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    rows = [(f"{label}", ns / 1e3, "tab:blue") for label, ns in py] + \
           [(f"C++: {label}", ns / 1e3, "tab:orange") for label, ns in cpp]
    fig, ax = plt.subplots(figsize=(10, 0.26 * len(rows) + 1.5))
    ys = range(len(rows))
    ax.barh(list(ys), [r[1] for r in rows], color=[r[2] for r in rows])
    ax.set_yticks(list(ys))
    ax.set_yticklabels([r[0] for r in rows], fontsize=7)
    ax.set_ylim(len(rows) - 0.5, -0.5)  # first row on top, no empty margin
    from matplotlib.patches import Patch

    ax.legend(handles=[Patch(color="tab:blue", label="from Python"), Patch(color="tab:orange", label="C++ core")],
              loc="lower right", fontsize=8)
    ax.set_xscale("log")
    ax.set_xlabel("time per call (µs, log scale)")
    ax.set_title(f"vemo: CPU time per call by operation ({when:%Y-%m-%d})", fontsize=10)
    ax.grid(axis="x", which="both", alpha=0.3)
    for y, (_, us, _) in zip(ys, rows):
        ax.text(us, y, f" {fmt(us * 1e3)}", va="center", fontsize=6)
    fig.tight_layout()
    fig.savefig(path, dpi=110)


def main():
    build = pathlib.Path(os.environ.get("VEMO_BUILD", ROOT / "build/dev"))
    docs = ROOT / "docs"
    when = datetime.datetime.now(datetime.timezone.utc)
    load = os.getloadavg()[0]
    py = python_rows()
    cpp = cpp_rows(build)
    write_markdown(docs / "benchmarks.md", py, cpp, build, when, load)
    write_chart(docs / "benchmarks.png", py, cpp, when)
    print(f"wrote {docs / 'benchmarks.md'} and {docs / 'benchmarks.png'}")


if __name__ == "__main__":
    main()
