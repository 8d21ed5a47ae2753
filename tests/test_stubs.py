"""The type stubs in stubs/ against the module itself.

The module's functions carry no signature, so the parameters are read from
the module's own messages: a call with no arguments names every missing
parameter in order, and a call whose argument at one place is an object of no
accepted type names the kind that place converts to. The stub must list the
same members, with the same parameter names, in the same order, with the
annotation that matches each kind; and every function, method and property,
called once with valid arguments, returns the type its stub names.
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
    """(names, annotations, result annotation) of a stub def, without self."""
    args = node.args
    assert not (args.posonlyargs or args.vararg or args.kwonlyargs or args.kwarg or args.defaults), node.name
    params = args.args[1:] if args.args and args.args[0].arg == "self" else args.args
    annotations = [ast.unparse(a.annotation) if a.annotation else None for a in params]
    return [a.arg for a in params], annotations, ast.unparse(node.returns) if node.returns else None


def stub_members():
    """Everything the stub declares: functions as ('function', sig), classes
    as ('class', {member: ('property' or 'method', sig)})."""
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
                    members[item.name] = ("property" if is_property else "method", stub_signature(item))
            out[node.name] = ("class", members)
    return out


STUBBED = stub_members()


def test_stub_declares_every_name_of_the_module_and_no_other():
    assert sorted(STUBBED) == sorted(vemo.__all__)
    tree = ast.parse(STUB.read_text())
    (all_node,) = [n for n in tree.body if isinstance(n, ast.Assign) and n.targets[0].id == "__all__"]
    assert ast.literal_eval(all_node.value) == vemo.__all__


def check_signature(fn, where, stub_sig, sample):
    names, annotations, _ = stub_sig
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


def matches(value, annotation):
    """Whether a result has the type a stub annotation names."""
    if annotation == "list[int]":
        return type(value) is list and all(type(v) is int for v in value)
    expected = {"str": str, "bool": bool, "int": int}.get(annotation) or getattr(vemo, annotation)
    return type(value) is expected


def one_call_each():
    """A valid call of every function, on one set of consistent values."""
    gh = vemo.gen_GH()
    r = vemo.gen_r()
    key = vemo.gen_pb_sk(gh)
    c = vemo.commit(5, r, gh)
    token = key.to_token(r)
    pk = key.get_pk()
    h_sumR = vemo.p_to_x(vemo.from_str(gh.h), r)  # token = sk·h_sumR
    other = vemo.gen_new_GH(vemo.g_to_x(gh, 7), vemo.from_str(gh.h))
    one, two = format(1, "064x"), format(2, "064x")
    return {
        "range_proof_test": (8, 5),
        "commit": (5, r, gh),
        "print_commit": (c,),
        "add": (c, c),
        "sub": (c, c),
        "add_value_commits": (c.get, c.get),
        "sub_value_commits": (c.get, c.get),
        "from_str": (c.get,),
        "to_token_from_str": (token.get,),
        "gen_GH": (),
        "gen_r": (),
        "range_proof_single": (8, 5, gh, r),
        "gen_pb_sk": (gh,),
        "regen_pb_sk": (gh, r),
        "to_scalar_from_str": (r.get,),
        "print_token": (token,),
        "add_token": (token, token),
        "sub_token": (token, token),
        "sub_commit_token": (c, token),
        "add_commit_token": (c, token),
        "h_to_x": (gh, r),
        "g_to_x": (gh, 5),
        "g_to_r": (gh, r),
        "p_to_x": (c, r),
        "sigma_eq_dlog_proof": (token, key, gh, h_sumR),
        "sigma_eq_dlog_proof_sha256": (token, key, gh, h_sumR),
        "to_token_from_pk": (pk, r),
        "sigma_eq_dlog_verify": (vemo.sigma_eq_dlog_proof(token, key, gh, h_sumR), gh, h_sumR, token),
        "sigma_eq_dlog_verify_sha256": (vemo.sigma_eq_dlog_proof_sha256(token, key, gh, h_sumR), gh, h_sumR, token),
        "range_proof_single_verify": (vemo.range_proof_single(8, 5, gh, r), 8, gh, c),
        "consistency_proof": (5, r, gh, c, token, pk),
        "consistency_proof_verify": (vemo.consistency_proof(5, r, gh, c, token, pk), gh, c, token, pk),
        "sigma_dlog_proof_explicit": (token, key, h_sumR),
        "sigma_dlog_proof_explicit_verify": (vemo.sigma_dlog_proof_explicit(token, key, h_sumR), h_sumR, token),
        "sigma_dlog_proof_explicit_sha256": (token, key, h_sumR),
        "sigma_dlog_proof_explicit_verify_sha256":
            (vemo.sigma_dlog_proof_explicit_sha256(token, key, h_sumR), h_sumR, token),
        "get_brut_v": (c, token, gh, key, 10),
        "hash_test1": (c,),
        "hash_test2": (c, c),
        "hash_test3": (c, c, c),
        "curve_name": (),
        "ghvec": (1,),
        "gen_new_GH": (c, c),
        "sigma_eq_dlog_same_secret": (5, gh, other),
        "sigma_eq_dlog_verify_same_secret": (vemo.sigma_eq_dlog_same_secret(5, gh, other), gh, other),
        "sigma_eq_dlog_ped_proof": (5, gh, gh, pk),
        "sigma_eq_dlog_ped_verify": (vemo.sigma_eq_dlog_ped_proof(5, gh, gh, pk), gh, gh),
        "consistency_proof_with_witness": (5, r, gh, c, token, pk),
        "sigma_eq_dlog_ped_proof_with_witness": (5, gh, gh, pk),
        "sigma_dlog_proof_explicit_sha256_with_witness": (token, key, h_sumR),
        "from_coords": (one, two),
        "get_y_coord": (c,),
    }


def test_function_results_have_the_stub_types():
    """Each function, called once with valid arguments, returns what its stub
    says. The verifying calls get true proofs, so a bool that is True shows
    the arguments were the intended ones."""
    calls = one_call_each()
    assert sorted(calls) == sorted(FUNCTIONS)
    for name, args in calls.items():
        result = getattr(vemo, name)(*args)
        annotation = STUBBED[name][1][2]
        assert matches(result, annotation), f"{name} returned {type(result).__name__}, stub says {annotation}"
        if name.endswith(("verify", "verify_sha256", "verify_same_secret")):
            assert result is True, name


@pytest.mark.parametrize("name", CLASSES)
def test_member_results_have_the_stub_types(name, sample):
    instance = sample[name]
    for member, (kind, (_, annotations, annotation)) in STUBBED[name][1].items():
        if kind == "property":
            result = getattr(instance, member)
        else:
            kind_of = {a: k for k, a in ANNOTATION_OF_KIND.items()}
            result = getattr(instance, member)(*[sample[kind_of.get(a, a)] for a in annotations])
        assert matches(result, annotation), f"{name}.{member} returned {type(result).__name__}, stub says {annotation}"


def test_parameter_probe_notices_a_wrong_name(sample):
    """The probe itself: a stub signature with one renamed parameter fails."""
    names, annotations, result = STUBBED["commit"][1]
    with pytest.raises(AssertionError, match="stub parameters"):
        check_signature(vemo.commit, "commit", (["value"] + names[1:], annotations, result), sample)
    with pytest.raises(AssertionError, match="stub annotations"):
        check_signature(vemo.commit, "commit", (names, ["str"] + annotations[1:], result), sample)


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
