"""What several test files share: the curve's constants (an independent copy,
not read from the module), the golden data, and the small helpers that read
outcomes. Fixtures stay in conftest.py."""
import json
import pathlib

import vemo

DATA = pathlib.Path(__file__).parent / "data"

P = 0x30644E72E131A029B85045B68181585D97816A916871CA8D3C208C16D87CFD47
R = 0x30644E72E131A029B85045B68181585D2833E84879B9709143E1F593F0000001
#: The text of the generator G = (1, 2).
G_TEXT = "0" * 63 + "1"


def load(name):
    """A golden file of tests/data, parsed."""
    return json.loads((DATA / name).read_text())


def scalar_text(n):
    """The scalar text of n mod r."""
    return format(n % R, "064x")


def outcome(fn):
    """True/False from a verifier, or the text of the panic it raised."""
    try:
        return fn()
    except BaseException as e:  # noqa: B902 - PanicException derives from BaseException
        assert type(e).__name__ == "PanicException"
        return str(e)


def other_value(value):
    """A different valid value of the same kind for a record member."""
    if "point" in value:
        text = G_TEXT if value["point"] != G_TEXT else vemo.add(vemo.from_str(G_TEXT), vemo.from_str(G_TEXT)).get
        return {"curve": "bn254", "point": text}
    return {"curve": "bn254", "scalar": scalar_text(int(value["scalar"], 16) + 1)}
