"""The suite's fixtures; the helpers that test files share are in helpers.py."""
import os
import random

import pytest

import vemo


@pytest.fixture(scope="session")
def gh():
    return vemo.gen_GH()


@pytest.fixture
def rng(request):
    """Seeded randomness; the seed is printed so a failure can be replayed."""
    seed = int(os.environ.get("VEMO_TEST_SEED", random.randrange(2**32)))
    print(f"seed={seed}")
    return random.Random(seed)

