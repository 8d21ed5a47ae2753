"""Arbitrary text never crashes a decoder: it decodes, or it raises
PanicException with a decoding message, and the process goes on."""
import string

from hypothesis import given, settings
from hypothesis import strategies as st

import vemo

HEX = st.text(alphabet="0123456789abcdefABCDEF", min_size=0, max_size=130)
ANY = st.text(min_size=0, max_size=200)
JSONISH = st.text(alphabet=string.hexdigits + '{}[]",:\\ \n\tnulltruefalse-.eE0123456789', min_size=0, max_size=200)


def decodes_or_panics(fn, *args):
    try:
        fn(*args)
    except BaseException as e:  # PanicException derives from BaseException
        assert type(e).__name__ == "PanicException", repr(e)
        assert str(e).startswith("called `Result::unwrap()` on an `Err` value: ")


@settings(max_examples=300, deadline=None)
@given(st.one_of(HEX, ANY, JSONISH))
def test_point_and_scalar_texts(text):
    decodes_or_panics(vemo.from_str, text)
    decodes_or_panics(vemo.to_token_from_str, text)
    decodes_or_panics(vemo.to_scalar_from_str, text)


@settings(max_examples=200, deadline=None)
@given(st.text(alphabet="0123456789abcdef", min_size=64, max_size=64),
       st.text(alphabet="0123456789abcdef", min_size=64, max_size=64))
def test_coordinates(x, y):
    decodes_or_panics(vemo.from_coords, x, y)
