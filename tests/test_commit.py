"""Commitments, keys and tokens: the algebra, the golden values and the
value classes' members."""
import pytest

import vemo
from helpers import P, R, load, scalar_text

GOLD = load("deterministic.json")
IDENTITY = "40" + "0" * 62
G_TEXT = "0" * 63 + "1"


def scalar(n):
    return vemo.to_scalar_from_str(scalar_text(n))


def test_golden_values(gh):
    assert gh.h == GOLD["gen_GH"]["h"] and gh.g == GOLD["gen_GH"]["g"]
    case = GOLD["commit_5_r7_genGH"]
    c = vemo.commit(case["val"], vemo.to_scalar_from_str(case["r"]), gh)
    assert (c.get, c.x, c.y) == (case["get"], case["x"], case["y"])
    keys = GOLD["regen_pb_sk_sk11_genGH"]
    pbsk = vemo.regen_pb_sk(gh, vemo.to_scalar_from_str(keys["sk"]))
    assert pbsk.get_pk() == keys["pk"] and pbsk.get_sk() == keys["sk"]
    assert pbsk.to_token(scalar(7)).get == GOLD["token_r7_pk_sk11"]
    assert vemo.to_token_from_pk(keys["pk"], scalar(7)).get == GOLD["token_r7_pk_sk11"]


def test_generator_pair_is_fixed(gh):
    again = vemo.gen_GH()
    assert (again.h, again.g) == (gh.h, gh.g)
    assert gh.h == G_TEXT
    assert vemo.curve_name() == "Bn254"


def test_commitment_algebra(gh, rng):
    r1, r2 = vemo.gen_r(), vemo.gen_r()
    zero = vemo.commit(0, r1, gh)
    assert zero.get == vemo.to_token_from_pk(gh.h, r1).get  # 0·g + r·h = r·h
    assert vemo.sub(vemo.commit(1, r1, gh), zero).get == gh.g
    assert vemo.add(vemo.commit(-1, r1, gh), vemo.commit(1, r1, gh)).get == vemo.commit(0, r1.sum(r1), gh).get
    for _ in range(5):
        a, b = rng.randrange(-2**30, 2**30), rng.randrange(-2**30, 2**30)
        assert vemo.add(vemo.commit(a, r1, gh), vemo.commit(b, r2, gh)).get == vemo.commit(a + b, r1.sum(r2), gh).get
    c, d = vemo.commit(3, r1, gh), vemo.commit(9, r2, gh)
    assert vemo.sub(c, c).is_zero()
    assert vemo.add(vemo.sub(c, d), vemo.sub(d, c)).is_zero()
    assert vemo.add_value_commits(c.get, d.get) == vemo.add(c, d).get == c.sum(d).get
    assert vemo.sub_value_commits(c.get, d.get) == vemo.sub(c, d).get == c.sub(d).get
    # c − d is d − c with y replaced by p − y.
    assert int(c.sub(d).y) == P - int(d.sub(c).y) and c.sub(d).x == d.sub(c).x


def test_identity_and_generator_members(gh, r):
    ident = vemo.commit(0, r, gh).sub(vemo.commit(0, r, gh))
    assert ident.is_zero()
    assert ident.get == ident.to_str == IDENTITY
    assert (ident.x, ident.y) == ("0", "0")
    assert ident.to_bytes() == [64] + [0] * 63
    g = vemo.from_str(G_TEXT)
    assert not g.is_zero()
    assert (g.x, g.y, g.get, g.to_str) == ("1", "2", G_TEXT, G_TEXT)
    assert g.to_bytes() == [0] * 31 + [2] + [0] * 31 + [1]


@pytest.fixture
def r():
    return vemo.gen_r()


def test_scalar_members(r):
    assert r.get == r.to_string and len(r.get) == 64
    assert r.neg().sum(r).is_zero()
    assert r.sub(r).is_zero() and r.sub(r).neg().is_zero()
    assert not r.is_zero()
    assert int(r.neg().get, 16) == R - int(r.get, 16)
    assert vemo.to_scalar_from_str(r.get).get == r.get
    assert vemo.to_scalar_from_str("f" * 64).get == scalar_text(2**256 - 1)


def test_text_round_trips(gh, r):
    c = vemo.commit(11, r, gh)
    assert vemo.from_str(c.get).get == c.get
    uncompressed = bytes(c.to_bytes()).hex()
    assert vemo.from_str(uncompressed).get == c.get
    assert vemo.from_str(c.get.upper()).get == c.get
    assert vemo.from_str(IDENTITY).is_zero()
    assert vemo.to_token_from_str(c.get).get == c.get


def test_keys_and_tokens(gh, r):
    pbsk = vemo.gen_pb_sk(gh)
    assert pbsk.to_token(r).get == vemo.to_token_from_pk(pbsk.get_pk(), r).get
    s = vemo.to_scalar_from_str(pbsk.get_sk())
    again = vemo.regen_pb_sk(gh, s)
    assert again.get_pk() == pbsk.get_pk() and again.get_sk() == s.get
    t1, t2 = pbsk.to_token(r), pbsk.to_token(vemo.gen_r())
    assert vemo.sub_token(vemo.add_token(t1, t2), t2).get == t1.get
    c = vemo.commit(4, r, gh)
    assert vemo.add_commit_token(vemo.sub_commit_token(c, t1), t1).get == c.get
    assert isinstance(vemo.sub_commit_token(c, t1), vemo.Commit)


def test_gen_new_GH_swaps_roles(gh, r):
    x, y = vemo.commit(1, r, gh), vemo.commit(2, r, gh)
    pair = vemo.gen_new_GH(x, y)
    assert pair.g == x.get and pair.h == y.get
    # Under the new pair x is the value generator and y the blinding one.
    c = vemo.commit(1, r, pair)
    assert c.get == vemo.add_commit_token(x, vemo.to_token_from_pk(y.get, r)).get


def test_from_coords(gh):
    g = vemo.from_coords(scalar_text(1), scalar_text(2))
    assert g.get == G_TEXT
    # Coordinates are reduced modulo the group order first.
    assert vemo.from_coords(format(R + 1, "064x"), scalar_text(2)).get == G_TEXT
    with pytest.raises(BaseException) as info:
        vemo.from_coords(scalar_text(1), scalar_text(3))
    assert str(info.value) == "called `Result::unwrap()` on an `Err` value: NotOnCurve"


def test_print_commit_writes_four_lines(capfd, gh):
    assert vemo.print_commit(vemo.from_str(G_TEXT)) == "ok"
    assert capfd.readouterr().out == (
        'Bn254Point {\n    purpose: "deserialized point",\n    ge: (1, 2),\n}\n'
    )
    r = vemo.gen_r()
    c = vemo.commit(0, r, gh)
    vemo.print_commit(c.sub(c))
    assert capfd.readouterr().out == 'Bn254Point {\n    purpose: "sub_point",\n    ge: infinity,\n}\n'
    vemo.print_commit(vemo.commit(3, r, gh))
    out = capfd.readouterr().out.splitlines()
    assert out[1] == '    purpose: "scalar_mul",' and out[2].startswith("    ge: (") and len(out) == 4
