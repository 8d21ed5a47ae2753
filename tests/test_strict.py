"""vemo_strict: every relation complete (alone and in vemo_batch batches mixed
with vemo's items); sound against every change of the statement, the
context, the message and each proof byte; the forgeries vemo's weak formats
admit refused by their counterparts; strict decoding of hostile bytes; and
the frozen known-answer vectors, recomputed here and checked against a
verifier written in Python from docs/strict.md alone."""
import ast
import hashlib
import inspect
import pathlib
import struct

import pytest

import vemo
import vemo_batch
import vemo_strict
from helpers import P, R, load
from make_strict_vectors import make, prove_with_random

TAG = b"vemo-strict/1 BN254-G1 SHA-512 SvdW"


def key(gh, n):
    return vemo.regen_pb_sk(gh, vemo.to_scalar_from_str(format(n, "064x")))


def commit_point(gh, n):
    """n·h as a Commit: a point of known logarithm."""
    return vemo_strict.commit(0, vemo.to_scalar_from_str(format(n, "064x")), gh)


@pytest.fixture(scope="module")
def w(gh):
    class W:
        pass
    ns = W()
    ns.gh = gh
    ns.r, ns.r2 = vemo.gen_r(), vemo.gen_r()
    ns.k1, ns.k2, ns.k3 = key(gh, 1001), key(gh, 1002), key(gh, 1003)
    ns.stranger = key(gh, 1009)  # in no statement
    ns.value = 2**63 + 12345
    ns.c = vemo_strict.commit(ns.value, ns.r, gh)
    ns.c2 = vemo_strict.commit(ns.value, ns.r2, gh)
    ns.base = commit_point(gh, 987654321)
    ns.blindings = [vemo.gen_r() for _ in RANGE_VALUES]
    ns.range_commitments = [vemo_strict.commit(v, b, gh) for v, b in zip(RANGE_VALUES, ns.blindings)]
    return ns


def relations(w):
    """kind -> (prove(), verify, the verifier's keyword arguments besides the
    proof, the proof's keyword name). Each prover is called fresh."""
    gh, k1 = w.gh, w.k1
    keys = [k.get_pk() for k in (w.k1, w.k2, w.k3)]
    tokens = [k.to_token(w.r) for k in (w.k1, w.k2, w.k3)]
    image = k1.to_token(vemo.to_scalar_from_str(format(987654321, "064x")))
    t = k1.to_token(w.r)
    return {
        "opening": (lambda ctx: vemo_strict.prove_opening(ctx, w.value, w.r, gh, w.c), vemo_strict.verify_opening,
                    {"gh": gh, "commitment": w.c}, "proof"),
        "consistency": (lambda ctx: vemo_strict.prove_consistency(ctx, w.value, w.r, gh, w.c, keys, tokens),
                        vemo_strict.verify_consistency,
                        {"gh": gh, "commitment": w.c, "keys": keys, "tokens": tokens}, "proof"),
        "dleq": (lambda ctx: vemo_strict.prove_dleq(ctx, k1, gh, w.base, image), vemo_strict.verify_dleq,
                 {"gh": gh, "key": k1.get_pk(), "base": w.base, "image": image}, "proof"),
        "signature": (lambda ctx: vemo_strict.sign(ctx, b"pay 5 to 9", k1, gh), vemo_strict.verify_signature,
                      {"message": b"pay 5 to 9", "key": k1.get_pk(), "gh": gh}, "signature"),
        "balance": (lambda ctx: vemo_strict.prove_balance(ctx, w.value, k1, w.r2, gh, w.c, t, w.c2),
                    vemo_strict.verify_balance,
                    {"gh": gh, "key": k1.get_pk(), "commitment": w.c, "token": t, "new_commitment": w.c2},
                    "proof"),
        "range": (lambda ctx: vemo_strict.prove_range(ctx, 16, RANGE_VALUES, w.blindings, gh), vemo_strict.verify_range,
                  {"gh": gh, "bits": 16, "commitments": w.range_commitments}, "proof"),
    }


KINDS = ["opening", "consistency", "dleq", "signature", "balance", "range"]
# Three 16-bit values pad to four: 2*log2(64) + 9 items.
SIZES = {"opening": 96, "consistency": 32 * 6, "dleq": 96, "signature": 64, "balance": 192, "range": 32 * 21}
RANGE_VALUES = [0, 2**16 - 1, 12345]


def call(verify, ctx, proof_name, proof, kwargs):
    return verify(context=ctx, **{proof_name: proof}, **kwargs)


def verdict(fn):
    """True/False, or the ValueError's text."""
    try:
        return fn()
    except ValueError as e:
        return str(e)


@pytest.mark.parametrize("kind", KINDS)
def test_complete_and_bound_to_its_context(w, kind):
    prove, verify, kwargs, name = relations(w)[kind]
    for ctx in [b"", b"ledger 7, transfer 12", bytes(range(256)) * 3]:
        proof = prove(ctx)
        assert type(proof) is bytes and len(proof) == SIZES[kind]
        assert call(verify, ctx, name, proof, kwargs) is True
        # A proof for one context fails in every other, a prefix included.
        for other in {ctx + b"\x00", ctx[:-1], b"another ledger"} - {ctx}:
            assert call(verify, other, name, proof, kwargs) is False
    # Fresh nonces every time: two proofs of one statement differ.
    assert prove(b"c") != prove(b"c")


def other_values(w, value, uses_g=True):
    """Other valid values of the same kind as a statement element (for a
    generator pair, only changes of the generators the relation uses)."""
    gh = w.gh
    if isinstance(value, bytes):
        return [value + b"!", value[:-1]] if value else [b"!"]
    if isinstance(value, vemo.Commit):
        return [vemo.add(value, vemo.from_str(gh.h))]
    if isinstance(value, vemo.Token):
        return [vemo.add_token(value, w.stranger.to_token(w.r2))]
    if isinstance(value, str):
        return [w.stranger.get_pk()]
    if isinstance(value, vemo.GH):
        g, h = vemo.from_str(gh.g), vemo.from_str(gh.h)
        return [vemo.gen_new_GH(vemo.add(g, h), h)] * uses_g + [vemo.gen_new_GH(g, vemo.add(g, h))]
    if isinstance(value, int):
        return []  # the range proof's bit length: test_range_parameters_are_bound
    if isinstance(value, list):
        out = []
        for i, item in enumerate(value):
            for o in other_values(w, item):
                out.append(value[:i] + [o] + value[i + 1:])
        return out
    raise TypeError(value)


@pytest.mark.parametrize("kind", KINDS)
def test_every_statement_element_is_bound(w, kind):
    prove, verify, kwargs, name = relations(w)[kind]
    proof = prove(b"ctx")
    changed = 0
    for arg, value in kwargs.items():
        # dleq and the signature are statements about h alone.
        for other in other_values(w, value, uses_g=kind not in ("dleq", "signature")):
            assert call(verify, b"ctx", name, proof, {**kwargs, arg: other}) is False, (kind, arg)
            changed += 1
    assert changed >= len(kwargs)


@pytest.mark.parametrize("kind", KINDS)
def test_every_proof_byte_is_bound(w, kind):
    prove, verify, kwargs, name = relations(w)[kind]
    proof = prove(b"ctx")
    for i in range(len(proof)):
        for flip in (0x01, 0x80):
            bad = proof[:i] + bytes([proof[i] ^ flip]) + proof[i + 1:]
            # Either a point or scalar no longer decodes, or the proof is false.
            assert verdict(lambda: call(verify, b"ctx", name, bad, kwargs)) is not True, (kind, i, flip)


def test_in_batches_mixed_with_vemo_items(w):
    gh = w.gh
    batch = vemo_batch.Batch()
    expected = []
    # vemo's own items, one true and one false.
    ped_cm, token = vemo.commit(5, w.r, gh), w.k1.to_token(w.r)
    vemo_proof = vemo.consistency_proof(5, w.r, gh, ped_cm, token, w.k1.get_pk())
    for cm in (ped_cm, vemo.commit(6, w.r, gh)):
        batch.add(vemo.consistency_proof_verify, vemo_proof, gh, cm, token, w.k1.get_pk())
        expected.append(vemo.consistency_proof_verify(vemo_proof, gh, cm, token, w.k1.get_pk()))
    errors = [None, None]
    for kind, (prove, verify, kwargs, name) in relations(w).items():
        proof = prove(b"ctx")
        for ctx, p in [(b"ctx", proof), (b"other", proof), (b"ctx", proof[:-1])]:
            batch.add(verify, ctx, p, **kwargs)  # positional and keyword, as the function takes them
            expected.append(verdict(lambda: call(verify, ctx, name, p, kwargs)))
            errors.append(expected[-1] if isinstance(expected[-1], str) else None)
    got = batch.verify()
    assert got == [e is True for e in expected]
    assert batch.errors == errors
    assert got.count(True) == 1 + len(KINDS)


@pytest.mark.parametrize("bits, m", [(8, 1), (64, 1), (32, 2), (8, 5), (64, 64)])
def test_range_proofs_for_every_size(gh, bits, m):
    values = [(2**bits - 1) * (j % 2) for j in range(m)]  # both ends of the range
    blindings = [vemo.gen_r() for _ in values]
    commitments = [vemo_strict.commit(v, b, gh) for v, b in zip(values, blindings)]
    proof = vemo_strict.prove_range(b"ctx", bits, values, blindings, gh)
    padded = 1 << (m - 1).bit_length()
    assert len(proof) == 32 * (2 * (bits * padded).bit_length() - 2 + 9)
    assert vemo_strict.verify_range(b"ctx", proof, gh, bits, commitments) is True
    assert vemo_strict.verify_range(b"ctx!", proof, gh, bits, commitments) is False


def test_range_parameters_are_bound(w):
    gh = w.gh
    proof = vemo_strict.prove_range(b"ctx", 16, RANGE_VALUES, w.blindings, gh)
    c = w.range_commitments
    # Another bit length or count of values: the proof has the wrong length
    # for it, or (three and four values pad alike) is false.
    for bits, cs in [(8, c), (32, c), (16, c[:2]), (16, c + [c[0]]), (16, c[::-1])]:
        assert verdict(lambda: vemo_strict.verify_range(b"ctx", proof, gh, bits, cs)) is not True, (bits, len(cs))
    assert vemo_strict.verify_range(b"ctx", proof, gh, 16, c + [c[0]]) is False
    # Out of range: no proof is made, the refusal says which value.
    for values, which in [([2**16], 0), ([1, 2**16 + 5, 3], 1)]:
        with pytest.raises(ValueError, match=rf"^range proof: value {which} is not below 2\^16$"):
            vemo_strict.prove_range(b"ctx", 16, values, [vemo.gen_r() for _ in values], gh)
    for bits, values, blindings in [(12, [1], [w.r]), (16, [], []), (16, [1] * 65, [w.r] * 65), (16, [1, 2], [w.r])]:
        with pytest.raises(ValueError):
            vemo_strict.prove_range(b"ctx", bits, values, blindings, gh)
    with pytest.raises(OverflowError):
        vemo_strict.prove_range(b"ctx", 64, [2**64], [w.r], gh)


def test_batch_refuses_calls_as_the_function_does(w):
    batch = vemo_batch.Batch()
    for args, kwargs in [((b"c", b"p", w.gh), {}), ((b"c", b"p", w.gh, w.c), {"gh": w.gh}),
                         (("c", b"p", w.gh, w.c), {}), ((b"c", b"p", w.gh, w.c, 1), {})]:
        with pytest.raises(TypeError) as own:
            vemo_strict.verify_opening(*args, **kwargs)
        with pytest.raises(TypeError) as queued:
            batch.add(vemo_strict.verify_opening, *args, **kwargs)
        assert str(queued.value) == str(own.value)
    assert len(batch) == 0


def test_dleq_with_unequal_secrets_has_no_proof(w):
    # vemo's weak record once verified with pk_l = x·g1, pk_r = y·g2 and two
    # responses. The strict layout has one response per secret: a proof for
    # x on both sides fails when the second image is y·base, a record with
    # two responses is not a proof, and the prover refuses unequal secrets.
    gh, k1 = w.gh, w.k1
    x_image = k1.to_token(vemo.to_scalar_from_str(format(987654321, "064x")))
    y_image = w.k2.to_token(vemo.to_scalar_from_str(format(987654321, "064x")))
    proof = vemo_strict.prove_dleq(b"c", k1, gh, w.base, x_image)
    assert vemo_strict.verify_dleq(b"c", proof, gh, k1.get_pk(), w.base, y_image) is False
    two_responses = proof + proof[-32:]
    with pytest.raises(ValueError, match="dleq proof: expected 96 bytes, got 128"):
        vemo_strict.verify_dleq(b"c", two_responses, gh, k1.get_pk(), w.base, y_image)
    with pytest.raises(ValueError, match="do not satisfy"):
        vemo_strict.prove_dleq(b"c", k1, gh, w.base, y_image)


def test_token_with_another_r_is_refused(w):
    # The consistency counterpart of a wrong square: a token of another r
    # than the commitment's.
    gh = w.gh
    keys = [w.k1.get_pk(), w.k2.get_pk()]
    good = [w.k1.to_token(w.r), w.k2.to_token(w.r)]
    proof = vemo_strict.prove_consistency(b"c", w.value, w.r, gh, w.c, keys, good)
    for i in range(2):
        bad = list(good)
        bad[i] = (w.k1, w.k2)[i].to_token(w.r2)
        assert vemo_strict.verify_consistency(b"c", proof, gh, w.c, keys, bad) is False
        with pytest.raises(ValueError, match="consistency: the secrets do not satisfy the statement"):
            vemo_strict.prove_consistency(b"c", w.value, w.r, gh, w.c, keys, bad)
    with pytest.raises(ValueError, match="do not satisfy"):
        vemo_strict.prove_opening(b"c", w.value + 1, w.r, gh, w.c)
    with pytest.raises(ValueError, match="do not satisfy"):
        vemo_strict.prove_balance(b"c", w.value, w.k2, w.r2, gh, w.c, w.k1.to_token(w.r), w.c2)


def enc_point_hex(commit_or_text):
    return commit_or_text if isinstance(commit_or_text, str) else commit_or_text.get


G_HEX = "00" * 31 + "01"
IDENTITY = bytes([0x40]) + bytes(31)


def off_curve_x():
    """The smallest x for which x^3 + 3 is not a square mod p."""
    x = 0
    while pow((x ** 3 + 3) % P, (P - 1) // 2, P) == 1:
        x += 1
    return x


def hostile_points():
    """(name, 32 bytes, message fragment) for points that must not decode."""
    x = off_curve_x()
    return [
        ("off curve", x.to_bytes(32, "big"), "not a point of the curve"),
        ("x = p", P.to_bytes(32, "big"), "x coordinate not below p"),
        ("x = p + 1", (P + 1).to_bytes(32, "big"), "x coordinate not below p"),
        ("x = 2^254 - 1", bytes([0x3F]) + b"\xff" * 31, "x coordinate not below p"),
        ("both flags", bytes([0xC0]) + bytes(31), "both flag bits set"),
        ("identity with a bit", bytes([0x40]) + bytes(30) + b"\x01", "the identity in a non-canonical form"),
        ("identity with x", bytes([0x41]) + bytes(31), "the identity in a non-canonical form"),
        ("identity", IDENTITY, "the identity is not allowed here"),
    ]


def test_strict_decoder_refuses_hostile_proofs(w, capfd):
    prove, verify, kwargs, name = relations(w)["opening"]
    proof = prove(b"c")
    cases = []
    for n in [0, 1, 31, 32, 64, 95, 97, 128, 96 * 2]:
        cases.append((proof[:n] if n < 96 else proof + bytes(n - 96), f"expected 96 bytes, got {n}"))
    for label, point, msg in hostile_points():
        cases.append((point + proof[32:], "A_0: " + msg))
    for s, label in [(R, "r"), (R + 1, "r + 1"), (2**256 - 1, "2^256 - 1")]:
        cases.append((proof[:32] + s.to_bytes(32, "big") + proof[64:], "z_0: not below the group order"))
        cases.append((proof[:64] + s.to_bytes(32, "big"), "z_1: not below the group order"))
    for bad, msg in cases:
        with pytest.raises(ValueError) as e:
            call(verify, b"c", name, bad, kwargs)
        assert str(e.value) == "opening proof: " + msg, (bad.hex(), str(e.value))
    # The same scalar plus r, or the point with its other sign, is another
    # value, not another encoding: False, never True.
    plus_r = (int.from_bytes(proof[64:], "big") + R)
    if plus_r < 2**256:
        with pytest.raises(ValueError):
            call(verify, b"c", name, proof[:64] + plus_r.to_bytes(32, "big"), kwargs)
    flipped = bytes([proof[0] ^ 0x80]) + proof[1:]
    assert call(verify, b"c", name, flipped, kwargs) is False
    assert capfd.readouterr().err == ""


def test_statements_that_have_no_meaning_are_refused(w, capfd):
    gh = w.gh
    identity_key = IDENTITY.hex()
    zero = vemo_strict.commit(0, vemo.to_scalar_from_str("00" * 32), gh)
    token = w.k1.to_token(w.r)
    cases = [
        (lambda: vemo_strict.verify_signature(b"", bytes(64), b"", identity_key, gh), "key: the identity"),
        (lambda: vemo_strict.verify_signature(b"", bytes(64), b"", "00" * 31, gh), "key: expected 64 hex digits"),
        (lambda: vemo_strict.verify_signature(b"", bytes(64), b"", "zz" * 32, gh), "key: not a hex digit at 0"),
        (lambda: vemo_strict.verify_signature(b"", bytes(64), b"", P.to_bytes(32, "big").hex(), gh),
         "key: x coordinate not below p"),
        (lambda: vemo_strict.verify_dleq(b"", bytes(96), gh, w.k1.get_pk(), zero, token), "dleq: base 2: the identity"),
        (lambda: vemo_strict.verify_consistency(b"", bytes(96), gh, w.c, [], []), "expected 1 to 16 keys, got 0"),
        (lambda: vemo_strict.verify_consistency(b"", bytes(96), gh, w.c, [w.k1.get_pk()] * 17, [token] * 17),
         "expected 1 to 16 keys, got 17"),
        (lambda: vemo_strict.verify_consistency(b"", bytes(96), gh, w.c, [w.k1.get_pk()], [token, token]),
         "1 keys but 2 tokens"),
        (lambda: vemo_strict.verify_consistency(b"", bytes(96), gh, w.c, [w.k1.get_pk(), identity_key],
                                                [token, token]), "key 1: the identity"),
        (lambda: vemo_strict.verify_balance(b"", bytes(192), gh, w.k1.get_pk(), w.c,
                                            vemo.to_token_from_str(zero.get), w.c2), "balance: token: the identity"),
    ]
    for fn, msg in cases:
        with pytest.raises(ValueError, match=msg):
            fn()
    # Sixteen keys is the most one proof takes, and it is complete.
    pbsks = [key(gh, 2000 + i) for i in range(16)]
    keys, tokens = [k.get_pk() for k in pbsks], [k.to_token(w.r) for k in pbsks]
    proof = vemo_strict.prove_consistency(b"", w.value, w.r, gh, w.c, keys, tokens)
    assert len(proof) == 32 * 19 and vemo_strict.verify_consistency(b"", proof, gh, w.c, keys, tokens)
    assert capfd.readouterr().err == ""


def test_arguments_are_typed_and_values_are_64_bit(w):
    gh = w.gh
    assert vemo_strict.commit(5, w.r, gh).get == vemo.commit(5, w.r, gh).get
    assert vemo_strict.commit(value=2**64 - 1, r=w.r, gh=gh).get != vemo_strict.commit(0, w.r, gh).get
    for bad in (-1, 2**64):
        with pytest.raises(OverflowError):
            vemo_strict.commit(bad, w.r, gh)
    with pytest.raises(TypeError, match="argument 'context'"):
        vemo_strict.prove_opening("text", 5, w.r, gh, w.c)
    with pytest.raises(TypeError, match="argument 'keys'"):
        vemo_strict.verify_consistency(b"", bytes(128), gh, w.c, w.k1.get_pk(), [])
    with pytest.raises(TypeError, match="argument 'tokens'"):
        vemo_strict.verify_consistency(b"", bytes(128), gh, w.c, [w.k1.get_pk()], [w.c])
    with pytest.raises(TypeError, match=r"sign\(\) missing 1 required positional argument: 'message'"):
        vemo_strict.sign(b"", pbsk=w.k1, gh=gh)


def test_module_conventions():
    assert vemo_strict.__version__ == vemo_batch.__version__
    stub = ast.parse((pathlib.Path(vemo_strict.__file__).parent / "__init__.pyi").read_text())
    functions = {n.name: n for n in stub.body if isinstance(n, ast.FunctionDef)}
    assert sorted(functions) == [n for n in vemo_strict.__all__ if n != "__version__"]
    for name, node in functions.items():
        fn = getattr(vemo_strict, name)
        # help() shows the stub's text; the signature is the stub's.
        assert fn.__doc__ == ast.get_docstring(node), name
        assert list(inspect.signature(fn).parameters) == [a.arg for a in node.args.args], name
        assert fn.__module__ == "vemo_strict" and fn.__name__ == name
    assert (pathlib.Path(vemo_strict.__file__).parent / "py.typed").exists()


VECTORS = load("strict_vectors.json")["vectors"]


@pytest.mark.parametrize("vector", VECTORS, ids=lambda v: v["inputs"]["relation"])
def test_known_answer_vectors(gh, vector):
    statement, prove, verify = make(vector["inputs"], gh)
    assert statement == vector["statement"]
    proof = prove_with_random(prove, vector["random"])
    assert proof.hex() == vector["proof"]
    assert verify(proof) is True
    # Without the fixed bytes the nonces are fresh.
    assert prove() != proof


# ---- a verifier written from docs/strict.md alone ---------------------------

def frame(label, data):
    return b"\x01" + bytes([len(label)]) + label + struct.pack(">Q", len(data)) + data


def shape_of(vector):
    """(k, equations as [(image, [(secret, base), ...])], extra) from the
    document's table of the named relations."""
    s, inputs = vector["statement"], vector["inputs"]
    rel = inputs["relation"]
    if rel == "opening":
        return 2, [(s["C"], [(0, s["g"]), (1, s["h"])])], []
    if rel == "consistency":
        return 2, [(s["C"], [(0, s["g"]), (1, s["h"])])] + [(t, [(1, k)]) for k, t in zip(s["keys"], s["tokens"])], []
    if rel == "dleq":
        return 1, [(s["P_1"], [(0, s["B_1"])]), (s["P_2"], [(0, s["B_2"])])], []
    if rel == "signature":
        return 1, [(s["pk"], [(0, s["h"])])], [frame(b"message", bytes.fromhex(inputs["message"]))]
    if rel == "balance":
        return 3, [(s["h"], [(1, s["pk"])]), (s["C"], [(0, s["g"]), (1, s["T"])]),
                   (s["C'"], [(0, s["g"]), (2, s["h"])])], []
    raise ValueError(rel)


def secrets_of(vector):
    inputs = vector["inputs"]
    rel = inputs["relation"]
    if rel in ("opening", "consistency"):
        return [inputs["value"], int(inputs["r"], 16)]
    if rel in ("dleq", "signature"):
        return [int(inputs["sk"], 16)]
    return [inputs["value"], pow(int(inputs["sk"], 16), -1, R), int(inputs["new_r"], 16)]


def point(hex_text):
    return vemo.from_str(hex_text)


def times(hex_text, n):
    return vemo.p_to_x(point(hex_text), vemo.to_scalar_from_str(format(n % R, "064x")))


@pytest.mark.parametrize("vector", VECTORS, ids=lambda v: v["inputs"]["relation"])
def test_vectors_follow_the_document(vector):
    # The transcript, the nonces and the verification equation computed
    # with hashlib and integers from the document's text, the group
    # operations borrowed from vemo.
    k, equations, extra = shape_of(vector)
    m = len(equations)
    proof = bytes.fromhex(vector["proof"])
    assert len(proof) == 32 * (m + k)
    a = [proof[32 * j:32 * j + 32] for j in range(m)]
    z = [int.from_bytes(proof[32 * (m + i):32 * (m + i) + 32], "big") for i in range(k)]
    shape = struct.pack(">II", k, m) + b"".join(
        struct.pack(">I", len(terms)) + b"".join(struct.pack(">I", i) for i, _ in terms) for _, terms in equations)
    stream = (frame(b"protocol", TAG) + frame(b"kind", vector["inputs"]["relation"].encode())
              + frame(b"context", bytes.fromhex(vector["inputs"]["context"])) + frame(b"shape", shape))
    for image, terms in equations:
        stream += frame(b"image", bytes.fromhex(image))
        stream += b"".join(frame(b"base", bytes.fromhex(base)) for _, base in terms)
    stream += b"".join(extra)
    d = hashlib.sha512(stream).digest()
    w = secrets_of(vector)
    rho = []
    for i in range(k):
        nonce_stream = (frame(b"nonce", TAG) + frame(b"transcript", d)
                        + b"".join(frame(b"secret", s.to_bytes(32, "big")) for s in w)
                        + frame(b"index", struct.pack(">I", i)) + frame(b"random", bytes.fromhex(vector["random"])))
        rho.append(int.from_bytes(hashlib.sha512(nonce_stream).digest(), "big") % R)
    stream += b"".join(frame(b"commitment", aj) for aj in a)
    stream += b"\x02" + bytes([len(b"challenge")]) + b"challenge"
    c = int.from_bytes(hashlib.sha512(stream).digest(), "big") % R
    assert z == [(rho[i] + c * w[i]) % R for i in range(k)]
    for j, (image, terms) in enumerate(equations):
        # A_j = Σ ρ·B, and the verification equation Σ z·B − c·P = A_j.
        nonce_sum = times(terms[0][1], rho[terms[0][0]])
        response_sum = times(terms[0][1], z[terms[0][0]])
        for i, base in terms[1:]:
            nonce_sum = vemo.add(nonce_sum, times(base, rho[i]))
            response_sum = vemo.add(response_sum, times(base, z[i]))
        assert nonce_sum.get == a[j].hex()
        assert vemo.sub(response_sum, times(image, c)).get == a[j].hex()
