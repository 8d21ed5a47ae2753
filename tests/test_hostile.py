"""Hostile inputs beyond the fuzzer: each row gives its exact outcome, a
value or the failure text. The sizes that could exhaust memory run in a
child process under an address-space limit, so a regression fails the test
instead of the machine."""
import json
import subprocess
import sys
import textwrap

import pytest

import vemo
from helpers import P, R, scalar_text

UNWRAP = "called `Result::unwrap()` on an `Err` value: "
NOT_POW2 = "assertion failed: n.is_power_of_two()"
G_TEXT = "0" * 63 + "1"
IDENTITY = "40" + "0" * 62


def err(msg, line, col):
    return UNWRAP + f'Error("{msg}", line: {line}, column: {col})'


def outcome(fn, *args):
    """('ok', value) or (exception type name, text)."""
    try:
        return "ok", fn(*args)
    except BaseException as e:  # PanicException derives from BaseException
        return type(e).__name__, str(e)


@pytest.fixture(scope="module")
def w(gh):
    r = vemo.gen_r()
    pbsk = vemo.gen_pb_sk(gh)
    tk = pbsk.to_token(r)
    h_sumR = vemo.p_to_x(vemo.from_str(gh.h), r)
    return dict(gh=gh, r=r, pbsk=pbsk, cm=vemo.commit(1, r, gh), tk=tk, h_sumR=h_sumR,
                dlog=vemo.sigma_dlog_proof_explicit(tk, pbsk, h_sumR),
                range8=vemo.range_proof_single(8, 1, gh, r))


# ---- texts: length, NUL bytes, lone surrogates, values out of range ----

LONG = 10**6


@pytest.mark.parametrize("fn, text, expected", [
    (vemo.from_str, "0" * LONG, ("PanicException", err("invalid point", 1, LONG + 27))),
    (vemo.from_str, "f" * LONG, ("PanicException", err("invalid point", 1, LONG + 27))),
    (vemo.to_scalar_from_str, "0" * LONG, ("PanicException", err(f"invalid length {LONG}, expected 64", 1, LONG + 28))),
    (vemo.from_str, "\0" * 64,
     ("PanicException", err("control character (\\\\u0000-\\\\u001F) found while parsing a string", 1, 27))),
    (vemo.to_scalar_from_str, "0" * 31 + "\0" + "0" * 32,
     ("PanicException", err("control character (\\\\u0000-\\\\u001F) found while parsing a string", 1, 59))),
    (vemo.from_str, "\ud800" + "0" * 63,
     ("UnicodeEncodeError", "'utf-8' codec can't encode character '\\ud800' in position 0: surrogates not allowed")),
    (vemo.to_scalar_from_str, "0" * 63 + "\udfff",
     ("UnicodeEncodeError", "'utf-8' codec can't encode character '\\udfff' in position 63: surrogates not allowed")),
    # A coordinate at or above p, in both point forms.
    (vemo.from_str, format(P, "064x"), ("PanicException", err("invalid point: failed to deserialize the point", 1, 91))),
    (vemo.from_str, format(P, "064x") + format(2, "064x"),
     ("PanicException", err("invalid point: failed to deserialize the point", 1, 155))),
    # Not on the curve: (1, 3).
    (vemo.from_str, format(3, "064x") + format(1, "064x"),
     ("PanicException", err("invalid point: failed to deserialize the point", 1, 155))),
])
def test_hostile_texts(fn, text, expected):
    assert outcome(fn, text) == expected


@pytest.mark.parametrize("text, value", [
    # Scalars at or above r are reduced, as are all 2^256 texts of 64 digits.
    (format(R, "064x"), 0),
    ("f" * 64, (2**256 - 1) % R),
    ("F" * 64, (2**256 - 1) % R),
    (format(R + 1, "064x").upper(), 1),
])
def test_scalar_texts_reduce(text, value):
    assert vemo.to_scalar_from_str(text).get == scalar_text(value)


@pytest.mark.parametrize("text", [
    IDENTITY,
    "40" + "0" * 61 + "1",       # free bits of the identity's encoding
    "41" + "0" * 62,
    "60" + "0" * 62,
    "40" + "0" * 126,            # the uncompressed form of the identity
])
def test_non_canonical_identity_texts_decode(text):
    c = vemo.from_str(text)
    assert c.is_zero() and c.get == IDENTITY


# ---- nesting at the reader's depth limit ----

@pytest.mark.parametrize("levels, expected", [
    (126, err("missing field `cm1`", 1, 257)),
    (127, err("missing field `cm1`", 1, 259)),     # the deepest nesting read
    (128, err("recursion limit exceeded", 1, 133)),
])
def test_nesting_at_the_depth_limit(w, levels, expected):
    arrays = levels - 1  # inside the record's own object
    text = '{"zz":' + "[" * arrays + "]" * arrays + "}"
    assert outcome(vemo.sigma_eq_dlog_ped_verify, text, w["gh"], w["gh"]) == ("PanicException", expected)


def test_nesting_far_beyond_the_limit(w):
    assert outcome(vemo.sigma_eq_dlog_ped_verify, '{"zz":' + "[" * LONG, w["gh"], w["gh"]) == (
        "PanicException", err("recursion limit exceeded", 1, 133))


# ---- the identity where a proof member must not be it ----

def _with_member(text, path, value):
    obj = json.loads(text)
    node = obj
    for key in path[:-1]:
        node = node[key]
    node[path[-1]] = {"curve": "bn254", "point": value}
    return json.dumps(obj)


@pytest.mark.parametrize("path", [("pk_t_rand_commitment",), ("pk",)])
def test_identity_in_a_dlog_proof_is_refused(w, path):
    text = _with_member(w["dlog"], path, IDENTITY)
    assert vemo.sigma_dlog_proof_explicit_verify(text, w["h_sumR"], w["tk"]) is False


@pytest.mark.parametrize("path", [("A",), ("S",), ("T1",), ("T2",), ("inner_product_proof", "L", 0),
                                  ("inner_product_proof", "R", 2)])
def test_identity_in_a_range_proof_is_refused(w, path):
    text = _with_member(w["range8"], path, IDENTITY)
    assert vemo.range_proof_single_verify(text, 8, w["gh"], w["cm"]) is False


# ---- n_bit: every size a caller can use works; sizes beyond memory panic ----

@pytest.mark.parametrize("n_bit", [0, 1, 63, 64, 65])
def test_ghvec_small_sizes(n_bit):
    gv, hv = json.loads(vemo.ghvec(n_bit))
    assert len(gv) == len(hv) == n_bit


@pytest.mark.parametrize("n_bit, works", [(0, False), (1, True), (63, False), (64, True), (65, False)])
def test_range_functions_small_sizes(w, n_bit, works):
    proof = outcome(vemo.range_proof_single, n_bit, 1, w["gh"], w["r"])
    selftest = outcome(vemo.range_proof_test, n_bit, 1)
    if works:
        assert proof[0] == "ok" and vemo.range_proof_single_verify(proof[1], n_bit, w["gh"], w["cm"]) is True
        assert selftest == ("ok", str(n_bit))
    else:
        assert proof == selftest == ("PanicException", NOT_POW2)
        assert outcome(vemo.range_proof_single_verify, w["range8"], n_bit, w["gh"], w["cm"]) == (
            "PanicException", NOT_POW2)


HUGE = textwrap.dedent("""
    import os, resource, sys
    # An address-space limit, except under AddressSanitizer, whose shadow
    # memory alone reserves terabytes of addresses.
    if "asan" not in os.environ.get("LD_PRELOAD", ""):
        resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
    import vemo
    n = int(sys.argv[1])
    gh, r = vemo.gen_GH(), vemo.gen_r()
    cm = vemo.commit(1, r, gh)
    proof = vemo.range_proof_single(8, 1, gh, r)
    calls = [lambda: vemo.ghvec(n), lambda: vemo.range_proof_single(n, 1, gh, r),
             lambda: vemo.range_proof_single_verify(proof, n, gh, cm), lambda: vemo.range_proof_test(n, 1)]
    for call in calls:
        try:
            call()
            print("= ok")
        except BaseException as e:
            print("=", type(e).__name__, str(e))
""")


@pytest.mark.parametrize("n_bit", [2**32, 2**63])
def test_sizes_beyond_memory_panic(n_bit):
    """Powers of two far beyond what memory holds: every function refuses
    before deriving a point, with the same clear text."""
    run = subprocess.run([sys.executable, "-c", HUGE, str(n_bit)], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    # range_proof_test prints its commitment line before it derives anything.
    lines = [line[2:] for line in run.stdout.splitlines() if line.startswith("= ")]
    assert len(lines) == 4
    prefix = f"PanicException n_bit {n_bit}: the generator vectors would need more memory than this machine has (n_bit at most "
    for line in lines:
        assert line.startswith(prefix) and line.endswith(" here)")
    most = int(lines[0][len(prefix):-len(" here)")])
    # The line sits far above every size a proof uses and below 2^32.
    assert 2**16 <= most < 2**32


def test_n_bit_beyond_u64_is_an_argument_error():
    assert outcome(vemo.ghvec, 2**64)[0] == "OverflowError"
    assert outcome(vemo.ghvec, -1)[0] == "OverflowError"
