"""vemo_batch: every verdict equals the one-by-one call, whatever the mix of
valid, tampered, swapped, malformed and foreign-generator items; argument
errors match the verifying functions' own; the batch is reusable."""
import inspect
import json
import os
import pathlib
import re
import subprocess
import sys
import textwrap
import types

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import vemo
import vemo_batch
from helpers import other_value, outcome


@pytest.fixture(scope="module")
def w(gh):
    pbsk = vemo.gen_pb_sk(gh)
    r1, r2 = vemo.gen_r(), vemo.gen_r()
    h = vemo.from_str(gh.h)
    h_sumR = vemo.add(vemo.p_to_x(h, r1), vemo.p_to_x(h, r2))
    sum_tokens = vemo.add_token(pbsk.to_token(r1), pbsk.to_token(r2))
    other_g = vemo.g_to_x(gh, 77)
    ns = types.SimpleNamespace(
        gh=gh,
        gh2=vemo.gen_new_GH(other_g, h),
        foreign=vemo.gen_new_GH(vemo.g_to_x(gh, 5), vemo.g_to_x(gh, 6)),
        pbsk=pbsk,
        h_sumR=h_sumR,
        sum_tokens=sum_tokens,
        r=r1,
        ped_cm=vemo.commit(5, r1, gh),
        token=pbsk.to_token(r1),
        pubkey=pbsk.get_pk(),
    )
    return ns


def statements(w):
    """kind -> (proof text, verifying function, the arguments after the text,
    the same arguments over a foreign generator pair)."""
    gh, f = w.gh, w.foreign
    return {
        "dlog_sha512": (vemo.sigma_dlog_proof_explicit(w.sum_tokens, w.pbsk, w.h_sumR),
                        vemo.sigma_dlog_proof_explicit_verify, (w.h_sumR, w.sum_tokens),
                        (vemo.add(w.h_sumR, w.h_sumR), w.sum_tokens)),
        "dlog_sha256": (vemo.sigma_dlog_proof_explicit_sha256_with_witness(w.sum_tokens, w.pbsk, w.h_sumR),
                        vemo.sigma_dlog_proof_explicit_verify_sha256, (w.h_sumR, w.sum_tokens),
                        (vemo.add(w.h_sumR, w.h_sumR), w.sum_tokens)),
        "eq_sha512": (vemo.sigma_eq_dlog_proof(w.sum_tokens, w.pbsk, gh, w.h_sumR),
                      vemo.sigma_eq_dlog_verify, (gh, w.h_sumR, w.sum_tokens), (f, w.h_sumR, w.sum_tokens)),
        "eq_sha256": (vemo.sigma_eq_dlog_proof_sha256(w.sum_tokens, w.pbsk, gh, w.h_sumR),
                      vemo.sigma_eq_dlog_verify_sha256, (gh, w.h_sumR, w.sum_tokens), (f, w.h_sumR, w.sum_tokens)),
        "same_secret": (vemo.sigma_eq_dlog_same_secret(-7, gh, w.gh2),
                        vemo.sigma_eq_dlog_verify_same_secret, (gh, w.gh2), (f, w.gh2)),
        "ped": (vemo.sigma_eq_dlog_ped_proof_with_witness(9, gh, gh, w.pubkey),
                vemo.sigma_eq_dlog_ped_verify, (gh, gh), (f, gh)),
        "consistency": (vemo.consistency_proof(5, w.r, gh, w.ped_cm, w.token, w.pubkey),
                        vemo.consistency_proof_verify, (gh, w.ped_cm, w.token, w.pubkey),
                        (f, w.ped_cm, w.token, w.pubkey)),
        "range8": (vemo.range_proof_single(8, 5, gh, w.r), vemo.range_proof_single_verify, (8, gh, w.ped_cm),
                   (8, f, w.ped_cm)),
        "range16": (vemo.range_proof_single(16, 5, gh, w.r), vemo.range_proof_single_verify, (16, gh, w.ped_cm),
                    (16, gh, vemo.commit(6, w.r, gh))),
    }


def variants(text):
    """The record itself, then each member replaced, two members swapped,
    and texts that do not decode."""
    obj = json.loads(text)
    yield text
    for member, value in obj.items():
        if isinstance(value, dict) and ("point" in value or "scalar" in value):
            yield json.dumps({**obj, member: other_value(value)})
    if "inner_product_proof" in obj:
        ipa = obj["inner_product_proof"]
        yield json.dumps({**obj, "inner_product_proof": {**ipa, "L": ipa["L"][:-1]}})  # a pair missing
        yield json.dumps({**obj, "inner_product_proof": {**ipa, "a_tag": ipa["b_tag"]}})
        yield json.dumps({**obj, "inner_product_proof": {**ipa, "L": ipa["R"], "R": ipa["L"]}})
    points = [m for m, v in obj.items() if isinstance(v, dict) and "point" in v]
    if len(points) >= 2:
        a, b = points[:2]
        yield json.dumps({**obj, a: obj[b], b: obj[a]})
    yield text[: len(text) // 2]
    yield "not a record"


@pytest.fixture(scope="module")
def pool(w):
    """(fn, args, the one-by-one outcome) for every variant of every kind."""
    calls = []
    for text, fn, args, foreign in statements(w).values():
        for v in variants(text):
            calls.append((fn, (v, *args)))
        calls.append((fn, (text, *foreign)))
    return [(fn, args, outcome(lambda: fn(*args))) for fn, args in calls]


def run_batch(items, threads=None):
    batch = vemo_batch.Batch()
    for fn, args, _ in items:
        batch.add(fn, *args)
    return batch.verify(threads=threads), batch.errors


def expected(items):
    verdicts = [o is True for _, _, o in items]
    errors = [o if isinstance(o, str) else None for _, _, o in items]
    return verdicts, errors


def test_pool_has_every_outcome(pool):
    outcomes = [o for _, _, o in pool]
    assert True in outcomes and False in outcomes and any(isinstance(o, str) for o in outcomes)


def test_whole_pool_matches_one_by_one(pool):
    assert run_batch(pool) == expected(pool)


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(data=st.data())
def test_random_mixes_match_one_by_one(pool, data):
    items = data.draw(st.lists(st.sampled_from(pool), max_size=24))
    threads = data.draw(st.sampled_from([None, 1, 2, 3]))
    assert run_batch(items, threads) == expected(items)


@pytest.fixture(scope="module")
def consistency_items(w):
    gh = w.gh
    items = []
    for val in range(12):
        r = vemo.gen_r()
        cm, tk = vemo.commit(val, r, gh), w.pbsk.to_token(r)
        items.append((vemo.consistency_proof_verify, (vemo.consistency_proof(val, r, gh, cm, tk, w.pubkey), gh, cm,
                                                     tk, w.pubkey), True))
    return items


def test_the_one_invalid_item_is_found_at_every_position(w, consistency_items):
    bad_args = list(consistency_items[0][1])
    bad_args[2] = vemo.commit(99, w.r, w.gh)  # the proof is for another commitment
    bad = (vemo.consistency_proof_verify, tuple(bad_args), False)
    for pos in range(len(consistency_items) + 1):
        items = consistency_items[:pos] + [bad] + consistency_items[pos:]
        verdicts, errors = run_batch(items)
        assert verdicts == [i != pos for i in range(len(items))]
        assert errors == [None] * len(items)


@pytest.fixture(scope="module")
def range64_items(w):
    """Valid 64-bit range proofs: enough terms that a batch takes Pippenger's
    sum, with y·h and u = x_u·g from the generator pair's fixed bases."""
    gh = w.gh
    items = []
    for val in (0, 1, 77, 123456789, 2**31 - 1):
        r = vemo.gen_r()
        items.append((vemo.range_proof_single_verify, (vemo.range_proof_single(64, val, gh, r), 64, gh,
                                                       vemo.commit(val, r, gh)), True))
    return items


def test_one_bad_64_bit_range_proof_is_found_at_every_position(w, range64_items):
    r = vemo.gen_r()
    # A proof for 5 checked against a commitment to 6: refused, no error.
    bad_args = (vemo.range_proof_single(64, 5, w.gh, r), 64, w.gh, vemo.commit(6, r, w.gh))
    assert outcome(lambda: vemo.range_proof_single_verify(*bad_args)) is False
    bad = (vemo.range_proof_single_verify, bad_args, False)
    for pos in range(len(range64_items) + 1):
        items = range64_items[:pos] + [bad] + range64_items[pos:]
        for threads in (1, 2):
            verdicts, errors = run_batch(items, threads)
            assert verdicts == [i != pos for i in range(len(items))], (pos, threads)
            assert errors == [None] * len(items)


def test_thousands_of_items(w, consistency_items):
    items = consistency_items * 200
    bad = list(items[1000][1])
    bad[3] = w.token if bad[3] is not w.token else w.pbsk.to_token(vemo.gen_r())
    items[1000] = (vemo.consistency_proof_verify, tuple(bad), False)
    items[2001] = (vemo.consistency_proof_verify, ("{", *items[2001][1][1:]), None)
    verdicts, errors = run_batch(items)
    assert verdicts == [i not in (1000, 2001) for i in range(len(items))]
    assert errors[2001].startswith("called `Result::unwrap()` on an `Err` value: Error(")
    assert sum(e is not None for e in errors) == 1


def test_empty_batch():
    batch = vemo_batch.Batch()
    assert batch.verify() == [] and batch.errors == [] and len(batch) == 0


def test_batches_of_one(pool):
    for item in pool:
        assert run_batch([item]) == expected([item])


def test_verified_twice_and_items_added_later(pool):
    batch = vemo_batch.Batch()
    first = pool[:10]
    for fn, args, _ in first:
        batch.add(fn, *args)
    assert batch.verify() == expected(first)[0]
    assert batch.verify(threads=1) == expected(first)[0]
    for fn, args, _ in pool[10:20]:
        batch.add(fn, *args)
    assert len(batch) == 20
    assert (batch.verify(), batch.errors) == expected(pool[:20])
    batch.clear()
    assert len(batch) == 0 and batch.verify() == [] and batch.errors == []


def test_failing_items_write_nothing_to_stderr(pool, capfd):
    run_batch(pool)
    assert capfd.readouterr().err == ""


def test_keyword_arguments_as_the_function_takes_them(w):
    text, fn, args, _ = statements(w)["consistency"]
    batch = vemo_batch.Batch()
    batch.add(fn, text, gh=w.gh, ped_cm=w.ped_cm, token=w.token, pubkey=w.pubkey)
    batch.add(fn, proof=text, gh=w.gh, ped_cm=w.ped_cm, token=w.token, pubkey=w.pubkey)
    assert batch.verify() == [True, True]


def raised(fn, *args, **kwargs):
    with pytest.raises((TypeError, OverflowError, ValueError)) as info:
        fn(*args, **kwargs)
    return type(info.value), str(info.value)


@pytest.mark.parametrize("make_args,make_kwargs", [
    (lambda w, t: (t, 8, w.gh), {}),                              # one missing
    (lambda w, t: (t, 8, w.gh, w.ped_cm, 1), {}),                 # one too many
    (lambda w, t: (t, -1, w.gh, w.ped_cm), {}),                   # negative n_bit
    (lambda w, t: (t, 2**64, w.gh, w.ped_cm), {}),                # n_bit too large
    (lambda w, t: (t, "8", w.gh, w.ped_cm), {}),                  # not an integer
    (lambda w, t: (t, 8, w.ped_cm, w.ped_cm), {}),                # a Commit for the GH
    (lambda w, t: (b"text", 8, w.gh, w.ped_cm), {}),              # bytes for the text
    (lambda w, t: (t, 8, w.gh), {"commitment": 1}),               # unknown keyword
    (lambda w, t: (t, 8, w.gh, w.ped_cm), {"gh": 1}),             # given twice
])
def test_argument_errors_are_the_functions_own(w, make_args, make_kwargs):
    text = statements(w)["range8"][0]
    args = make_args(w, text)
    want = raised(vemo.range_proof_single_verify, *args, **make_kwargs)
    batch = vemo_batch.Batch()
    assert raised(batch.add, vemo.range_proof_single_verify, *args, **make_kwargs) == want
    assert len(batch) == 0


@pytest.mark.parametrize("fn", [print, vemo.range_proof_single, vemo.commit, "range_proof_single_verify", None])
def test_only_the_verifying_functions_are_taken(fn):
    with pytest.raises(TypeError, match="verifying functions"):
        vemo_batch.Batch().add(fn, "x")


@pytest.mark.parametrize("kwargs,error", [
    ({"threads": 0}, ValueError), ({"threads": -3}, ValueError), ({"threads": 1.5}, TypeError),
    ({"threads": "2"}, TypeError), ({"workers": 2}, TypeError),
])
def test_thread_count_is_checked(kwargs, error):
    with pytest.raises(error):
        vemo_batch.Batch().verify(**kwargs)


def test_positional_thread_count_is_refused():
    with pytest.raises(TypeError):
        vemo_batch.Batch().verify(2)


def test_module_conventions():
    import inspect

    # The version's one place is meson.build's project(); the stub
    # distribution, built on its own, must carry the same.
    root = pathlib.Path(__file__).resolve().parent.parent
    declared = re.search(r"version : '([^']+)'", (root / "meson.build").read_text()).group(1)
    stubs = re.search(r"^version = '([^']+)'", (root / "stubs" / "pyproject.toml").read_text(), re.M).group(1)
    assert vemo_batch.__version__ == declared == stubs
    assert vemo_batch.__all__ == ["Batch", "__version__", "decode_commit", "decode_token"]
    assert vemo_batch.Batch.__module__ == "vemo_batch"
    assert str(inspect.signature(vemo_batch.Batch.verify)) == "(self, /, *, threads=None)"
    assert str(inspect.signature(vemo_batch.Batch.add)) == "(self, fn, /, *args, **kwargs)"
    assert vemo_batch.Batch.verify.__doc__ and vemo_batch.Batch.add.__doc__
    assert repr(vemo_batch.Batch()) == "<vemo_batch.Batch with 0 items>"
    with pytest.raises(TypeError):
        vemo_batch.Batch(1)


@pytest.mark.parametrize("quiet, loud", [
    (vemo_batch.decode_commit, vemo.from_str),
    (vemo_batch.decode_token, vemo.to_token_from_str),
])
def test_quiet_decoders_match_vemo_but_raise_valueerror_silently(quiet, loud, capfd):
    good = vemo.commit(7, vemo.gen_r(), vemo.gen_GH()).get
    value = quiet(good)
    assert type(value) is type(loud(good)) and value.get == loud(good).get
    for bad in ["zz", "0" * 64, good[:-1], good + "0", good[:10] + "g" + good[11:]]:
        with pytest.raises(BaseException) as panic:
            loud(bad)
        capfd.readouterr()
        with pytest.raises(ValueError) as error:
            quiet(bad)
        assert str(error.value) == str(panic.value)
        assert capfd.readouterr().err == ""
    with pytest.raises(TypeError, match=r"argument must be str, not bytes"):
        quiet(good.encode())
    with pytest.raises(UnicodeEncodeError):
        quiet("\ud800" * 64)


REFUSED_THREADS = textwrap.dedent("""
    import vemo, vemo_batch
    gh, r = vemo.gen_GH(), vemo.gen_r()
    c, proof = vemo.commit(5, r, gh), vemo.range_proof_single(8, 5, gh, r)
    batch = vemo_batch.Batch()
    for i in range(64):
        batch.add(vemo.range_proof_single_verify, proof, 8, gh, c if i % 7 else vemo.commit(6, r, gh))
    print([i for i, ok in enumerate(batch.verify(threads=1024)) if not ok])
""")


@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer's shadow memory does not fit an address-space limit")
def test_threads_the_system_refuses_leave_their_share_to_the_others():
    # Stacks of 500 MB in 3 GB of address space: a few threads start, the
    # next is refused. Once that ended the interpreter (std::terminate with
    # the started threads still joinable); now the batch finishes on the
    # threads it got, with the same verdicts.
    limits = "ulimit -s 500000 && ulimit -v 3000000 && exec \"$0\" -c \"$1\""
    run = subprocess.run(["bash", "-c", limits, sys.executable, REFUSED_THREADS], capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout == f"{list(range(0, 64, 7))}\n"


def test_help_texts_are_the_stubs():
    # The C docstrings are written from __init__.pyi at build time: help()
    # and the stub cannot say different things.
    import ast
    stub = ast.parse((pathlib.Path(vemo_batch.__file__).parent / "__init__.pyi").read_text())
    docs = {}
    for node in stub.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)) and ast.get_docstring(node):
            docs[node.name] = ast.get_docstring(node)
        if isinstance(node, ast.ClassDef):
            docs.update({f"{node.name}.{m.name}": ast.get_docstring(m) for m in node.body
                         if isinstance(m, ast.FunctionDef) and ast.get_docstring(m)})
    assert set(docs) == {"decode_commit", "decode_token", "Batch", "Batch.add", "Batch.verify", "Batch.clear",
                         "Batch.errors"}
    for name, text in docs.items():
        obj = vemo_batch
        for part in name.split("."):
            obj = getattr(obj, part)
        assert inspect.cleandoc(obj.__doc__) == text, name


# A batch whose records carry every kind of point text, valid or not: the
# verdicts and error texts, printed. The batch decodes its points ahead
# through the lane engine when that is on (VEMO_LANES); the output must not
# depend on it.
LANE_MODES_SCRIPT = textwrap.dedent("""
    import json
    import vemo, vemo_batch
    gh = vemo.gen_GH()
    pbsk = vemo.gen_pb_sk(gh)
    pk = pbsk.get_pk()
    p = "30644e72e131a029b85045b68181585d97816a916871ca8d3c208c16d87cfd47"
    bad_points = [
        p,                                   # x = p
        "c0" + "00" * 31,                    # both flags
        "40" + "00" * 31,                    # the identity
        "0" * 63 + "5",                      # x = 5: x^3 + 3 is not a square
        "80" + "00" * 30 + "01",             # x = 1 with the other root
        vemo.from_str(gh.h).get.upper(),     # upper-case digits
    ]
    batch = vemo_batch.Batch()
    for i in range(40):
        r = vemo.gen_r()
        v = i % 5
        c, t = vemo.commit(v, r, gh), pbsk.to_token(r)
        proof = json.loads(vemo.consistency_proof(v, r, gh, c, t, pk))
        if i % 3 == 1:
            proof["t1"]["point"] = bad_points[i % len(bad_points)]
        batch.add(vemo.consistency_proof_verify, json.dumps(proof), gh, c, t, pk if i % 7 else bad_points[i % 6])
        if i % 4 == 0:
            batch.add(vemo.range_proof_single_verify, vemo.range_proof_single(8, v, gh, r), 8, gh, c)
    print(batch.verify(threads=2))
    print(batch.errors)
""")


def test_verdicts_and_errors_do_not_depend_on_the_lane_engine():
    outputs = {}
    for mode in ("off", "portable", "ifma"):
        env = {**os.environ, "VEMO_LANES": mode}
        run = subprocess.run([sys.executable, "-c", LANE_MODES_SCRIPT], capture_output=True, text=True, env=env,
                             timeout=300)
        assert run.returncode == 0, run.stderr
        outputs[mode] = run.stdout
    verdicts = outputs["off"].splitlines()[0]
    assert "True" in verdicts and "False" in verdicts
    assert outputs["portable"] == outputs["off"]
    assert outputs["ifma"] == outputs["off"]
