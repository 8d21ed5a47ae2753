"""Side-by-side times of each strict relation and the vemo call it
corresponds to: prover and verifier, the median of several rounds (the
machine may be shared, so medians and the ratio matter more than the
figures). Run with `make bench`; BENCH_STRICT_ROUNDS and BENCH_STRICT_CALLS
scale the run.

    consistency  vs consistency_proof           (one key)
    dleq         vs sigma_eq_dlog_proof
    signature    vs sigma_dlog_proof_explicit
    opening      vs consistency_proof           (vemo has no opening proof of its own)
    balance      vs consistency_proof           (the closest vemo statement)
"""
import os
import statistics
import timeit

import vemo
import vemo_strict

ROUNDS = int(os.environ.get("BENCH_STRICT_ROUNDS", "7"))
CALLS = int(os.environ.get("BENCH_STRICT_CALLS", "50"))

gh = vemo.gen_GH()
r, r2 = vemo.gen_r(), vemo.gen_r()
pbsk = vemo.gen_pb_sk(gh)
pk = pbsk.get_pk()
token = pbsk.to_token(r)
small = vemo.commit(5, r, gh)
c, c2 = vemo_strict.commit(5, r, gh), vemo_strict.commit(5, r2, gh)
h_sumR = vemo.p_to_x(vemo.from_str(gh.h), r)
ctx = b"bench"

vemo_cons = vemo.consistency_proof(5, r, gh, small, token, pk)
vemo_eq = vemo.sigma_eq_dlog_proof(token, pbsk, gh, h_sumR)
vemo_dlog = vemo.sigma_dlog_proof_explicit(token, pbsk, h_sumR)
st_open = vemo_strict.prove_opening(ctx, 5, r, gh, c)
st_cons = vemo_strict.prove_consistency(ctx, 5, r, gh, c, [pk], [token])
st_dleq = vemo_strict.prove_dleq(ctx, pbsk, gh, h_sumR, token)
st_sig = vemo_strict.sign(ctx, b"message", pbsk, gh)
st_bal = vemo_strict.prove_balance(ctx, 5, pbsk, r2, gh, c, token, c2)

vemo_cons_prove = (lambda: vemo.consistency_proof(5, r, gh, small, token, pk))
vemo_cons_verify = (lambda: vemo.consistency_proof_verify(vemo_cons, gh, small, token, pk))
# (strict relation, its prover, its verifier, the vemo call, its prover, its verifier)
PAIRS = [
    ("consistency", lambda: vemo_strict.prove_consistency(ctx, 5, r, gh, c, [pk], [token]),
     lambda: vemo_strict.verify_consistency(ctx, st_cons, gh, c, [pk], [token]),
     "consistency_proof", vemo_cons_prove, vemo_cons_verify),
    ("dleq", lambda: vemo_strict.prove_dleq(ctx, pbsk, gh, h_sumR, token),
     lambda: vemo_strict.verify_dleq(ctx, st_dleq, gh, pk, h_sumR, token),
     "sigma_eq_dlog_proof", lambda: vemo.sigma_eq_dlog_proof(token, pbsk, gh, h_sumR),
     lambda: vemo.sigma_eq_dlog_verify(vemo_eq, gh, h_sumR, token)),
    ("signature", lambda: vemo_strict.sign(ctx, b"message", pbsk, gh),
     lambda: vemo_strict.verify_signature(ctx, st_sig, b"message", pk, gh),
     "sigma_dlog_proof_explicit", lambda: vemo.sigma_dlog_proof_explicit(token, pbsk, h_sumR),
     lambda: vemo.sigma_dlog_proof_explicit_verify(vemo_dlog, h_sumR, token)),
    ("opening", lambda: vemo_strict.prove_opening(ctx, 5, r, gh, c),
     lambda: vemo_strict.verify_opening(ctx, st_open, gh, c), "consistency_proof", vemo_cons_prove,
     vemo_cons_verify),
    ("balance", lambda: vemo_strict.prove_balance(ctx, 5, pbsk, r2, gh, c, token, c2),
     lambda: vemo_strict.verify_balance(ctx, st_bal, gh, pk, c, token, c2), "consistency_proof",
     vemo_cons_prove, vemo_cons_verify),
]


def median_us(fn):
    fn()  # warm the tables
    return statistics.median(timeit.repeat(fn, number=CALLS, repeat=ROUNDS)) / CALLS * 1e6


def main():
    print(f"median of {ROUNDS} rounds of {CALLS} calls, microseconds per call")
    print(f"{'strict':<12} {'step':<7} {'strict':>9} {'vemo':>9} {'ratio':>6}  vemo call")
    for name, prove, verify, vemo_name, vprove, vverify in PAIRS:
        for step, mine, theirs in (("prove", prove, vprove), ("verify", verify, vverify)):
            a, b = median_us(mine), median_us(theirs)
            print(f"{name:<12} {step:<7} {a:9.1f} {b:9.1f} {a / b:6.2f}  {vemo_name}")


if __name__ == "__main__":
    main()
