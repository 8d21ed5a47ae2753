"""Diagnostic building blocks: generator and point multiples, the y
coordinate, the hash-to-scalar probes and the token print."""
import hashlib

import pytest

import vemo
from helpers import P, R, load, scalar_text

GOLD = load("deterministic.json")
G_TEXT = "0" * 63 + "1"
IDENTITY = "40" + "0" * 62


def scalar(n):
    return vemo.to_scalar_from_str(scalar_text(n))


def listing(label, text):
    """The probe's print of one point: label and [, 64 byte lines, ]."""
    lines = [label + "["] + [f"    {b}," for b in vemo.from_str(text).to_bytes()] + ["]"]
    return "\n".join(lines) + "\n"


def probe_value(*texts):
    data = b"".join(bytes(vemo.from_str(t).to_bytes()) for t in texts) + bytes(4)
    return format(int.from_bytes(hashlib.sha256(data).digest(), "big") % R, "064x")


def test_multiples(gh):
    r = vemo.gen_r()
    zero = r.sub(r)
    h, g = vemo.from_str(gh.h), vemo.from_str(gh.g)
    assert vemo.g_to_x(gh, 0).is_zero()
    assert vemo.p_to_x(g, zero).is_zero()
    assert vemo.p_to_x(vemo.from_str(IDENTITY), r).is_zero()
    assert vemo.g_to_x(gh, 1).get == gh.g
    assert vemo.g_to_x(gh, -1).get == vemo.sub(vemo.g_to_x(gh, 0), vemo.g_to_x(gh, 1)).get
    assert vemo.g_to_x(gh, -1).get == GOLD["g_to_x_minus1_genGH"]
    assert vemo.g_to_x(gh, -2147483648).get == vemo.p_to_x(g, scalar(-2147483648)).get
    assert vemo.g_to_r(gh, r).get == vemo.p_to_x(g, r).get
    assert vemo.add(vemo.g_to_x(gh, 7), vemo.p_to_x(h, r)).get == vemo.commit(7, r, gh).get
    assert type(vemo.h_to_x(gh, r)).__name__ == "hx"


def test_h_to_x_gives_an_opaque_value(gh):
    x = vemo.h_to_x(gh, vemo.gen_r())
    assert not [m for m in dir(x) if not m.startswith("__")]
    with pytest.raises(TypeError, match="cannot be converted to 'Commit'"):
        vemo.p_to_x(x, vemo.gen_r())


def test_key_holder_strips_the_blinding(gh):
    pbsk = vemo.gen_pb_sk(gh)
    r = vemo.gen_r()
    c, t = vemo.commit(-31, r, gh), pbsk.to_token(r)
    sk = vemo.to_scalar_from_str(pbsk.get_sk())
    assert vemo.sub_commit_token(vemo.p_to_x(c, sk), t).get == vemo.p_to_x(vemo.g_to_x(gh, -31), sk).get


@pytest.mark.parametrize("text,expected", [
    (G_TEXT, "2"),
    ("8" + "0" * 62 + "1", format(P - 2, "x")),  # −G
    (IDENTITY, "0"),
])
def test_get_y_coord(text, expected):
    assert vemo.get_y_coord(vemo.from_str(text)) == expected


def test_get_y_coord_golden():
    assert vemo.get_y_coord(vemo.from_str("8" + "0" * 62 + "1")) == GOLD["get_y_coord_negG"]


def test_hash_probes_print_and_hash(gh, capfd):
    g, h, neg = gh.g, G_TEXT, "8" + "0" * 62 + "1"
    cases = [
        (vemo.hash_test1, (g,)),
        (vemo.hash_test2, (h, neg)),
        (vemo.hash_test3, (g, IDENTITY, h)),
    ]
    for fn, texts in cases:
        capfd.readouterr()
        result = fn(*map(vemo.from_str, texts))
        out = capfd.readouterr().out
        labels = ["a1uncompressed", "a2uncompressed", "a3uncompressed"]
        assert out == "".join(listing(label, t) for label, t in zip(labels, texts))
        assert len(out.splitlines()) == 66 * len(texts)
        assert result == probe_value(*texts)
    assert vemo.hash_test2(vemo.from_str(G_TEXT), vemo.from_str(neg)) == GOLD["hash_test2_G_negG"]
    capfd.readouterr()


def test_hash_probes_depend_on_order(gh, capfd):
    c, d = vemo.from_str(gh.g), vemo.from_str(gh.h)
    assert vemo.hash_test1(c) == vemo.hash_test1(c)
    assert vemo.hash_test2(c, d) != vemo.hash_test2(d, c)
    assert vemo.hash_test2(c, c) == vemo.hash_test2(c, c)
    assert vemo.hash_test3(c, d, c) != vemo.hash_test3(d, c, c)
    capfd.readouterr()


def test_print_token(gh, capfd):
    t = vemo.to_token_from_str(G_TEXT)
    capfd.readouterr()
    assert vemo.print_token(t) == "ok"
    assert capfd.readouterr().out == 'Bn254Point {\n    purpose: "deserialized point",\n    ge: (1, 2),\n}\n'
    assert vemo.print_token(vemo.sub_token(t, t)) == "ok"
    assert capfd.readouterr().out.splitlines()[2] == "    ge: infinity,"
