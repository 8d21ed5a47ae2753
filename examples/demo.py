"""A walk through what vemo does: run with `make demo`."""
import vemo


def section(title):
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
