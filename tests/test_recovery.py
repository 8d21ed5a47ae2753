"""Recovering a committed amount with the secret key (get_brut_v)."""
import pytest

import vemo


@pytest.fixture(scope="module")
def holder(gh):
    pbsk = vemo.gen_pb_sk(gh)
    r = vemo.gen_r()
    return pbsk, r, pbsk.to_token(r)


def recover(gh, holder, v, rng):
    pbsk, r, t = holder
    return vemo.get_brut_v(vemo.commit(v, r, gh), t, gh, pbsk, rng)


# (amount, range, result): candidates run over −(range − 1) … range − 1,
# and −1 stands both for the amount −1 and for "not found".
CASES = [
    (0, 1, 0),
    (1, 1, -1),
    (-1, 1, -1),
    (0, 2, 0),
    (1, 2, 1),
    (-1, 2, -1),
    (2, 2, -1),
    (99, 100, 99),
    (-99, 100, -99),
    (100, 100, -1),
    (-100, 100, -1),
    (42, 0, -1),
    (0, 0, -1),
    (42, -5, -1),
    (0, -2147483648, -1),
    (1000, 1001, 1000),
    (1001, 1001, -1),
    # around the windows of a search over 10^6 (1000 steps of 2001)
    (1000, 10**6, 1000),
    (1001, 10**6, 1001),
    (-1001, 10**6, -1001),
    (2001, 10**6, 2001),
    (3001, 10**6, 3001),
    (-3002, 10**6, -3002),
    (999_999, 10**6, 999_999),
    (-999_999, 10**6, -999_999),
    (10**6, 10**6, -1),
    (-(10**6), 10**6, -1),
    (10**6 + 1, 10**6, -1),
    (2147483647, 2147483647, -1),
    (2147483646, 2147483647, 2147483646),
    (-2147483646, 2147483647, -2147483646),
    (-2147483648, 2147483647, -1),
]


@pytest.mark.parametrize("v,rng,expected", CASES)
def test_table(gh, holder, v, rng, expected):
    assert recover(gh, holder, v, rng) == expected


def test_every_amount_below_a_hundred(gh, holder):
    for v in range(-99, 100):
        assert recover(gh, holder, v, 100) == v


def test_random_amounts(gh, holder, rng):
    for _ in range(20):
        bound = rng.choice([10, 1000, 70_000, 2**31 - 1])
        v = rng.randrange(-bound + 1, bound)
        assert recover(gh, holder, v, bound) == v
        assert recover(gh, holder, v, abs(v)) == -1  # |v| itself is just outside


def test_summed_commitments_and_tokens(gh, holder):
    pbsk, _, _ = holder
    rs = [vemo.gen_r() for _ in range(3)]
    amounts = [500, -70, 1234]
    c = vemo.commit(amounts[0], rs[0], gh)
    t = pbsk.to_token(rs[0])
    for v, r in zip(amounts[1:], rs[1:]):
        c = vemo.add(c, vemo.commit(v, r, gh))
        t = vemo.add_token(t, pbsk.to_token(r))
    assert vemo.get_brut_v(c, t, gh, pbsk, 10_000) == sum(amounts)


def test_wrong_token_or_key_finds_nothing(gh, holder):
    pbsk, r, t = holder
    c = vemo.commit(17, r, gh)
    other = vemo.gen_pb_sk(gh)
    assert vemo.get_brut_v(c, pbsk.to_token(vemo.gen_r()), gh, pbsk, 10**6) == -1
    assert vemo.get_brut_v(c, t, gh, other, 10**6) == -1
    assert vemo.get_brut_v(c, other.to_token(r), gh, other, 10**6) == 17


def test_degenerate_keys_and_generators(gh, holder):
    pbsk, r, t = holder
    zero = r.sub(r)
    nobody = vemo.regen_pb_sk(gh, zero)  # sk = 0: sk·c − t = −t, and sk·g is the identity
    c = vemo.commit(3, r, gh)
    assert vemo.get_brut_v(c, t, gh, nobody, 100) == -1
    assert vemo.get_brut_v(c, vemo.sub_token(t, t), gh, nobody, 100) == 0
    identity = vemo.sub(c, c)
    flat = vemo.gen_new_GH(identity, vemo.from_str(gh.h))  # g is the identity
    assert vemo.get_brut_v(vemo.commit(3, r, flat), t, flat, pbsk, 100) == 0


def test_argument_conversion(gh, holder):
    pbsk, r, t = holder
    c = vemo.commit(7, r, gh)
    assert vemo.get_brut_v(c=c, t=t, gh=gh, pbsk=pbsk, range=8) == 7
    assert vemo.get_brut_v(c, t, gh, pbsk, True) == -1
    with pytest.raises(OverflowError, match="out of range integral type conversion attempted"):
        vemo.get_brut_v(c, t, gh, pbsk, 2**31)
    with pytest.raises(TypeError, match="argument 't': 'Commit' object cannot be converted to 'Token'"):
        vemo.get_brut_v(c, c, gh, pbsk, 8)
