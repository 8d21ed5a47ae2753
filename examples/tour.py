"""A tour of single operations: run with `python3 examples/tour.py` (`make demo` runs
examples/transfer.py, the operations put together into one transfer)."""
import json

import vemo


def section(title: str) -> None:
    print(f"\n== {title} ==")


section("generators")
gh = vemo.gen_GH()
print("h (blinding generator):", gh.h)
print("g (value generator):   ", gh.g)

section("keys")
alice = vemo.gen_pb_sk(gh)
print("alice's public key:", alice.get_pk())

section("a commitment to 42 and its audit token")
r = vemo.gen_r()
c = vemo.commit(42, r, gh)
token = alice.to_token(r)
print("commitment:", c.get)
print("token:     ", token.get)

section("commitments add up")
r2 = vemo.gen_r()
c2 = vemo.commit(58, r2, gh)
total = vemo.add(c, c2)
print("commit(42) + commit(58) == commit(100):", total.get == vemo.commit(100, r.sum(r2), gh).get)

section("text round trips")
print("point text:", vemo.from_str(c.get).get == c.get)
print("scalar text:", vemo.to_scalar_from_str(r.get).get == r.get)
print("coordinates:", c.x[:20] + "...", c.y[:20] + "...")

section("a consistency proof: the commitment and the token share one blinding scalar")
proof = vemo.consistency_proof(42, r, gh, c, token, alice.get_pk())
print("proof members:", ", ".join(json.loads(proof)))
print("verifies:", vemo.consistency_proof_verify(proof, gh, c, token, alice.get_pk()))
print("against another commitment:", vemo.consistency_proof_verify(proof, gh, c2, token, alice.get_pk()))

section("the key holder recovers the amount")
print("alice finds:", vemo.get_brut_v(c, token, gh, alice, 1_000_000))
print("with too small a range:", vemo.get_brut_v(c, token, gh, alice, 10))
bob = vemo.gen_pb_sk(gh)
print("bob, with the wrong key, finds:", vemo.get_brut_v(c, token, gh, bob, 1_000_000))

section("a range proof: the transferred amount is not negative")
# The sender commits to the amount and proves it lies in [0, 2^32) without
# revealing it; a negative amount would stand for a huge one and cannot be
# proved in range.
amount_r = vemo.gen_r()
amount = vemo.commit(42, amount_r, gh)
range_proof = vemo.range_proof_single(32, 42, gh, amount_r)
print("proof size:", len(range_proof), "characters,",
      len(json.loads(range_proof)["inner_product_proof"]["L"]), "levels of the inner-product argument")
print("42 is in [0, 2^32):", vemo.range_proof_single_verify(range_proof, 32, gh, amount))
print("against the commitment to 43:", vemo.range_proof_single_verify(range_proof, 32, gh, vemo.commit(43, amount_r, gh)))
negative = vemo.range_proof_single(32, -42, gh, amount_r)
print("-42 is in [0, 2^32):", vemo.range_proof_single_verify(negative, 32, gh, vemo.commit(-42, amount_r, gh)))
