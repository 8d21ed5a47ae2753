"""Every python block of docs/guide.md and of the README runs, in order, in one
namespace per document, so neither can drift from the module. A block preceded by the line
`<!-- requires NAME -->` runs only when the module NAME can be imported. The
guide's code also passes mypy --strict with the stubs of stubs/."""
import importlib.util
import os
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
GUIDE = ROOT / "docs" / "guide.md"
REQUIRES = re.compile(r"<!-- requires (\w+) -->")


def blocks(text):
    """(first line number, code, required module or None) of each python block."""
    out = []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        if lines[i].strip() == "```python":
            marker = REQUIRES.fullmatch(lines[i - 1].strip()) if i else None
            end = lines.index("```", i + 1)
            out.append((i + 2, "\n".join(lines[i + 1:end]), marker.group(1) if marker else None))
            i = end
        i += 1
    return out


def available(module):
    return importlib.util.find_spec(module) is not None


def run_document(path):
    namespace = {"__name__": path.stem}
    ran = 0
    for line, code, needs in blocks(path.read_text()):
        if needs and not available(needs):
            continue
        # Leading blank lines make tracebacks point at the document's own lines.
        exec(compile("\n" * (line - 1) + code, str(path), "exec"), namespace)
        ran += 1
    assert ran > 0, f"{path} has no python block"


def test_readme_blocks_run():
    run_document(ROOT / "README.md")


def test_guide_blocks_run_in_order(capfd):
    run_document(GUIDE)
    out = capfd.readouterr().out
    assert "OverflowError: out of range integral type conversion attempted" in out
    assert "rejected: called `Result::unwrap()` on an `Err` value" in out


def test_only_the_batch_module_may_hold_blocks_back():
    """A misspelt marker would skip its block for ever."""
    assert {needs for _, _, needs in blocks(GUIDE.read_text()) if needs} <= {"vemo_batch"}


def test_guide_code_passes_strict_type_checking(tmp_path):
    """Blocks held back for a missing module are left out here too; a module
    that is present brings its own stubs on its import path."""
    found = [(code, needs) for _, code, needs in blocks(GUIDE.read_text()) if not needs or available(needs)]
    (tmp_path / "guide_code.py").write_text("\n\n".join(code for code, _ in found))
    # The type checker finds a stub package by its import name.
    (tmp_path / "stubs").mkdir()
    (tmp_path / "stubs" / "vemo").symlink_to(ROOT / "stubs" / "vemo-stubs")
    paths = [str(tmp_path / "stubs")]
    paths += sorted({str(pathlib.Path(importlib.util.find_spec(n).origin).parent.parent) for _, n in found if n})
    out = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "guide_code.py"],
        capture_output=True, text=True, cwd=tmp_path,
        env=dict(os.environ, MYPYPATH=os.pathsep.join(paths)),
    )
    assert out.returncode == 0, out.stdout + out.stderr


def test_ledger_doc_blocks_run(tmp_path, monkeypatch):
    """docs/ledger.md's example writes its ledger into the working folder."""
    monkeypatch.chdir(tmp_path)
    run_document(ROOT / "docs" / "ledger.md")
    assert (tmp_path / "l.invalid.json").exists()
