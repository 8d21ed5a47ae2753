"""Writes docs/benchmarks.md and docs/benchmarks.png from one benchmark run.

Run with `make bench-report`. The Python rows are bench.py's operations,
timed here in CPU time of the calling thread (best of several repeats, so
other work on the machine weighs less); the C++ rows come from core_bench's
JSON output (Google Benchmark, CPU time, minimum over repetitions); the
batch rows are bench_throughput.py's (wall time per proof).

Every row is measured twice: on the lane path this machine takes by default
(docs/lanes.md) and with VEMO_LANES=off, the scalar paths a machine without
AVX-512 IFMA runs. The lane choice is made once per process, so the second
set comes from this script run again as a child (`--rows`, which prints the
rows as JSON). Where the shared native peer bench is found (PEER_BENCH, or
peer-bench/run.sh in the folder beside the project's), it runs once in the
same sitting and its comparable figures stand beside ours.
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
import bench_throughput  # noqa: E402

# Our rows and the peer bench's keys for the same work. Both sides take
# affine points in; "+ affine" rows bring the result back to affine too.
PEER_OF_CPP = {
    "field multiplication (Fp)": "fp_mul",
    "field squaring (Fp)": "fp_sqr",
    "field inversion, variable time (Fp)": "fp_inv",
    "scalar multiplication, constant time": "g1_mul_ct_affine",
    "scalar multiplication, variable time": "g1_mul_var_affine",
    "multi-scalar multiplication, variable time, 128 points": "msm128",
    "point decompression": "g1_deserialize",
}
PEER_OF_PYTHON = {
    "commit": "pedersen_mulvec2_affine",
    "from_str (point text)": "g1_deserialize",
    "p_to_x": "g1_mul_ct_affine",
}


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


def cpp_rows(build, repetitions=3):
    exe = build / "bench" / "core_bench"
    out = subprocess.run([str(exe), "--benchmark_format=json", f"--benchmark_repetitions={repetitions}",
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
    if ns is None:
        return "—"
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


def cpu_flags_text():
    wide = sorted(f for f in bench_throughput.cpu_flags() if f.startswith("avx512") or f in ("adx", "bmi2"))
    return " ".join(wide) or "none of adx, bmi2, avx512*"


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


def peer_figures():
    """The native peer's figures (ns per call, best of its batches), or None
    when its bench is not there or fails."""
    script = pathlib.Path(os.environ.get("PEER_BENCH", ROOT.parent / "shared" / "peer-bench" / "run.sh"))
    if not script.exists():
        return None
    run = subprocess.run([str(script)], capture_output=True, text=True)
    for line in run.stdout.splitlines():
        if line.startswith("@@MCL_NATIVE "):
            data = json.loads(line.split(" ", 1)[1])
            return {"ns": data["min_ns"], "jit": data.get("jit"), "cpu": data.get("cpu")}
    print(f"peer bench gave no figures (exit status {run.returncode}); the peer column is left out", file=sys.stderr)
    return None


def best_of(a, b):
    """Row sets a and b (either may be None) merged, each row its lower time."""
    if a is None:
        return b
    return {part: [(label, min(ns, dict(b[part]).get(label, ns))) for label, ns in rows]
            for part, rows in a.items()}


def best_peer(a, b):
    if a is None or b is None:
        return a or b
    return {**a, "ns": {k: min(v, b["ns"].get(k, v)) for k, v in a["ns"].items()}}


def rows_here(build, quick=False):
    """Every row of this process's lane path, as plain data."""
    py = python_rows(repeat=2, passes=1) if quick else python_rows()
    cpp = cpp_rows(build, repetitions=1 if quick else 3)
    batch = [(label, seconds * 1e9) for label, seconds, _ in bench_throughput.measure()]
    return {"python": py, "cpp": cpp, "batch": batch}


def rows_off(quick):
    """The same rows with the lane engine off, from a child process."""
    env = {**os.environ, "VEMO_LANES": "off"}
    args = [sys.executable, __file__, "--rows"] + (["--quick"] if quick else [])
    out = subprocess.run(args, env=env, check=True, capture_output=True, text=True).stdout
    return {k: [tuple(r) for r in v] for k, v in json.loads(out).items()}


def table(title, here, off, peer_keys, peer, lanes_label):
    off_of = dict(off)
    head = f"| Operation | {lanes_label} | lanes off |"
    rule = "|---|---|---|"
    if peer:
        head += " native peer | vemo (" + lanes_label + ") / peer |"
        rule += "---|---|"
    lines = ["", f"## {title}", "", head, rule]
    for label, ns in here:
        row = f"| {label} | {fmt(ns)} | {fmt(off_of.get(label))} |"
        if peer:
            key = peer_keys.get(label)
            theirs = peer["ns"].get(key) if key else None
            row += f" {fmt(theirs)} | " + (f"{ns / theirs:.2f}×" if theirs else "") + " |"
        lines.append(row)
    return lines


def lanes_label():
    has = {"avx512f", "avx512vl", "avx512ifma"} <= bench_throughput.cpu_flags()
    mode = os.environ.get("VEMO_LANES", "")
    if mode == "portable":
        return "portable lanes"
    if mode in ("", "ifma") and has:
        return "IFMA lanes"
    return "no lanes"


def write_markdown(path, here, off, peer, build, when, load):
    label = lanes_label()
    lines = [
        "# Benchmarks",
        "",
        "Written by `make bench-report`. CPU time per call on one thread, best of repeated runs"
        " (the batch rows: wall time per proof).",
        "",
        f"- Machine: {machine()}",
        f"- CPU flags that pick code paths: {cpu_flags_text()}",
        f"- Compiler: {compiler(build)}; Python {platform.python_version()}",
        f"- Date: {when:%Y-%m-%d %H:%M} UTC; load average at the start {load:.1f} (other work on the machine"
        " slows every figure; CPU time keeps most of it out)",
        f"- Paths: \"{label}\" is what this machine runs by default (docs/lanes.md); \"lanes off\" is"
        " `VEMO_LANES=off`, the scalar code a machine without AVX-512 IFMA runs.",
        "- Each figure is the best of the rounds in which the two paths (and the peer) were measured in"
        " turns. Rows whose code does not depend on the lanes (field arithmetic, single"
        " multiplications) differ between the two columns by the machine's drift only.",
    ]
    if peer:
        lines += [
            "- Native peer: a BN254 library in C++ with a run-time code generator"
            + ("" if peer.get("jit") else " (its generic build: the code generator failed)")
            + ", run by the shared peer bench in turns with ours; best of its batches, CPU time."
            " Its map to the curve is another (no row here compares it).",
        ]
    lines += ["", "![time per call by operation](benchmarks.png)"]
    lines += table("From Python", here["python"], off["python"], PEER_OF_PYTHON, peer, label)
    lines += table("Core primitives (C++, Google Benchmark)", here["cpp"], off["cpp"], PEER_OF_CPP, peer, label)
    lines += table("Batch verification (bench_throughput.py; 2 cores)", here["batch"], off["batch"], {}, None, label)
    path.write_text("\n".join(lines) + "\n")


def write_chart(path, here, off, when):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch

    off_py, off_cpp = dict(off["python"]), dict(off["cpp"])
    rows = [(label, ns, off_py.get(label)) for label, ns in here["python"]] + \
           [(f"C++: {label}", ns, off_cpp.get(label)) for label, ns in here["cpp"]]
    fig, ax = plt.subplots(figsize=(10, 0.32 * len(rows) + 1.5))
    ys = list(range(len(rows)))
    ax.barh([y - 0.2 for y in ys], [r[1] / 1e3 for r in rows], height=0.4, color="tab:blue")
    ax.barh([y + 0.2 for y in ys], [(r[2] or 0) / 1e3 for r in rows], height=0.4, color="tab:gray")
    ax.set_yticks(ys)
    ax.set_yticklabels([r[0] for r in rows], fontsize=7)
    ax.set_ylim(len(rows) - 0.5, -0.5)  # first row on top, no empty margin
    ax.legend(handles=[Patch(color="tab:blue", label=lanes_label() + " (default here)"),
                       Patch(color="tab:gray", label="VEMO_LANES=off")], loc="lower right", fontsize=8)
    ax.set_xscale("log")
    ax.set_xlabel("time per call (µs, log scale)")
    ax.set_title(f"vemo: CPU time per call by operation ({when:%Y-%m-%d})", fontsize=10)
    ax.grid(axis="x", which="both", alpha=0.3)
    for y, (_, ns, _) in zip(ys, rows):
        ax.text(ns / 1e3, y - 0.2, f" {fmt(ns)}", va="center", fontsize=6)
    fig.tight_layout()
    fig.savefig(path, dpi=110)


def main():
    build = pathlib.Path(os.environ.get("VEMO_BUILD", ROOT / "build/dev"))
    # --quick: a smoke run of this script (fewer repeats, no peer), written
    # under the build folder instead of docs/.
    quick = "--quick" in sys.argv
    if "--rows" in sys.argv:
        json.dump(rows_here(build, quick), sys.stdout)
        return
    docs = build / "report-quick" if quick else ROOT / "docs"
    docs.mkdir(parents=True, exist_ok=True)
    when = datetime.datetime.now(datetime.timezone.utc)
    load = os.getloadavg()[0]
    # This kind of machine drifts in speed by a third over minutes: the two
    # paths and the peer are measured in turns, and each row keeps its best.
    rounds = 1 if quick else int(os.environ.get("REPORT_ROUNDS", "2"))
    here = off = peer = None
    for _ in range(rounds):
        here = best_of(here, rows_here(build, quick))
        off = best_of(off, rows_off(quick))
        if not quick:
            peer = best_peer(peer, peer_figures())
    write_markdown(docs / "benchmarks.md", here, off, peer, build, when, load)
    write_chart(docs / "benchmarks.png", here, off, when)
    print(f"wrote {docs / 'benchmarks.md'} and {docs / 'benchmarks.png'}")


if __name__ == "__main__":
    main()
