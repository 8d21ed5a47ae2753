"""Writes tests/data/strict_vectors.json, the strict suite's known-answer
vectors (docs/strict.md, "Test vectors"): for each relation, the inputs (the
secrets, the context, the message), the statement they make (points in their
32-byte encoding, in hex), the fixed random bytes R of the nonce derivation
and the exact proof bytes.

Run once, from the repository root with the build on PYTHONPATH:

    PYTHONPATH=build/dev/src python3 tests/make_strict_vectors.py

The file is then frozen: tests/test_strict.py recomputes every proof from
its inputs and R and compares byte for byte, so a change to the transcript,
the nonces or the layout fails there. Do not run this to make that test pass.
"""
import json
import pathlib
import sys

import vemo
import vemo_strict
from vemo_batch._core import _strict as native

OUT = pathlib.Path(__file__).parent / "data" / "strict_vectors.json"


def scalar(hex_text):
    return vemo.to_scalar_from_str(hex_text)


def key(gh, sk_hex):
    return vemo.regen_pb_sk(gh, scalar(sk_hex))


def token(point):
    return vemo.to_token_from_str(point.get)


# The inputs: small secrets (every one below r, as written) and plain
# contexts, so a reader can follow them.
CASES = [
    {"relation": "opening", "context": b"ledger 1, transfer 1".hex(), "value": 1000, "r": "11" * 32},
    {"relation": "opening", "context": "", "value": 2**64 - 1, "r": "00" * 31 + "01"},
    {"relation": "consistency", "context": b"ledger 1, transfer 2".hex(), "value": 42, "r": "22" * 32,
     "keys": ["00" * 31 + "07"]},
    {"relation": "consistency", "context": b"ledger 1, transfer 3".hex(), "value": 0, "r": "23" * 32,
     "keys": ["00" * 31 + "07", "00" * 31 + "08", "00" * 31 + "09"]},
    {"relation": "dleq", "context": b"ledger 1, audit 4".hex(), "sk": "00" * 31 + "07", "base_r": "13" * 32},
    {"relation": "signature", "context": b"ledger 1".hex(), "sk": "00" * 31 + "07",
     "message": b"transfer 5: 10 to account 9".hex()},
    {"relation": "signature", "context": "", "sk": "0a" * 32, "message": ""},
    {"relation": "balance", "context": b"ledger 1, transfer 6".hex(), "value": 77, "sk": "00" * 31 + "07",
     "r": "14" * 32, "new_r": "15" * 32},
]


def make(case, gh):
    """(statement, prove, verify) for one case: the statement's points as
    texts, and the prover and verifier called on them."""
    ctx = bytes.fromhex(case["context"])
    rel = case["relation"]
    if rel == "opening":
        r = scalar(case["r"])
        c = vemo_strict.commit(case["value"], r, gh)
        statement = {"g": gh.g, "h": gh.h, "C": c.get}
        return (statement, lambda: vemo_strict.prove_opening(ctx, case["value"], r, gh, c),
                lambda p: vemo_strict.verify_opening(ctx, p, gh, c))
    if rel == "consistency":
        r = scalar(case["r"])
        c = vemo_strict.commit(case["value"], r, gh)
        pbsks = [key(gh, k) for k in case["keys"]]
        keys = [k.get_pk() for k in pbsks]
        tokens = [k.to_token(r) for k in pbsks]
        statement = {"g": gh.g, "h": gh.h, "C": c.get, "keys": keys, "tokens": [t.get for t in tokens]}
        return (statement, lambda: vemo_strict.prove_consistency(ctx, case["value"], r, gh, c, keys, tokens),
                lambda p: vemo_strict.verify_consistency(ctx, p, gh, c, keys, tokens))
    if rel == "dleq":
        pbsk = key(gh, case["sk"])
        base = vemo_strict.commit(0, scalar(case["base_r"]), gh)  # base_r·h
        image = pbsk.to_token(scalar(case["base_r"]))
        statement = {"B_1": gh.h, "P_1": pbsk.get_pk(), "B_2": base.get, "P_2": image.get}
        return (statement, lambda: vemo_strict.prove_dleq(ctx, pbsk, gh, base, image),
                lambda p: vemo_strict.verify_dleq(ctx, p, gh, pbsk.get_pk(), base, image))
    if rel == "signature":
        pbsk = key(gh, case["sk"])
        msg = bytes.fromhex(case["message"])
        statement = {"h": gh.h, "pk": pbsk.get_pk()}
        return (statement, lambda: vemo_strict.sign(ctx, msg, pbsk, gh),
                lambda p: vemo_strict.verify_signature(ctx, p, msg, pbsk.get_pk(), gh))
    if rel == "balance":
        pbsk = key(gh, case["sk"])
        r, new_r = scalar(case["r"]), scalar(case["new_r"])
        c = vemo_strict.commit(case["value"], r, gh)
        t = pbsk.to_token(r)
        c2 = vemo_strict.commit(case["value"], new_r, gh)
        statement = {"g": gh.g, "h": gh.h, "pk": pbsk.get_pk(), "C": c.get, "T": t.get, "C'": c2.get}
        return (statement, lambda: vemo_strict.prove_balance(ctx, case["value"], pbsk, new_r, gh, c, t, c2),
                lambda p: vemo_strict.verify_balance(ctx, p, gh, pbsk.get_pk(), c, t, c2))
    raise ValueError(rel)


def prove_with_random(prove, random_hex):
    native._set_nonce_random_for_testing(bytes.fromhex(random_hex))
    try:
        return prove()
    finally:
        native._set_nonce_random_for_testing(b"")


def main():
    gh = vemo.gen_GH()
    vectors = []
    for i, case in enumerate(CASES):
        statement, prove, verify = make(case, gh)
        random_hex = format(i + 1, "02x") * 32
        proof = prove_with_random(prove, random_hex)
        assert verify(proof), case
        vectors.append({"inputs": case, "statement": statement, "random": random_hex, "proof": proof.hex()})
    OUT.write_text(json.dumps({"suite": "vemo-strict/1 BN254-G1 SHA-512 SvdW", "vectors": vectors}, indent=1) + "\n")
    print(f"wrote {len(vectors)} vectors to {OUT}", file=sys.stderr)


if __name__ == "__main__":
    main()
