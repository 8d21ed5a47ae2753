"""Point and scalar texts: what decodes, and the exact failure texts with
their line and column (lines from 1; the column is the position of the last
character read, or of the offending character for syntax errors)."""
import pytest

import vemo
from helpers import R, scalar_text

G = "0" * 63 + "1"
UNWRAP = "called `Result::unwrap()` on an `Err` value: "


def panic_text(fn, arg):
    with pytest.raises(BaseException) as info:
        fn(arg)
    assert type(info.value).__name__ == "PanicException"
    return str(info.value)


def err(msg, line, col):
    return UNWRAP + f'Error("{msg}", line: {line}, column: {col})'


@pytest.mark.parametrize(
    "text, expected",
    [
        ("zz", err("invalid point", 1, 29)),
        ("", err("invalid point", 1, 27)),
        ("0" * 63, err("invalid point", 1, 90)),
        ("0" * 63 + "g", err("malformed hex encoding", 1, 91)),
        ("0" * 63 + "4", err("invalid point: failed to deserialize the point", 1, 91)),  # x^3+3 not a square
        ("c0" + "0" * 62, err("invalid point: failed to deserialize the point", 1, 91)),  # both flag bits
        (format(0x30644E72E131A029B85045B68181585D97816A916871CA8D3C208C16D87CFD47, "064x"),
         err("invalid point: failed to deserialize the point", 1, 91)),  # x = p
        ("0" * 127 + "3", err("invalid point: failed to deserialize the point", 1, 155)),  # (3, 0) off the curve
        ('a"b', err("invalid point", 1, 28)),
        (G + '","x":"1', err("unknown field `x`, expected `curve` or `point`", 1, 95)),
        (G + '",\n"x":"1', err("unknown field `x`, expected `curve` or `point`", 2, 3)),
        (G + '","point":"' + G, err("duplicate field `point`", 1, 99)),
        (G + '","curve":"bn254', err("duplicate field `curve_name`", 1, 99)),
        (G + '"} x', err("trailing characters", 1, 94)),
        (G + '"', err("expected `,` or `}`", 1, 92)),
    ],
)
def test_point_text_failures(text, expected):
    assert panic_text(vemo.from_str, text) == expected


@pytest.mark.parametrize("fn", [vemo.from_str, vemo.to_token_from_str, lambda s: vemo.add_value_commits(s, G),
                                lambda s: vemo.sub_value_commits(G, s), lambda s: vemo.to_token_from_pk(s, vemo.gen_r())])
def test_every_point_text_reader_reports_the_same(fn):
    assert panic_text(fn, "zz") == err("invalid point", 1, 29)


@pytest.mark.parametrize(
    "text, expected",
    [
        ("0" * 62, err("invalid length 62, expected 64", 1, 90)),
        ("ab", err("invalid length 2, expected 64", 1, 30)),
        ("0" * 63 + "x", err("malformed hex encoding", 1, 92)),
        ("0" * 64 + '","curve":"x', err("duplicate field `curve_name`", 1, 100)),
    ],
)
def test_scalar_text_failures(text, expected):
    assert panic_text(vemo.to_scalar_from_str, text) == expected


def test_scalar_texts_reduce_modulo_the_order():
    assert vemo.to_scalar_from_str(format(R, "064x")).is_zero()
    assert vemo.to_scalar_from_str(format(R + 5, "064x")).get == scalar_text(5)
    assert vemo.to_scalar_from_str("F" * 64).get == scalar_text(2**256 - 1)


def test_point_forms_decode_alike(gh):
    c = vemo.commit(9, vemo.gen_r(), gh)
    raw = bytes(c.to_bytes())
    assert vemo.from_str(raw.hex()).get == c.get
    # Bit 7 of byte 0 carries no meaning in the uncompressed form.
    flagged = bytes([raw[0] | 0x80]) + raw[1:]
    assert vemo.from_str(flagged.hex()).get == c.get
    neg_g = vemo.from_str("80" + "0" * 61 + "1")
    assert neg_g.x == "1" and neg_g.get == "80" + "0" * 61 + "1"
    assert vemo.from_str("40" + "0" * 126).is_zero()


def test_failed_decoding_changes_nothing(gh):
    r = vemo.gen_r()
    c = vemo.commit(1, r, gh)
    before = (c.get, r.get)
    for bad in ("zz", "0" * 63 + "4"):
        with pytest.raises(BaseException):
            vemo.add_value_commits(c.get, bad)
    assert (c.get, r.get) == before
