"""The type stubs in stubs/ against the module itself.

The module's functions carry no signature, so the parameters are read from
the module's own messages: a call with no arguments names every missing
parameter in order, and a call whose argument at one place is an object of no
accepted type names the kind that place converts to. The stub must list the
same members, with the same parameter names, in the same order, with the
annotation that matches each kind.
"""
import ast
import pathlib
import os
import re
import shutil
import subprocess
import sys

import pytest

import vemo

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "stubs" / "vemo-stubs" / "__init__.pyi"

# What each conversion kind of the module is written as in the stub.
ANNOTATION_OF_KIND = {"integer": "int", "PyString": "str", "Sequence": "Sequence[int]"}


class Junk:
    """An argument that no conversion accepts."""


def runtime_params(fn):
    """The parameter names of a function or bound method, from its messages."""
    try:
        fn(_probe=0)
    except TypeError as e:
        if str(e).endswith("takes no keyword arguments"):
            return []
    with pytest.raises(TypeError) as info:
        fn()
    message = str(info.value)
    assert "required positional argument" in message, message
    return re.findall(r"'([^']+)'", message.split(": ", 1)[1])


def runtime_kinds(fn, params, sample):
    """The conversion kind of each parameter: 'integer', 'PyString',
    'Sequence' or a class name. Arguments before the probed place are valid
    samples and the probed one is Junk, so conversion fails there and the
    call does no work."""
    kinds = []
    for i, name in enumerate(params):
        args = [sample[k] for k in kinds] + [Junk()] * (len(params) - i)
        with pytest.raises(TypeError) as info:
            fn(*args)
        message = str(info.value)
        prefix = f"argument '{name}': 'Junk' object cannot be "
        assert message.startswith(prefix), message
        rest = message[len(prefix):]
        m = re.fullmatch(r"converted to '(\w+)'", rest)
        kinds.append(m.group(1) if m else "integer")
        assert m or rest == "interpreted as an integer", message
    return kinds


@pytest.fixture(scope="module")
def sample():
    """One valid argument of each conversion kind."""
    gh = vemo.gen_GH()
    r = vemo.gen_r()
    return {
        "integer": 1,
        "PyString": "",
        "Sequence": bytes(32),
        "Commit": vemo.commit(1, r, gh),
        "rand_r": r,
        "GH": gh,
        "PbSk": vemo.gen_pb_sk(gh),
        "Token": vemo.gen_pb_sk(gh).to_token(r),
        "hx": vemo.h_to_x(gh, r),
    }


def stub_signature(node):
    """(names, annotations) of a stub def, without self."""
    args = node.args
    assert not (args.posonlyargs or args.vararg or args.kwonlyargs or args.kwarg or args.defaults), node.name
    params = args.args[1:] if args.args and args.args[0].arg == "self" else args.args
    return [a.arg for a in params], [ast.unparse(a.annotation) if a.annotation else None for a in params]


def stub_members():
    """Everything the stub declares: functions as ('function', sig), classes
    as ('class', {member: ('property', None) or ('method', sig)})."""
    tree = ast.parse(STUB.read_text(), str(STUB))
    out = {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            out[node.name] = ("function", stub_signature(node))
        elif isinstance(node, ast.ClassDef):
            members = {}
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    is_property = any(ast.unparse(d) == "property" for d in item.decorator_list)
                    members[item.name] = ("property", None) if is_property else ("method", stub_signature(item))
            out[node.name] = ("class", members)
    return out


STUBBED = stub_members()


def test_stub_declares_every_name_of_the_module_and_no_other():
    public = {n for n in STUBBED}
    assert sorted(public) == sorted(vemo.__all__)
    tree = ast.parse(STUB.read_text())
    (all_node,) = [n for n in tree.body if isinstance(n, ast.Assign) and n.targets[0].id == "__all__"]
    assert ast.literal_eval(all_node.value) == vemo.__all__


def check_signature(fn, where, stub_sig, sample):
    names, annotations = stub_sig
    params = runtime_params(fn)
    assert names == params, f"{where}: stub parameters {names}, module parameters {params}"
    kinds = runtime_kinds(fn, params, sample)
    expected = [ANNOTATION_OF_KIND.get(k, k) for k in kinds]
    assert annotations == expected, f"{where}: stub annotations {annotations}, module converts to {expected}"


FUNCTIONS = [n for n in vemo.__all__ if not isinstance(getattr(vemo, n), type)]
CLASSES = [n for n in vemo.__all__ if isinstance(getattr(vemo, n), type)]


@pytest.mark.parametrize("name", FUNCTIONS)
def test_function_stub_matches_the_module(name, sample):
    kind, sig = STUBBED.get(name, (None, None))
    assert kind == "function", f"{name} has no function stub"
    check_signature(getattr(vemo, name), name, sig, sample)


@pytest.mark.parametrize("name", CLASSES)
def test_class_stub_matches_the_module(name, sample):
    kind, members = STUBBED.get(name, (None, None))
    assert kind == "class", f"{name} has no class stub"
    cls = getattr(vemo, name)
    runtime = {m: v for m, v in vars(cls).items() if not m.startswith("__")}
    assert sorted(members) == sorted(runtime)
    instance = sample[name]
    for member, descriptor in runtime.items():
        where = f"{name}.{member}"
        is_property = type(descriptor).__name__ == "getset_descriptor"
        assert members[member][0] == ("property" if is_property else "method"), where
        if not is_property:
            check_signature(getattr(instance, member), where, members[member][1], sample)


def test_parameter_probe_notices_a_wrong_name(sample):
    """The probe itself: a stub signature with one renamed parameter fails."""
    names, annotations = STUBBED["commit"][1]
    with pytest.raises(AssertionError, match="stub parameters"):
        check_signature(vemo.commit, "commit", (["value"] + names[1:], annotations), sample)
    with pytest.raises(AssertionError, match="stub annotations"):
        check_signature(vemo.commit, "commit", (names, ["str"] + annotations[1:]), sample)


def test_stub_is_installable_and_gives_the_types(tmp_path):
    """pip installs stubs/ offline, and a type checker run with that
    environment's interpreter finds the types."""
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
    # Build from a copy so the source tree stays free of build leftovers.
    shutil.copytree(ROOT / "stubs", tmp_path / "stubs")
    subprocess.run(
        [venv / "bin" / "pip", "install", "-q", "--no-index", "--no-build-isolation", "./stubs"],
        check=True,
        cwd=tmp_path,
    )
    probe = tmp_path / "probe.py"
    probe.write_text("import vemo\nreveal_type(vemo.get_brut_v)\nvemo.commit('1', vemo.gen_r(), vemo.gen_GH())\n")
    out = subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", "--python-executable", venv / "bin" / "python", probe],
        capture_output=True,
        text=True,
        cwd=tmp_path,
        env={k: v for k, v in os.environ.items() if k != "MYPYPATH"},
    ).stdout
    assert 'def (c: vemo.Commit, t: vemo.Token, gh: vemo.GH, pbsk: vemo.PbSk, range: builtins.int) -> builtins.int' in out
    assert 'Argument 1 to "commit" has incompatible type "str"; expected "int"' in out
