import json
import os
import pathlib
import random

import pytest

import vemo

DATA = pathlib.Path(__file__).parent / "data"


def load(name):
    return json.loads((DATA / name).read_text())


@pytest.fixture(scope="session")
def gh():
    return vemo.gen_GH()


@pytest.fixture
def rng(request):
    """Seeded randomness; the seed is printed so a failure can be replayed."""
    seed = int(os.environ.get("VEMO_TEST_SEED", random.randrange(2**32)))
    print(f"seed={seed}")
    return random.Random(seed)


def scalar_text(n):
    return format(n % R, "064x")


P = 0x30644E72E131A029B85045B68181585D97816A916871CA8D3C208C16D87CFD47
R = 0x30644E72E131A029B85045B68181585D2833E84879B9709143E1F593F0000001
