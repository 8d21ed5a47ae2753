"""The module's surface: registration, argument matching and conversion,
the value classes, and how failures reach Python."""
import subprocess
import sys

import pytest

import vemo

FUNCTIONS = [
    "range_proof_test", "commit", "print_commit", "add", "sub", "add_value_commits",
    "sub_value_commits", "from_str", "to_token_from_str", "gen_GH", "gen_r",
    "range_proof_single", "gen_pb_sk", "regen_pb_sk", "to_scalar_from_str", "print_token",
    "add_token", "sub_token", "sub_commit_token", "add_commit_token", "h_to_x", "g_to_x",
    "g_to_r", "p_to_x", "sigma_eq_dlog_proof", "sigma_eq_dlog_proof_sha256",
    "to_token_from_pk", "sigma_eq_dlog_verify", "sigma_eq_dlog_verify_sha256",
    "range_proof_single_verify", "consistency_proof", "consistency_proof_verify",
    "sigma_dlog_proof_explicit", "sigma_dlog_proof_explicit_verify",
    "sigma_dlog_proof_explicit_sha256", "sigma_dlog_proof_explicit_verify_sha256",
    "get_brut_v", "hash_test1", "hash_test2", "hash_test3", "curve_name", "ghvec",
    "gen_new_GH", "sigma_eq_dlog_same_secret", "sigma_eq_dlog_verify_same_secret",
    "sigma_eq_dlog_ped_proof", "sigma_eq_dlog_ped_verify", "consistency_proof_with_witness",
    "sigma_eq_dlog_ped_proof_with_witness", "sigma_dlog_proof_explicit_sha256_with_witness",
    "from_coords", "get_y_coord",
]
CLASSES = ["Commit", "rand_r", "GH", "PbSk", "hx", "Token"]


def panic_of(fn, *args):
    with pytest.raises(BaseException) as info:
        fn(*args)
    assert type(info.value).__name__ == "PanicException"
    return str(info.value)


def test_all_lists_functions_in_registration_order_then_classes():
    registered = [name for name in vemo.__all__ if name not in CLASSES]
    # Every registered function sits at its place in the full order.
    assert registered == [f for f in FUNCTIONS if f in registered]
    assert vemo.__all__[-6:] == CLASSES
    for name in vemo.__all__:
        assert getattr(vemo, name) is not None
    assert vemo.__doc__ == ""


@pytest.mark.parametrize("name", CLASSES)
def test_classes_have_no_constructor_and_live_in_builtins(name):
    cls = getattr(vemo, name)
    assert cls.__module__ == "builtins" and cls.__name__ == name
    with pytest.raises(TypeError, match="^No constructor defined$"):
        cls()


@pytest.fixture
def r():
    return vemo.gen_r()


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda r, gh: vemo.commit(5, r), "commit() missing 1 required positional argument: 'gh'"),
        (lambda r, gh: vemo.commit(5), "commit() missing 2 required positional arguments: 'r' and 'gh'"),
        (lambda r, gh: vemo.commit(), "commit() missing 3 required positional arguments: 'val', 'r', and 'gh'"),
        (lambda r, gh: vemo.commit(r=r), "commit() missing 2 required positional arguments: 'val' and 'gh'"),
        (lambda r, gh: vemo.commit(5, r, gh, 1), "commit() takes 3 positional arguments but 4 were given"),
        (lambda r, gh: vemo.from_str("a", "b"), "from_str() takes 1 positional arguments but 2 were given"),
        (lambda r, gh: vemo.commit(5, r, gh, val=5), "commit() got multiple values for argument 'val'"),
        (lambda r, gh: vemo.commit(5, r, gh, x=5), "commit() got an unexpected keyword argument 'x'"),
        (lambda r, gh: vemo.add(1, vemo.commit(1, r, gh)), "argument 'com_l': 'int' object cannot be converted to 'Commit'"),
        (lambda r, gh: vemo.add(vemo.commit(1, r, gh), r), "argument 'com_r': 'rand_r' object cannot be converted to 'Commit'"),
        (lambda r, gh: vemo.from_str(5), "argument 'str_point': 'int' object cannot be converted to 'PyString'"),
        (lambda r, gh: vemo.from_str(b"00"), "argument 'str_point': 'bytes' object cannot be converted to 'PyString'"),
        (lambda r, gh: vemo.commit(1.0, r, gh), "argument 'val': 'float' object cannot be interpreted as an integer"),
        (lambda r, gh: vemo.commit("1", r, gh), "argument 'val': 'str' object cannot be interpreted as an integer"),
        (lambda r, gh: vemo.commit(1, gh, gh), "argument 'r': 'GH' object cannot be converted to 'rand_r'"),
        (lambda r, gh: vemo.commit(5, r, gh).sum(), "Commit.sum() missing 1 required positional argument: 'c'"),
        (lambda r, gh: vemo.commit(5, r, gh).sum(1, 2), "Commit.sum() takes 1 positional arguments but 2 were given"),
        (lambda r, gh: vemo.commit(5, r, gh).sum(d=1), "Commit.sum() got an unexpected keyword argument 'd'"),
        (lambda r, gh: r.sum(5), "argument 'r': 'int' object cannot be converted to 'rand_r'"),
    ],
)
def test_matching_and_conversion_messages(r, gh, call, message):
    with pytest.raises(TypeError) as info:
        call(r, gh)
    assert str(info.value) == message


def test_keyword_and_positional_calls_agree(r, gh):
    expected = vemo.commit(7, r, gh).get
    assert vemo.commit(val=7, r=r, gh=gh).get == expected
    assert vemo.commit(7, gh=gh, r=r).get == expected
    assert vemo.commit(True, r, gh).get == vemo.commit(1, r, gh).get
    c = vemo.commit(7, r, gh)
    assert c.sum(c=c).get == c.sum(c).get


@pytest.mark.parametrize(
    "val, exc, message",
    [
        (2147483648, OverflowError, "out of range integral type conversion attempted"),
        (-2147483649, OverflowError, "out of range integral type conversion attempted"),
        (2**70, OverflowError, "Python int too large to convert to C long"),
    ],
)
def test_int32_range(r, gh, val, exc, message):
    with pytest.raises(exc) as info:
        vemo.commit(val, r, gh)
    assert str(info.value) == message


def test_int32_bounds_accepted(r, gh):
    for v in (2147483647, -2147483648):
        assert not vemo.commit(v, r, gh).is_zero()


def test_index_protocol_is_accepted(r, gh):
    class Five:
        def __index__(self):
            return 5

    assert vemo.commit(Five(), r, gh).get == vemo.commit(5, r, gh).get


def test_from_bytes_sequence_rules(r, gh):
    c = vemo.commit(1, r, gh)
    assert c.from_bytes([0] * 31 + [5]) == "5"
    assert c.from_bytes(bytes(31) + b"\x05") == "5"
    assert c.from_bytes(a=[0] * 32) == "0"
    assert int(c.from_bytes([255] * 32)) == (2**256 - 1) % 0x30644E72E131A029B85045B68181585D2833E84879B9709143E1F593F0000001
    with pytest.raises(ValueError, match=r"^expected a sequence of length 32 \(got 31\)$"):
        c.from_bytes([0] * 31)
    with pytest.raises(OverflowError, match="^out of range integral type conversion attempted$"):
        c.from_bytes([256] + [0] * 31)
    with pytest.raises(OverflowError, match="^out of range integral type conversion attempted$"):
        c.from_bytes([-1] + [0] * 31)
    with pytest.raises(TypeError, match="^argument 'a': 'int' object cannot be converted to 'Sequence'$"):
        c.from_bytes(5)
    with pytest.raises(TypeError, match="^argument 'a': 'float' object cannot be interpreted as an integer$"):
        c.from_bytes([1.0] * 32)


def test_no_argument_functions_are_rejected_by_the_interpreter():
    with pytest.raises(TypeError, match="takes no arguments"):
        vemo.curve_name(1)
    with pytest.raises(TypeError, match="takes no keyword arguments"):
        vemo.gen_r(x=1)


def test_panic_exception_is_a_base_exception_not_an_exception():
    with pytest.raises(BaseException) as info:
        try:
            vemo.from_str("zz")
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught as an Exception")
    exc_type = type(info.value)
    assert exc_type.__name__ == "PanicException"
    assert exc_type.__bases__ == (BaseException,)
    assert "BaseException" in exc_type.__doc__
    assert info.value.args == (str(info.value),)
    # Created once: a second failure raises the same type.
    with pytest.raises(exc_type):
        vemo.to_scalar_from_str("zz")


def test_failure_writes_a_line_to_stderr(capfd):
    with pytest.raises(BaseException):
        vemo.from_str("zz")
    err = capfd.readouterr().err
    assert 'called `Result::unwrap()` on an `Err` value: Error("invalid point", line: 1, column: 29)' in err


def test_instances_are_immutable_and_compare_by_identity(r, gh):
    c = vemo.commit(3, r, gh)
    d = vemo.from_str(c.get)
    assert c != d and c == c
    assert hash(c) != hash(d) or c is d
    with pytest.raises(AttributeError):
        c.get = "x"
    with pytest.raises(TypeError):
        c.get()
    # Results are new objects, never an argument or a shared instance.
    assert vemo.gen_GH() is not vemo.gen_GH()
    assert vemo.add(c, vemo.sub(c, c)) is not c


def test_no_error_state_leaks_after_failures(r, gh):
    for bad in (lambda: vemo.commit(1.5, r, gh), lambda: vemo.commit(2**40, r, gh)):
        with pytest.raises((TypeError, OverflowError)):
            bad()
    with pytest.raises(BaseException):
        vemo.from_str("zz")
    # The interpreter is in a clean state: ordinary calls keep working.
    assert vemo.curve_name() == "Bn254"


def test_no_reference_leaks():
    """Repeated calls, failing or not, leave the interpreter's memory flat
    (one leaked object per round would grow it by hundreds of kilobytes)."""
    script = r"""
import sys, vemo
gh = vemo.gen_GH(); r = vemo.gen_r()
def work():
    c = vemo.commit(5, r, gh); c.get; c.x; c.to_bytes(); c.sum(c); vemo.add(c, c)
    for bad in (lambda: vemo.commit(1.5, r, gh), lambda: vemo.add(1, c), lambda: vemo.from_str('zz'),
                lambda: c.from_bytes([0]*31), lambda: vemo.commit(5, r, gh, x=1)):
        try: bad()
        except BaseException: pass
import tracemalloc
for _ in range(200): work()
tracemalloc.start()
for _ in range(200): work()
before = tracemalloc.get_traced_memory()[0]
for _ in range(5000): work()
print(tracemalloc.get_traced_memory()[0] - before)
"""
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert int(out.stdout.strip()) < 20000
