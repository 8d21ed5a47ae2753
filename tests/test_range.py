"""Range proofs: the generator vectors, round trips at every bit length and
its boundaries, the record's layout and reading rules, tampering, refusals,
the self-test and the golden proofs of an independent implementation."""
import json
import re

import pytest

import vemo
from helpers import R, load

UNWRAP = "called `Result::unwrap()` on an `Err` value: "
NOT_POW2 = "assertion failed: n.is_power_of_two()"
MEMBERS = ["A", "S", "T1", "T2", "tau_x", "miu", "tx", "inner_product_proof"]
IPA_MEMBERS = ["L", "R", "a_tag", "b_tag"]
G_POINT = {"curve": "bn254", "point": "0" * 63 + "2"}  # compressed form of G = (1, 2)
BIT_LENGTHS = [1, 2, 4, 8, 16, 32, 64]


def panic_text(fn, *args):
    with pytest.raises(BaseException) as info:
        fn(*args)
    assert type(info.value).__name__ == "PanicException"
    return str(info.value)


def dump(record):
    """The indented layout the module writes."""
    return json.dumps(record, indent=2)


@pytest.fixture(scope="module")
def r():
    return vemo.gen_r()


@pytest.fixture(scope="module")
def proof8(gh, r):
    """A proof that 5 lies in [0, 2^8), with its commitment."""
    return vemo.range_proof_single(8, 5, gh, r), vemo.commit(5, r, gh)


def golden_range_proofs():
    return [p for p in load("proofs.json")["proofs"] if p["made_by"] == "range_proof_single"]


# ---- generator vectors ----


def test_ghvec_of_zero_is_two_empty_arrays():
    assert vemo.ghvec(0) == "[[],[]]"


@pytest.mark.parametrize("n", [1, 2])
def test_ghvec_matches_the_independent_implementation(n):
    assert vemo.ghvec(n) == load("deterministic.json")[f"ghvec_{n}"]


@pytest.mark.parametrize("n", [1, 2, 4, 8])
def test_ghvec_layout_and_derivation(n):
    text = vemo.ghvec(n)
    assert text == vemo.ghvec(n)
    gv, hv = json.loads(text)
    assert text == "[" + dump(gv) + "," + dump(hv) + "]"
    assert len(gv) == len(hv) == n
    assert all(set(p) == {"curve", "point"} and re.fullmatch("[0-9a-f]{64}", p["point"]) for p in gv + hv)
    # Gv[i] is the point for L + i whatever n is, Hv[i] the one for L + n + i:
    # both vectors are consecutive points of the vector Gv of length 2n.
    wide_gv, _ = json.loads(vemo.ghvec(2 * n))
    assert wide_gv == gv + hv


# ---- round trips and boundaries ----


def in_range_values(n):
    top = min(2**n - 1, 2**31 - 1)
    return sorted({0, top, top // 3})


def out_of_range_values(n):
    return [-1, -(2**31)] + ([2**n] if 2**n < 2**31 else [])


@pytest.mark.parametrize("n", BIT_LENGTHS)
def test_values_in_range_verify(gh, r, n):
    for val in in_range_values(n):
        text = vemo.range_proof_single(n, val, gh, r)
        assert vemo.range_proof_single_verify(text, n, gh, vemo.commit(val, r, gh)) is True, val


@pytest.mark.parametrize("n", BIT_LENGTHS)
def test_values_out_of_range_still_prove_but_do_not_verify(gh, r, n):
    for val in out_of_range_values(n):
        text = vemo.range_proof_single(n, val, gh, r)
        assert vemo.range_proof_single_verify(text, n, gh, vemo.commit(val, r, gh)) is False, val


@pytest.mark.parametrize("n", BIT_LENGTHS)
def test_record_layout(gh, r, n):
    text = vemo.range_proof_single(n, 1, gh, r)
    record = json.loads(text)
    assert text == dump(record)  # two-space indentation, no final line break
    assert list(record) == MEMBERS
    ipa = record["inner_product_proof"]
    assert list(ipa) == IPA_MEMBERS
    assert len(ipa["L"]) == len(ipa["R"]) == n.bit_length() - 1
    for name in ("A", "S", "T1", "T2"):
        assert list(record[name]) == ["curve", "point"]
    for name in ("tau_x", "miu", "tx"):
        assert list(record[name]) == ["curve", "scalar"]
    for name in ("a_tag", "b_tag"):
        assert re.fullmatch("([0-9a-f]{2})+", ipa[name]) and int(ipa[name], 16) < R
    if n == 1:
        assert '"L": [],\n    "R": [],' in text


def test_wrong_statements_are_refused(gh, r, proof8):
    text, c = proof8
    other_gh = vemo.gen_new_GH(vemo.g_to_x(gh, 77), vemo.from_str(gh.h))
    assert vemo.range_proof_single_verify(text, 8, gh, vemo.commit(6, r, gh)) is False
    assert vemo.range_proof_single_verify(text, 8, gh, vemo.commit(5, vemo.gen_r(), gh)) is False
    assert vemo.range_proof_single_verify(text, 8, other_gh, c) is False
    # Checked over fewer bits the pairs left over are ignored: a plain no.
    assert vemo.range_proof_single_verify(text, 4, gh, c) is False


def test_proofs_use_fresh_randomness(gh, r, proof8):
    text, c = proof8
    again = vemo.range_proof_single(8, 5, gh, r)
    a, b = json.loads(text), json.loads(again)
    for name in MEMBERS[:-1]:
        assert a[name] != b[name], name
    for name in IPA_MEMBERS:
        assert a["inner_product_proof"][name] != b["inner_product_proof"][name], name
    assert vemo.range_proof_single_verify(again, 8, gh, c)


# ---- tampering ----


def bump(scalar_obj):
    return {**scalar_obj, "scalar": format((int(scalar_obj["scalar"], 16) + 1) % R, "064x")}


def flip_low_bit(hex_text):
    return hex_text[:-1] + format(int(hex_text[-1], 16) ^ 1, "x")


def swap_first_pair(ipa):
    ipa["L"][0], ipa["R"][0] = ipa["R"][0], ipa["L"][0]


TAMPERS = {
    **{f"{name}=G": (lambda name: lambda d: d.__setitem__(name, G_POINT))(name) for name in ("A", "S", "T1", "T2")},
    **{f"{name}+1": (lambda name: lambda d: d.__setitem__(name, bump(d[name])))(name) for name in ("tau_x", "miu", "tx")},
    "L[0]=G": lambda d: d["inner_product_proof"]["L"].__setitem__(0, G_POINT),
    "R[-1]=G": lambda d: d["inner_product_proof"]["R"].__setitem__(-1, G_POINT),
    "L[0]<->R[0]": lambda d: swap_first_pair(d["inner_product_proof"]),
    "a_tag^1": lambda d: d["inner_product_proof"].__setitem__("a_tag", flip_low_bit(d["inner_product_proof"]["a_tag"])),
    "b_tag^1": lambda d: d["inner_product_proof"].__setitem__("b_tag", flip_low_bit(d["inner_product_proof"]["b_tag"])),
}


def golden_statement(n):
    (p,) = [p for p in golden_range_proofs() if p["inputs"]["n_bit"] == n]
    return p["proof"], vemo.from_str(p["inputs"]["ped_cm"])


@pytest.mark.parametrize("source", ["own", "golden"])
@pytest.mark.parametrize("tamper", TAMPERS, ids=str)
def test_changing_any_member_fails(gh, proof8, source, tamper):
    text, c = proof8 if source == "own" else golden_statement(8)
    record = json.loads(text)
    TAMPERS[tamper](record)
    assert vemo.range_proof_single_verify(dump(record), 8, gh, c) is False


def test_integers_are_read_modulo_the_group_order(gh, proof8):
    text, c = proof8
    record = json.loads(text)
    ipa = record["inner_product_proof"]
    ipa["a_tag"] = format(int(ipa["a_tag"], 16) + R, "x").zfill(66)
    ipa["b_tag"] = ipa["b_tag"].upper()
    assert vemo.range_proof_single_verify(dump(record), 8, gh, c) is True


# ---- reading rules ----


def reordered(d):
    d = dict(reversed(list(d.items())))
    d["inner_product_proof"] = dict(reversed(list(d["inner_product_proof"].items())))
    return dump(d)


def with_extra_members(d):
    d = {"comment": {"nested": [1, 2.5, None]}, **d, "zz": "ignored"}
    d["inner_product_proof"] = {**d["inner_product_proof"], "extra": []}
    return dump(d)


def array_form(d):
    values = list(d.values())
    values[-1] = list(values[-1].values())
    return json.dumps(values)


@pytest.mark.parametrize("rewrite", [reordered, with_extra_members, array_form, lambda d: json.dumps(d)])
@pytest.mark.parametrize("commit_val", [5, 6])
def test_rewritten_records_read_the_same(gh, r, proof8, rewrite, commit_val):
    text, _ = proof8
    c = vemo.commit(commit_val, r, gh)
    expected = vemo.range_proof_single_verify(text, 8, gh, c)
    assert expected is (commit_val == 5)
    assert vemo.range_proof_single_verify(rewrite(json.loads(text)), 8, gh, c) is expected


@pytest.mark.parametrize("keep", [0, 1, 40, 0.5, -2, -1])
def test_truncated_texts_raise(gh, proof8, keep):
    text, c = proof8
    end = int(len(text) * keep) if isinstance(keep, float) else keep % len(text)
    message = panic_text(vemo.range_proof_single_verify, text[:end], 8, gh, c)
    assert message.startswith(UNWRAP + "Error(")


def member_error(text, gh, c):
    return panic_text(vemo.range_proof_single_verify, text, 8, gh, c)


@pytest.mark.parametrize("name", MEMBERS)
def test_missing_member_is_named(gh, proof8, name):
    text, c = proof8
    record = json.loads(text)
    del record[name]
    lines = dump(record).count("\n") + 1
    assert member_error(dump(record), gh, c) == UNWRAP + f'Error("missing field `{name}`", line: {lines}, column: 1)'


@pytest.mark.parametrize("name", IPA_MEMBERS)
def test_missing_inner_member_is_named(gh, proof8, name):
    text, c = proof8
    record = json.loads(text)
    del record["inner_product_proof"][name]
    assert f"missing field `{name}`" in member_error(dump(record), gh, c)


@pytest.mark.parametrize("name", ["A", "tx", "inner_product_proof"])
def test_duplicate_member_is_refused(gh, proof8, name):
    text, c = proof8
    record = json.loads(text)
    doubled = "{" + json.dumps(name) + ": " + json.dumps(record[name]) + ", " + json.dumps(record)[1:]
    assert f"duplicate field `{name}`" in member_error(doubled, gh, c)


@pytest.mark.parametrize(
    "make, fragment",
    [
        (lambda d: "5", "invalid type: integer `5`, expected struct RangeProof"),
        (lambda d: json.dumps({**d, "inner_product_proof": "x"}), 'invalid type: string \\"x\\", expected struct InnerProductArg'),
        (lambda d: json.dumps(list(d.values())[:7]), "invalid length 7, expected struct RangeProof with 8 elements"),
        (
            lambda d: json.dumps({**d, "inner_product_proof": list(d["inner_product_proof"].values())[:3]}),
            "invalid length 3, expected struct InnerProductArg with 4 elements",
        ),
        (lambda d: json.dumps({**d, "A": {"curve": "bn254", "point": "zz" * 32}}), "malformed hex encoding"),
        (lambda d: json.dumps({**d, "tx": {"curve": "bn254", "scalar": "00"}}), "invalid length 2, expected 64"),
        (
            lambda d: json.dumps({**d, "inner_product_proof": {**d["inner_product_proof"], "a_tag": "abc"}}),
            "malformed hex encoding",
        ),
        (lambda d: json.dumps({**d, "inner_product_proof": {**d["inner_product_proof"], "L": 7}}), "expected a sequence"),
        (lambda d: json.dumps(d) + " {}", "trailing characters"),
    ],
)
def test_malformed_records_raise_instead_of_returning_false(gh, proof8, make, fragment):
    text, c = proof8
    message = member_error(make(json.loads(text)), gh, c)
    assert message.startswith(UNWRAP) and fragment in message


def test_too_few_pairs_for_the_bit_length_raise(gh, r, proof8):
    text, _ = proof8
    panic_text(vemo.range_proof_single_verify, text, 16, gh, vemo.commit(5, r, gh))
    record = json.loads(text)
    del record["inner_product_proof"]["R"][-1]
    panic_text(vemo.range_proof_single_verify, dump(record), 8, gh, vemo.commit(5, r, gh))


@pytest.mark.parametrize("n", [0, 3, 6, 12])
def test_bit_lengths_that_are_not_powers_of_two(gh, r, proof8, n, capfd):
    text, c = proof8
    assert panic_text(vemo.range_proof_single, n, 5, gh, r) == NOT_POW2
    assert panic_text(vemo.range_proof_single_verify, text, n, gh, c) == NOT_POW2
    # An unreadable text fails first, whatever the bit length.
    assert panic_text(vemo.range_proof_single_verify, "{", n, gh, c).startswith(UNWRAP)
    # The self-test prints its commitment before proving.
    assert panic_text(vemo.range_proof_test, n, 5) == NOT_POW2
    assert re.fullmatch(r"\[Bn254Point \{ [^\n]* \}\]\n", capfd.readouterr().out)


# ---- the self-test ----

COMMITMENT_LINE = r'\[Bn254Point \{ purpose: "scalar_mul", ge: \(\d+, \d+\) \}\]'


@pytest.mark.parametrize("n, val", [(1, 0), (8, 5), (8, 255), (64, 2**31 - 1)])
def test_range_proof_test_prints_and_returns_the_bit_length(capfd, n, val):
    assert vemo.range_proof_test(n, val) == str(n)
    lines = capfd.readouterr().out.split("\n")
    assert re.fullmatch(COMMITMENT_LINE, lines[0])
    assert lines[1:] == ["results", "true", ""]


@pytest.mark.parametrize("n, val", [(8, 256), (8, -1), (1, 2)])
def test_range_proof_test_reports_a_failed_check(capfd, n, val):
    assert panic_text(vemo.range_proof_test, n, val) == "assertion failed: result.is_ok()"
    lines = capfd.readouterr().out.split("\n")
    assert re.fullmatch(COMMITMENT_LINE, lines[0])
    assert lines[1:] == ["results", "false", ""]


# ---- golden proofs of an independent implementation ----


@pytest.mark.parametrize("golden", golden_range_proofs(), ids=lambda p: f"n_bit={p['inputs']['n_bit']}")
def test_golden_proofs_verify_with_their_inputs(gh, golden):
    inputs = golden["inputs"]
    c = vemo.from_str(inputs["ped_cm"])
    r = vemo.to_scalar_from_str(inputs["r"])
    assert vemo.commit(inputs["val"], r, gh).get == inputs["ped_cm"]
    assert golden["verifies"] is True
    assert vemo.range_proof_single_verify(golden["proof"], inputs["n_bit"], gh, c) is True
    assert vemo.range_proof_single_verify(golden["proof"], inputs["n_bit"], gh, vemo.commit(inputs["val"] + 1, r, gh)) is False


# ---- arguments ----


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda gh, r, c: vemo.range_proof_single("8", 5, gh, r), TypeError,
         "argument 'n_bit': 'str' object cannot be interpreted as an integer"),
        (lambda gh, r, c: vemo.range_proof_single(-1, 5, gh, r), OverflowError, None),
        (lambda gh, r, c: vemo.range_proof_single(8, 2**31, gh, r), OverflowError,
         "out of range integral type conversion attempted"),
        (lambda gh, r, c: vemo.range_proof_single(8, 5, r, gh), TypeError,
         "argument 'gh': 'rand_r' object cannot be converted to 'GH'"),
        (lambda gh, r, c: vemo.range_proof_single_verify(5, 8, gh, c), TypeError,
         "argument 'range_proof': 'int' object cannot be converted to 'PyString'"),
        (lambda gh, r, c: vemo.range_proof_single_verify("{}", 8, gh, gh), TypeError,
         "argument 'ped_cm': 'GH' object cannot be converted to 'Commit'"),
        (lambda gh, r, c: vemo.range_proof_test(8), TypeError,
         "range_proof_test() missing 1 required positional argument: 'val'"),
        (lambda gh, r, c: vemo.ghvec(2**64), OverflowError, None),
        (lambda gh, r, c: vemo.ghvec(n_bit=1.0), TypeError,
         "argument 'n_bit': 'float' object cannot be interpreted as an integer"),
    ],
)
def test_argument_errors(gh, r, proof8, call, error, message):
    with pytest.raises(error) as info:
        call(gh, r, proof8[1])
    if message is not None:
        assert str(info.value) == message
