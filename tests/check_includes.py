#!/usr/bin/env python3
"""The include graph of the core has no cycle, and the core stays free of Python.

A unit is a header and the source file beside it (curve/point.hpp and
curve/point.cpp): a unit depends on every unit either file includes. A cycle
between units (A's header includes B while B's source includes A) ties two
layers together even when no header includes itself, so the check runs on
units, which also covers cycles between headers alone.

Usage: check_includes.py [SOURCE_ROOT]   (exit status 1 and the cycle on failure)
"""
from __future__ import annotations

import re
import sys
from pathlib import Path

CORE_DIRS = ("curve", "bulletproofs/src/proofs", "strict")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def unit_of(path: Path, root: Path) -> str:
    return path.relative_to(root).with_suffix("").as_posix()


def resolve(name: str, including: Path, root: Path) -> Path | None:
    # As the compiler searches: beside the including file, then the root.
    for base in (including.parent, root):
        candidate = (base / name).resolve()
        if candidate.is_file():
            return candidate
    return None


def core_graph(root: Path) -> tuple[dict[str, set[str]], list[str]]:
    graph: dict[str, set[str]] = {}
    faults: list[str] = []
    files = [p.resolve() for d in CORE_DIRS for p in sorted((root / d).rglob("*")) if p.suffix in (".hpp", ".cpp")]
    core = {unit_of(p, root) for p in files}
    for path in files:
        unit = unit_of(path, root)
        deps = graph.setdefault(unit, set())
        text = path.read_text(encoding="utf-8")
        if re.search(r'^\s*#\s*include\s*[<"]Python\.h[>"]', text, re.MULTILINE):
            faults.append(f"{path.relative_to(root)} includes Python.h")
        for name in INCLUDE.findall(text):
            target = resolve(name, path, root)
            if target is None:
                faults.append(f"{path.relative_to(root)}: cannot find \"{name}\"")
                continue
            dep = unit_of(target, root)
            if dep.startswith("src/"):
                faults.append(f"{path.relative_to(root)} includes {dep} from src/")
            if dep in core and dep != unit:
                deps.add(dep)
    return graph, faults


def find_cycle(graph: dict[str, set[str]]) -> list[str] | None:
    state: dict[str, int] = {}  # 1 on the current path, 2 finished
    path: list[str] = []

    def visit(u: str) -> list[str] | None:
        state[u] = 1
        path.append(u)
        for v in sorted(graph.get(u, ())):
            if state.get(v) == 1:
                return path[path.index(v):] + [v]
            if v not in state:
                found = visit(v)
                if found:
                    return found
        path.pop()
        state[u] = 2
        return None

    for u in sorted(graph):
        if u not in state:
            found = visit(u)
            if found:
                return found
    return None


def main() -> int:
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent).resolve()
    graph, faults = core_graph(root)
    cycle = find_cycle(graph)
    if cycle:
        faults.append("include cycle between units: " + " -> ".join(cycle))
    for f in faults:
        print(f, file=sys.stderr)
    if not faults:
        edges = sum(len(d) for d in graph.values())
        print(f"{len(graph)} units, {edges} include edges, no cycle")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
