"""Sigma proofs: round trips, record layout, tampering, refusals, witnesses
and the golden proofs of an independent implementation."""
import hashlib
import json
import types

import pytest

import vemo
from helpers import G_TEXT, P, R, load, other_value, outcome, scalar_text

UNWRAP = "called `Result::unwrap()` on an `Err` value: "
ASSERTION = "assertion failed: false"


def panic_text(fn, *args):
    with pytest.raises(BaseException) as info:
        fn(*args)
    assert type(info.value).__name__ == "PanicException"
    return str(info.value)


def scalar(n):
    return vemo.to_scalar_from_str(scalar_text(n))


def point(text):
    return vemo.from_str(text)


def same_point(a, b):
    return vemo.sub(a, b).is_zero()


# ---- the statements every proof is made for ----


@pytest.fixture(scope="module")
def world(gh):
    """Public inputs of every proof kind, plus a wrong value for each."""
    pbsk = vemo.gen_pb_sk(gh)
    rs = [vemo.gen_r() for _ in range(3)]
    h = point(gh.h)
    h_sumR = vemo.p_to_x(h, rs[0])
    sum_tokens = pbsk.to_token(rs[0])
    for r in rs[1:]:
        h_sumR = vemo.add(h_sumR, vemo.p_to_x(h, r))
        sum_tokens = vemo.add_token(sum_tokens, pbsk.to_token(r))
    r = vemo.gen_r()
    other_g = vemo.g_to_x(gh, 77)
    w = types.SimpleNamespace(
        gh=gh,
        gh1=gh,
        gh2=vemo.gen_new_GH(other_g, h),
        pbsk=pbsk,
        h_sumR=h_sumR,
        sum_tokens=sum_tokens,
        val=5,
        r=r,
        ped_cm=vemo.commit(5, r, gh),
        token=pbsk.to_token(r),
        pubkey=pbsk.get_pk(),
        v=42,
    )
    someone = vemo.gen_pb_sk(gh)
    w.wrong = {
        "other_h": vemo.gen_new_GH(point(gh.g), vemo.g_to_x(gh, 3)),
        "other_g": vemo.gen_new_GH(vemo.g_to_x(gh, 2), h),
        "other_pair": vemo.gen_new_GH(vemo.g_to_x(gh, 5), vemo.g_to_x(gh, 6)),
        "h_sumR": vemo.add(h_sumR, h),
        "sum_tokens": vemo.add_token(sum_tokens, someone.to_token(r)),
        "ped_cm": vemo.commit(6, r, gh),
        "token": someone.to_token(r),
        "pubkey": someone.get_pk(),
    }
    return w


def _dlog(prove, verify):
    return dict(
        prove=lambda w: prove(w.sum_tokens, w.pbsk, w.h_sumR),
        verify=lambda w, s: verify(s, w.h_sumR, w.sum_tokens),
        name="DLogProofExplicit",
        record=["pk", "pk_t_rand_commitment", "challenge_response"],
    )


def _eq(prove, verify):
    return dict(
        prove=lambda w: prove(w.sum_tokens, w.pbsk, w.gh, w.h_sumR),
        verify=lambda w, s: verify(s, w.gh, w.h_sumR, w.sum_tokens),
        name="DLogEqProof",
        record=EQ_RECORD,
    )


EQ_RECORD = ["pk_l", "pk_r", "pk_t_rand_commitment_l", "pk_t_rand_commitment_r",
             "challenge_response_l", "challenge_response_r", "challenge"]
PED_RECORD = ["cm1", "cm2", "cm3", "token", "r1", "r2", "challenge",
              "challenge_response_D", "challenge_response_D1", "challenge_response_D2"]
CONSISTENCY_RECORD = ["t1", "t2", "s1", "s2", "challenge"]

KINDS = {
    "dlog_sha512": _dlog(vemo.sigma_dlog_proof_explicit, vemo.sigma_dlog_proof_explicit_verify),
    "dlog_sha256": _dlog(vemo.sigma_dlog_proof_explicit_sha256, vemo.sigma_dlog_proof_explicit_verify_sha256),
    "dlog_sha256_witness": dict(
        _dlog(vemo.sigma_dlog_proof_explicit_sha256_with_witness, vemo.sigma_dlog_proof_explicit_verify_sha256),
        layout=["challenge_response", "challengepk", "chalrsph2r", "pk", "pk_t_rand_commitment"],
    ),
    "eq_sha512": _eq(vemo.sigma_eq_dlog_proof, vemo.sigma_eq_dlog_verify),
    "eq_sha256": _eq(vemo.sigma_eq_dlog_proof_sha256, vemo.sigma_eq_dlog_verify_sha256),
    "same_secret": dict(
        prove=lambda w: vemo.sigma_eq_dlog_same_secret(w.v, w.gh1, w.gh2),
        verify=lambda w, s: vemo.sigma_eq_dlog_verify_same_secret(s, w.gh1, w.gh2),
        name="DLogEqProof",
        record=EQ_RECORD,
    ),
    "ped": dict(
        prove=lambda w: vemo.sigma_eq_dlog_ped_proof(w.v, w.gh1, w.gh2, w.pubkey),
        verify=lambda w, s: vemo.sigma_eq_dlog_ped_verify(s, w.gh1, w.gh2),
        name="DLogEqProofPed",
        record=PED_RECORD,
    ),
    "ped_witness": dict(
        prove=lambda w: vemo.sigma_eq_dlog_ped_proof_with_witness(w.v, w.gh1, w.gh2, w.pubkey),
        verify=lambda w, s: vemo.sigma_eq_dlog_ped_verify(s, w.gh1, w.gh2),
        name="DLogEqProofPed",
        record=PED_RECORD,
        layout=["chalRspD1h", "chalRspD2h", "chalRspDcm2", "chalRspDg", "challenge", "challenge_response_D",
                "challenge_response_D1", "challenge_response_D2", "challengecm2", "challengecm3", "cm1", "cm2",
                "cm3", "r1", "r2", "token"],
    ),
    "consistency": dict(
        prove=lambda w: vemo.consistency_proof(w.val, w.r, w.gh, w.ped_cm, w.token, w.pubkey),
        verify=lambda w, s: vemo.consistency_proof_verify(s, w.gh, w.ped_cm, w.token, w.pubkey),
        name="ConsistencyProof",
        record=CONSISTENCY_RECORD,
    ),
    "consistency_witness": dict(
        prove=lambda w: vemo.consistency_proof_with_witness(w.val, w.r, w.gh, w.ped_cm, w.token, w.pubkey),
        verify=lambda w, s: vemo.consistency_proof_verify(s, w.gh, w.ped_cm, w.token, w.pubkey),
        name="ConsistencyProof",
        record=CONSISTENCY_RECORD,
        layout=["chalcm", "challenge", "chaltk", "s1", "s1g", "s2", "s2h", "s2pubkey", "t1", "t2"],
    ),
}

# What a verifier says when one record member is replaced by another valid
# value: the Pedersen verifier never looks at cm1, token, r1 or r2, and the
# equality verifiers refuse a pk_l that is not the sum of tokens outright.
UNCHECKED = {"ped": {"cm1", "token", "r1", "r2"}}
ASSERTED = {"eq_sha512": {"pk_l"}, "eq_sha256": {"pk_l"}}


def tamper_outcome(kind, member):
    base = kind.replace("_witness", "")
    if member in UNCHECKED.get(base, ()):
        return True
    if member in ASSERTED.get(base, ()):
        return ASSERTION
    return False


# ---- round trips and layout ----


@pytest.mark.parametrize("kind", KINDS)
def test_round_trip_with_fresh_nonces(world, kind):
    k = KINDS[kind]
    first, second = k["prove"](world), k["prove"](world)
    assert first != second
    assert k["verify"](world, first) is True
    assert k["verify"](world, second) is True


@pytest.mark.parametrize("kind", KINDS)
def test_layout(world, kind):
    k = KINDS[kind]
    text = k["prove"](world)
    obj = json.loads(text)
    assert list(obj) == k.get("layout", k["record"])
    assert text == json.dumps(obj, indent=2)  # two-space indentation, no final line break
    for value in obj.values():
        assert list(value) in (["curve", "point"], ["curve", "scalar"]) and value["curve"] == "bn254"


@pytest.mark.parametrize("kind", KINDS)
def test_other_accepted_forms(world, kind):
    k = KINDS[kind]
    obj = json.loads(k["prove"](world))
    as_array = [obj[m] for m in k["record"]]
    shuffled = {m: obj[m] for m in reversed(k["record"])}
    shuffled["note"] = {"anything": [1, 2.5, None, True, "x"]}
    compact = json.dumps({m: obj[m] for m in k["record"]}, separators=(",", ":"))
    for text in (json.dumps(as_array), json.dumps(shuffled), compact):
        assert k["verify"](world, text) is True


@pytest.mark.parametrize(
    "prove,verify",
    [
        (KINDS["dlog_sha512"]["prove"], KINDS["dlog_sha256"]["verify"]),
        (KINDS["dlog_sha256"]["prove"], KINDS["dlog_sha512"]["verify"]),
        (KINDS["dlog_sha256_witness"]["prove"], KINDS["dlog_sha512"]["verify"]),
        (KINDS["eq_sha512"]["prove"], KINDS["eq_sha256"]["verify"]),
        (KINDS["eq_sha256"]["prove"], KINDS["eq_sha512"]["verify"]),
    ],
)
def test_proof_fails_under_the_other_digest(world, prove, verify):
    assert verify(world, prove(world)) is False


# ---- tampering ----

TAMPER_CASES = [(kind, m) for kind in KINDS for m in KINDS[kind]["record"]]


@pytest.mark.parametrize("kind,member", TAMPER_CASES)
def test_changing_one_member(world, kind, member):
    k = KINDS[kind]
    obj = json.loads(k["prove"](world))
    obj[member] = other_value(obj[member])
    assert outcome(lambda: k["verify"](world, json.dumps(obj))) == tamper_outcome(kind, member)


SWAPS = [
    ("dlog_sha512", "pk", "pk_t_rand_commitment"),
    ("dlog_sha256", "pk", "pk_t_rand_commitment"),
    ("eq_sha256", "pk_t_rand_commitment_l", "pk_t_rand_commitment_r"),
    ("eq_sha512", "challenge_response_l", "challenge"),
    ("same_secret", "pk_l", "pk_r"),
    ("same_secret", "pk_t_rand_commitment_l", "pk_t_rand_commitment_r"),
    ("ped", "cm2", "cm3"),
    ("ped", "challenge_response_D1", "challenge_response_D2"),
    ("ped", "challenge", "challenge_response_D"),
    ("consistency", "t1", "t2"),
    ("consistency", "s1", "s2"),
    ("consistency", "s2", "challenge"),
]


@pytest.mark.parametrize("kind,a,b", SWAPS)
def test_swapping_two_members(world, kind, a, b):
    k = KINDS[kind]
    obj = json.loads(k["prove"](world))
    obj[a], obj[b] = obj[b], obj[a]
    assert k["verify"](world, json.dumps(obj)) is False


# (kind, public input, the wrong value put in its place, expected outcome)
WRONG_INPUTS = [
    ("dlog_sha512", "h_sumR", "h_sumR", False),
    ("dlog_sha256", "sum_tokens", "sum_tokens", False),
    ("dlog_sha256_witness", "h_sumR", "h_sumR", False),
    ("eq_sha512", "gh", "other_h", False),
    ("eq_sha256", "h_sumR", "h_sumR", False),
    ("eq_sha256", "sum_tokens", "sum_tokens", ASSERTION),
    ("same_secret", "gh1", "other_g", False),
    ("same_secret", "gh2", "other_pair", False),
    ("ped", "gh1", "other_g", False),
    ("ped", "gh1", "other_h", False),
    ("ped", "gh2", "other_pair", True),  # the second pair plays no part
    ("consistency", "gh", "other_h", False),
    ("consistency", "gh", "other_g", False),
    ("consistency", "ped_cm", "ped_cm", False),
    ("consistency", "token", "token", False),
    ("consistency_witness", "pubkey", "pubkey", False),
]


@pytest.mark.parametrize("kind,name,wrong,expected", WRONG_INPUTS)
def test_wrong_public_input(world, kind, name, wrong, expected):
    k = KINDS[kind]
    text = k["prove"](world)
    changed = types.SimpleNamespace(**{**vars(world), name: world.wrong[wrong]})
    assert outcome(lambda: k["verify"](changed, text)) == expected


# ---- refusals ----


def test_provers_refuse_a_false_statement(world, gh):
    w = world
    wrong = w.wrong["sum_tokens"]
    cases = [
        (vemo.sigma_eq_dlog_proof, (wrong, w.pbsk, gh, w.h_sumR)),
        (vemo.sigma_eq_dlog_proof_sha256, (wrong, w.pbsk, gh, w.h_sumR)),
        (vemo.consistency_proof, (6, w.r, gh, w.ped_cm, w.token, w.pubkey)),  # wrong value
        (vemo.consistency_proof, (5, vemo.gen_r(), gh, w.ped_cm, w.token, w.pubkey)),  # wrong blinding
        (vemo.consistency_proof, (5, w.r, w.wrong["other_h"], w.ped_cm, w.token, w.pubkey)),  # wrong pair
        (vemo.consistency_proof_with_witness, (-5, w.r, gh, w.ped_cm, w.token, w.pubkey)),
    ]
    for fn, args in cases:
        assert panic_text(fn, *args) == ASSERTION


def test_token_is_not_checked_by_the_consistency_prover(world, gh):
    w = world
    text = vemo.consistency_proof(5, w.r, gh, w.ped_cm, w.wrong["token"], w.pubkey)
    assert vemo.consistency_proof_verify(text, gh, w.ped_cm, w.wrong["token"], w.pubkey) is False


def _bad_point_text():
    """64 hex digits whose x has no point on the curve."""
    x = 5
    while pow(x**3 + 3, (P - 1) // 2, P) == 1:
        x += 1
    return format(x, "064x")


def _malformed(world, kind):
    """(text, expected message) pairs for a record reader."""
    k = KINDS[kind]
    name, first, n = k["name"], k["record"][0], len(k["record"])
    obj = {m: v for m, v in json.loads(k["prove"](world)).items() if m in k["record"]}
    first_value = json.dumps(obj[first])
    not_on_curve = dict(obj, **{first: {"curve": "bn254", "point": _bad_point_text()}})
    wrong_curve = dict(obj, **{first: {"curve": "secp256k1", "point": obj[first]["point"]}})
    return [
        ("", 'Error("EOF while parsing a value", line: 1, column: 0)'),
        ("5", f'Error("invalid type: integer `5`, expected struct {name}", line: 1, column: 1)'),
        ('"proof"', f'Error("invalid type: string \\"proof\\", expected struct {name}", line: 1, column: 7)'),
        ("{}", f'Error("missing field `{first}`", line: 1, column: 2)'),
        ("[]", f'Error("invalid length 0, expected struct {name} with {n} elements", line: 1, column: 2)'),
        ("{" + f'"{first}":{first_value},"{first}":{first_value}' + "}", f"duplicate field `{first}`"),
        (json.dumps(not_on_curve), "invalid point: failed to deserialize the point"),
        (json.dumps(wrong_curve), "belongs to secp256k1 curve, expected bn254 curve"),
        (json.dumps({first: {"curve": "bn254", "scalar": "00"}}),
         "unknown field `scalar`, expected `curve` or `point`"),
        (json.dumps(obj) + " {}", "trailing characters"),
        (json.dumps(obj)[:-1], "EOF while parsing an object"),
    ]


VERIFYING_KINDS = ["dlog_sha512", "dlog_sha256", "eq_sha512", "eq_sha256", "same_secret", "ped", "consistency"]


@pytest.mark.parametrize("kind", VERIFYING_KINDS)
def test_malformed_texts_raise(world, kind):
    for text, expected in _malformed(world, kind):
        message = panic_text(KINDS[kind]["verify"], world, text)
        assert message.startswith(UNWRAP)
        assert expected in message, (text, message)


@pytest.mark.parametrize("kind", VERIFYING_KINDS)
def test_no_text_crashes_a_verifier(world, kind, rng):
    """Cut or damaged texts give True, False or PanicException, nothing else."""
    text = KINDS[kind]["prove"](world)
    damaged = [text[:cut] for cut in range(0, len(text), 7)]
    for _ in range(40):
        i = rng.randrange(len(text))
        damaged.append(text[:i] + rng.choice('{}[]",:0aZ \\\x00é') + text[i + 1:])
    for t in damaged:
        result = outcome(lambda: KINDS[kind]["verify"](world, t))
        assert result in (True, False) or result.startswith(UNWRAP) or result == ASSERTION, (t, result)


def test_malformed_keys_raise(world, gh):
    w = world
    proof = vemo.consistency_proof(5, w.r, gh, w.ped_cm, w.token, w.pubkey)
    cases = [
        (vemo.consistency_proof, (5, w.r, gh, w.ped_cm, w.token, "zz"), 'Error("invalid point"'),
        (vemo.consistency_proof_with_witness, (5, w.r, gh, w.ped_cm, w.token, "g" * 64),
         'Error("malformed hex encoding"'),
        (vemo.consistency_proof_verify, (proof, gh, w.ped_cm, w.token, "zz"), 'Error("invalid point"'),
        # the proof is read before the key
        (vemo.consistency_proof_verify, ("[]", gh, w.ped_cm, w.token, "zz"), 'Error("invalid length 0'),
        (vemo.sigma_eq_dlog_ped_proof, (1, gh, gh, _bad_point_text()),
         'Error("invalid point: failed to deserialize the point"'),
        (vemo.sigma_eq_dlog_ped_proof_with_witness, (1, gh, gh, ""), 'Error("invalid point"'),
    ]
    for fn, args, start in cases:
        assert panic_text(fn, *args).startswith(UNWRAP + start)


# ---- what the proofs say about their statements ----


def members(text):
    """Record members as Commit (points) or rand_r (scalars) values."""
    out = {}
    for name, value in json.loads(text).items():
        out[name] = point(value["point"]) if "point" in value else vemo.to_scalar_from_str(value["scalar"])
    return out


def test_dlog_witness_equation(world):
    m = members(KINDS["dlog_sha256_witness"]["prove"](world))
    assert same_point(vemo.add(m["chalrsph2r"], m["challengepk"]), m["pk_t_rand_commitment"])
    assert same_point(m["chalrsph2r"], vemo.p_to_x(world.h_sumR, m["challenge_response"]))


def test_consistency_witness_equations(world):
    w = world
    m = members(KINDS["consistency_witness"]["prove"](w))
    assert same_point(vemo.add(m["s1g"], m["s2h"]), vemo.add(m["t1"], m["chalcm"]))
    assert same_point(m["s2pubkey"], vemo.add(m["t2"], m["chaltk"]))
    assert same_point(m["chalcm"], vemo.p_to_x(w.ped_cm, m["challenge"]))
    assert same_point(m["chaltk"], vemo.p_to_x(vemo.from_str(w.token.get), m["challenge"]))
    assert same_point(m["s1g"], vemo.g_to_r(w.gh, m["s1"]))


def test_ped_witness_rebuilds_the_challenge(world, capfd):
    m = members(KINDS["ped_witness"]["prove"](world))
    t1 = vemo.sub(vemo.add(m["chalRspDg"], m["chalRspD1h"]), m["challengecm2"])
    t2 = vemo.sub(vemo.add(m["chalRspDcm2"], m["chalRspD2h"]), m["challengecm3"])
    # The challenge is the SHA-256 challenge over (T1, T2) alone, which is
    # what the two-point hash probe computes.
    assert vemo.hash_test2(t1, t2) == m["challenge"].get
    capfd.readouterr()
    assert same_point(m["chalRspDg"], vemo.g_to_r(world.gh, m["challenge_response_D"]))
    assert same_point(m["challengecm3"], vemo.p_to_x(m["cm3"], m["challenge"]))


@pytest.mark.parametrize("v", [42, -42, 0, 1, 46340])
def test_ped_commitments_open_as_stated(world, gh, v):
    text = vemo.sigma_eq_dlog_ped_proof(v, gh, gh, world.pubkey)
    m = members(text)
    assert json.loads(text)["cm1"] == json.loads(text)["cm3"]
    assert same_point(m["cm1"], vemo.commit(v * v, m["r1"], gh))
    assert same_point(m["cm2"], vemo.commit(v, m["r2"], gh))
    assert vemo.to_token_from_pk(world.pubkey, m["r1"]).get == json.loads(text)["token"]["point"]
    assert vemo.sigma_eq_dlog_ped_verify(text, gh, world.wrong["other_pair"]) is True


def test_ped_square_does_not_see_the_sign(world, gh):
    squares = []
    for v in (9, -9):
        m = members(vemo.sigma_eq_dlog_ped_proof(v, gh, gh, world.pubkey))
        squares.append(vemo.sub(m["cm1"], vemo.p_to_x(point(gh.h), m["r1"])).get)
    assert squares[0] == squares[1] == vemo.g_to_x(gh, 81).get


def test_eq_dlog_record(world):
    for kind in ("eq_sha512", "eq_sha256"):
        obj = json.loads(KINDS[kind]["prove"](world))
        assert obj["pk_r"]["point"] == world.pbsk.get_pk()
        assert obj["pk_l"]["point"] == world.sum_tokens.get
        assert obj["challenge_response_l"] == obj["challenge_response_r"]


def test_eq_dlog_over_equal_bases_never_verifies(world, gh):
    same = vemo.sigma_eq_dlog_same_secret(7, gh, gh)
    assert vemo.sigma_eq_dlog_verify_same_secret(same, gh, gh) is False
    # h_sumR = h: a proof can be made (the tokens are then sk·h) but not verified.
    h = point(gh.h)
    tokens = vemo.to_token_from_str(world.pbsk.get_pk())
    text = vemo.sigma_eq_dlog_proof_sha256(tokens, world.pbsk, gh, h)
    assert vemo.sigma_eq_dlog_verify_sha256(text, gh, h, tokens) is False


def _eq_dlog_record_made_by_hand(g1, g2, x, y, k_l, k_r):
    """A discrete-log equality record over g1 and g2 built from the public
    functions alone: pk_l = x·g1, pk_r = y·g2, nonces k_l and k_r."""
    def mul(base, n):
        return vemo.p_to_x(base, scalar(n))

    pk_l, pk_r, t_l, t_r = mul(g1, x), mul(g2, y), mul(g1, k_l), mul(g2, k_r)
    h = hashlib.sha256()
    for p in (t_l, t_r, g1, g2, pk_l, pk_r):
        h.update(bytes(p.to_bytes()))
    h.update(bytes(4))
    c = int.from_bytes(h.digest()[:32], "big") % R

    def pt_json(p):
        return {"curve": "bn254", "point": p.get}

    def sc_json(n):
        return {"curve": "bn254", "scalar": scalar_text(n)}

    return json.dumps({
        "pk_l": pt_json(pk_l), "pk_r": pt_json(pk_r),
        "pk_t_rand_commitment_l": pt_json(t_l), "pk_t_rand_commitment_r": pt_json(t_r),
        "challenge_response_l": sc_json(k_l - c * x), "challenge_response_r": sc_json(k_r - c * y),
        "challenge": sc_json(c),
    })


@pytest.mark.parametrize("x, y, k_l, k_r, expected", [
    (1234, 1234, 99, 99, True),        # an honest record, made by hand
    (1234, 5678, 99, 314, False),      # different secrets: each side alone holds
    (1234, 5678, 99, 99, False),
    (1234, 1234, 99, 314, False),      # one secret, two nonces: never made by the prover
])
def test_eq_dlog_requires_one_response_for_both_bases(world, gh, x, y, k_l, k_r, expected):
    g1, g2 = point(gh.g), point(world.gh2.g)
    text = _eq_dlog_record_made_by_hand(g1, g2, x, y, k_l, k_r)
    assert vemo.sigma_eq_dlog_verify_same_secret(text, gh, world.gh2) is expected


def test_same_secret_shows_v_only_through_the_public_points(world, gh):
    text = vemo.sigma_eq_dlog_same_secret(-12345, gh, world.gh2)
    obj = json.loads(text)
    assert obj["pk_l"]["point"] == vemo.g_to_x(gh, -12345).get
    assert obj["pk_r"]["point"] == vemo.p_to_x(point(world.gh2.g), scalar(-12345)).get
    assert vemo.sigma_eq_dlog_verify_same_secret(text, gh, world.gh2) is True


def test_dlog_proof_ignores_the_token_it_is_given(world):
    other = world.wrong["sum_tokens"]
    text = vemo.sigma_dlog_proof_explicit(other, world.pbsk, world.h_sumR)
    expected = vemo.p_to_x(world.h_sumR, vemo.to_scalar_from_str(world.pbsk.get_sk()))
    assert json.loads(text)["pk"]["point"] == expected.get == world.sum_tokens.get
    assert vemo.sigma_dlog_proof_explicit_verify(text, world.h_sumR, world.sum_tokens) is True
    assert vemo.sigma_dlog_proof_explicit_verify(text, world.h_sumR, other) is False


@pytest.mark.parametrize("val", [0, -1, -2147483648, 2147483647])
def test_consistency_for_edge_amounts(world, gh, val):
    w = world
    c = vemo.commit(val, w.r, gh)
    text = vemo.consistency_proof(val, w.r, gh, c, w.token, w.pubkey)
    assert vemo.consistency_proof_verify(text, gh, c, w.token, w.pubkey) is True


def test_consistency_takes_the_uncompressed_key(world, gh):
    w = world
    key = bytes(point(w.pubkey).to_bytes()).hex()
    text = vemo.consistency_proof(5, w.r, gh, w.ped_cm, w.token, key)
    assert vemo.consistency_proof_verify(text, gh, w.ped_cm, w.token, w.pubkey) is True
    assert vemo.consistency_proof_verify(text, gh, w.ped_cm, w.token, key.upper()) is True


# ---- proofs made by an independent implementation ----

GOLDEN = [p for p in load("proofs.json")["proofs"] if not p["made_by"].startswith("range_proof")]
GOLDEN_KIND = {
    "sigma_dlog_proof_explicit": "dlog_sha512",
    "sigma_dlog_proof_explicit_sha256": "dlog_sha256",
    "sigma_dlog_proof_explicit_sha256_with_witness": "dlog_sha256_witness",
    "sigma_eq_dlog_proof": "eq_sha512",
    "sigma_eq_dlog_proof_sha256": "eq_sha256",
    "sigma_eq_dlog_same_secret": "same_secret",
    "sigma_eq_dlog_ped_proof": "ped",
    "sigma_eq_dlog_ped_proof_with_witness": "ped_witness",
    "consistency_proof": "consistency",
    "consistency_proof_with_witness": "consistency_witness",
}


def golden_world(gh, inputs):
    w = types.SimpleNamespace(gh=gh, gh1=gh, gh2=gh)
    if "h_sumR" in inputs:
        w.h_sumR = point(inputs["h_sumR"])
        w.sum_tokens = vemo.to_token_from_str(inputs["sum_tokens"])
        w.pbsk = vemo.regen_pb_sk(gh, vemo.to_scalar_from_str(inputs["pbsk_sk"]))
    if "g2" in inputs:
        w.gh2 = vemo.gen_new_GH(point(inputs["g2"]), point(gh.h))
    if "ped_cm" in inputs:
        w.ped_cm = point(inputs["ped_cm"])
        w.token = vemo.to_token_from_str(inputs["token"])
    w.pubkey = inputs.get("pubkey", inputs.get("pk"))
    return w


def test_golden_set_covers_every_sigma_prover():
    assert sorted(p["made_by"] for p in GOLDEN) == sorted(GOLDEN_KIND)


@pytest.mark.parametrize("case", GOLDEN, ids=[p["made_by"] for p in GOLDEN])
def test_golden_proof_verifies(gh, case):
    kind = GOLDEN_KIND[case["made_by"]]
    w = golden_world(gh, case["inputs"])
    assert case["verifies"] is True
    assert KINDS[kind]["verify"](w, case["proof"]) is True
    assert list(json.loads(case["proof"])) == KINDS[kind].get("layout", KINDS[kind]["record"])
    assert case["proof"] == json.dumps(json.loads(case["proof"]), indent=2)


GOLDEN_TAMPER = [(p, m) for p in GOLDEN for m in KINDS[GOLDEN_KIND[p["made_by"]]]["record"]]


@pytest.mark.parametrize("case,member", GOLDEN_TAMPER, ids=[f"{p['made_by']}-{m}" for p, m in GOLDEN_TAMPER])
def test_golden_proof_with_one_member_changed(gh, case, member):
    kind = GOLDEN_KIND[case["made_by"]]
    obj = json.loads(case["proof"])
    obj[member] = other_value(obj[member])
    w = golden_world(gh, case["inputs"])
    assert outcome(lambda: KINDS[kind]["verify"](w, json.dumps(obj, indent=2))) == tamper_outcome(kind, member)


def test_golden_inputs_are_consistent(gh):
    """The golden statements are true ones: the tokens and commitments open."""
    for case in GOLDEN:
        i = case["inputs"]
        if "h_sumR" in i:
            assert vemo.p_to_x(point(i["h_sumR"]), vemo.to_scalar_from_str(i["pbsk_sk"])).get == i["sum_tokens"]
        if "ped_cm" in i:
            r = vemo.to_scalar_from_str(i["r"])
            assert vemo.commit(i["val"], r, gh).get == i["ped_cm"]
            assert vemo.to_token_from_pk(i["pubkey"], r).get == i["token"]


# ---- parameter names, as the missing-arguments message lists them ----

SIGNATURES = {
    "print_token": ["token"],
    "h_to_x": ["gh", "x"],
    "g_to_x": ["gh", "val"],
    "g_to_r": ["gh", "r"],
    "p_to_x": ["p", "x"],
    "sigma_eq_dlog_proof": ["sum_tokens", "pbsk", "gh", "h_sumR"],
    "sigma_eq_dlog_proof_sha256": ["sum_tokens", "pbsk", "gh", "h_sumR"],
    "sigma_eq_dlog_verify": ["ser_dlog_eq_proof", "gh", "h_sumR", "sum_tokens"],
    "sigma_eq_dlog_verify_sha256": ["ser_dlog_eq_proof", "gh", "h_sumR", "sum_tokens"],
    "consistency_proof": ["val", "r", "gh", "ped_cm", "token", "pubkey"],
    "consistency_proof_verify": ["proof", "gh", "ped_cm", "token", "pubkey"],
    "sigma_dlog_proof_explicit": ["sum_tokens", "pbsk", "h_sumR"],
    "sigma_dlog_proof_explicit_verify": ["ser_proof", "h_sumR", "sum_tokens"],
    "sigma_dlog_proof_explicit_sha256": ["sum_tokens", "pbsk", "h_sumR"],
    "sigma_dlog_proof_explicit_verify_sha256": ["ser_proof", "h_sumR", "sum_tokens"],
    "get_brut_v": ["c", "t", "gh", "pbsk", "range"],
    "hash_test1": ["a1"],
    "hash_test2": ["a1", "a2"],
    "hash_test3": ["a1", "a2", "a3"],
    "sigma_eq_dlog_same_secret": ["v", "gh1", "gh2"],
    "sigma_eq_dlog_verify_same_secret": ["ser_dlog_eq_proof", "gh1", "gh2"],
    "sigma_eq_dlog_ped_proof": ["v", "gh1", "gh2", "pk"],
    "sigma_eq_dlog_ped_verify": ["ser_dlog_eq_proof", "gh1", "gh2"],
    "consistency_proof_with_witness": ["val", "r", "gh", "ped_cm", "token", "pubkey"],
    "sigma_eq_dlog_ped_proof_with_witness": ["v", "gh1", "gh2", "pk"],
    "sigma_dlog_proof_explicit_sha256_with_witness": ["sum_tokens", "pbsk", "h_sumR"],
    "get_y_coord": ["a1"],
}


def _listed(names):
    quoted = [f"'{n}'" for n in names]
    if len(quoted) == 1:
        return quoted[0]
    if len(quoted) == 2:
        return " and ".join(quoted)
    return ", ".join(quoted[:-1]) + ", and " + quoted[-1]


@pytest.mark.parametrize("name", SIGNATURES)
def test_parameter_names(name):
    params = SIGNATURES[name]
    word = "argument" if len(params) == 1 else "arguments"
    with pytest.raises(TypeError) as info:
        getattr(vemo, name)()
    assert str(info.value) == f"{name}() missing {len(params)} required positional {word}: {_listed(params)}"


def test_keyword_call_matches_positional(world, gh):
    w = world
    text = vemo.consistency_proof(pubkey=w.pubkey, token=w.token, ped_cm=w.ped_cm, gh=gh, r=w.r, val=5)
    assert vemo.consistency_proof_verify(pubkey=w.pubkey, token=w.token, ped_cm=w.ped_cm, gh=gh, proof=text) is True
    with pytest.raises(TypeError, match="argument 'gh2': 'Commit' object cannot be converted to 'GH'"):
        vemo.sigma_eq_dlog_ped_verify(text, gh, w.ped_cm)


def _ped_caller_checks(text, gh, pk):
    """What the security notes tell a caller to check beyond the verifier."""
    rec = json.loads(text)

    def pt(name):
        return vemo.from_str(rec[name]["point"])

    r1 = vemo.to_scalar_from_str(rec["r1"]["scalar"])
    return (vemo.sigma_eq_dlog_ped_verify(text, gh, gh)
            and vemo.sub(pt("cm1"), pt("cm3")).is_zero()
            and vemo.p_to_x(vemo.from_str(pk), r1).get == rec["token"]["point"])


@pytest.mark.parametrize("member, caller_accepts", [
    (None, True), ("cm1", False), ("token", False), ("r1", False), ("r2", True)])
def test_ped_verifier_binds_only_cm2_and_cm3(world, gh, member, caller_accepts):
    text = vemo.sigma_eq_dlog_ped_proof(42, gh, gh, world.pubkey)
    if member is not None:
        obj = json.loads(text)
        kind = "point" if "point" in obj[member] else "scalar"
        obj[member][kind] = vemo.g_to_x(gh, 5).get if kind == "point" else scalar_text(5)
        text = json.dumps(obj)
    assert vemo.sigma_eq_dlog_ped_verify(text, gh, gh) is True
    assert _ped_caller_checks(text, gh, world.pubkey) is caller_accepts
