"""Prints the time per call of the module's main operations.

Run with `make bench`. Each section appends rows to CASES; the C++ core
figures come from the core_bench binary built beside the extension.
"""
import os
import pathlib
import subprocess
import sys
import timeit

import vemo

CASES = []  # (label, callable, number of calls)


def case(label, number=200):
    def register(fn):
        CASES.append((label, fn, number))
        return fn

    return register


gh = vemo.gen_GH()
r = vemo.gen_r()
c = vemo.commit(5, r, gh)
pbsk = vemo.gen_pb_sk(gh)
point_text = c.get

# ---- commitments, keys and tokens ----
case("commit")(lambda: vemo.commit(5, r, gh))
case("gen_pb_sk")(lambda: vemo.gen_pb_sk(gh))
case("from_str (point text)")(lambda: vemo.from_str(point_text))
case("Commit.get")(lambda: c.get)
case("add")(lambda: vemo.add(c, c))

# ---- multiplications by a secret (constant time) ----
case("p_to_x")(lambda: vemo.p_to_x(c, r))
case("PbSk.to_token")(lambda: pbsk.to_token(r))
pbsk_pk = pbsk.get_pk()
case("to_token_from_pk")(lambda: vemo.to_token_from_pk(pbsk_pk, r))


# ---- sigma proofs ----
sig_r = vemo.gen_r()
sig_c = vemo.commit(5, sig_r, gh)
sig_t = pbsk.to_token(sig_r)
pk_text = pbsk.get_pk()
h_sumR = vemo.p_to_x(vemo.from_str(gh.h), sig_r)
gh_other = vemo.gen_new_GH(vemo.g_to_x(gh, 77), vemo.from_str(gh.h))
proofs = {
    "consistency_proof": vemo.consistency_proof(5, sig_r, gh, sig_c, sig_t, pk_text),
    "sigma_dlog_proof_explicit": vemo.sigma_dlog_proof_explicit(sig_t, pbsk, h_sumR),
    "sigma_dlog_proof_explicit_sha256": vemo.sigma_dlog_proof_explicit_sha256(sig_t, pbsk, h_sumR),
    "sigma_eq_dlog_proof": vemo.sigma_eq_dlog_proof(sig_t, pbsk, gh, h_sumR),
    "sigma_eq_dlog_proof_sha256": vemo.sigma_eq_dlog_proof_sha256(sig_t, pbsk, gh, h_sumR),
    "sigma_eq_dlog_same_secret": vemo.sigma_eq_dlog_same_secret(42, gh, gh_other),
    "sigma_eq_dlog_ped_proof": vemo.sigma_eq_dlog_ped_proof(42, gh, gh, pk_text),
}
case("consistency_proof")(lambda: vemo.consistency_proof(5, sig_r, gh, sig_c, sig_t, pk_text))
case("consistency_proof_with_witness")(
    lambda: vemo.consistency_proof_with_witness(5, sig_r, gh, sig_c, sig_t, pk_text))
case("consistency_proof_verify")(
    lambda: vemo.consistency_proof_verify(proofs["consistency_proof"], gh, sig_c, sig_t, pk_text))
case("sigma_dlog_proof_explicit")(lambda: vemo.sigma_dlog_proof_explicit(sig_t, pbsk, h_sumR))
case("sigma_dlog_proof_explicit_verify")(
    lambda: vemo.sigma_dlog_proof_explicit_verify(proofs["sigma_dlog_proof_explicit"], h_sumR, sig_t))
case("sigma_dlog_proof_explicit_sha256")(lambda: vemo.sigma_dlog_proof_explicit_sha256(sig_t, pbsk, h_sumR))
case("sigma_dlog_proof_explicit_sha256_with_witness")(
    lambda: vemo.sigma_dlog_proof_explicit_sha256_with_witness(sig_t, pbsk, h_sumR))
case("sigma_dlog_proof_explicit_verify_sha256")(
    lambda: vemo.sigma_dlog_proof_explicit_verify_sha256(proofs["sigma_dlog_proof_explicit_sha256"], h_sumR, sig_t))
case("sigma_eq_dlog_proof")(lambda: vemo.sigma_eq_dlog_proof(sig_t, pbsk, gh, h_sumR))
case("sigma_eq_dlog_verify")(lambda: vemo.sigma_eq_dlog_verify(proofs["sigma_eq_dlog_proof"], gh, h_sumR, sig_t))
case("sigma_eq_dlog_proof_sha256")(lambda: vemo.sigma_eq_dlog_proof_sha256(sig_t, pbsk, gh, h_sumR))
case("sigma_eq_dlog_verify_sha256")(
    lambda: vemo.sigma_eq_dlog_verify_sha256(proofs["sigma_eq_dlog_proof_sha256"], gh, h_sumR, sig_t))
case("sigma_eq_dlog_same_secret")(lambda: vemo.sigma_eq_dlog_same_secret(42, gh, gh_other))
case("sigma_eq_dlog_verify_same_secret")(
    lambda: vemo.sigma_eq_dlog_verify_same_secret(proofs["sigma_eq_dlog_same_secret"], gh, gh_other))
case("sigma_eq_dlog_ped_proof")(lambda: vemo.sigma_eq_dlog_ped_proof(42, gh, gh, pk_text))
case("sigma_eq_dlog_ped_proof_with_witness")(
    lambda: vemo.sigma_eq_dlog_ped_proof_with_witness(42, gh, gh, pk_text))
case("sigma_eq_dlog_ped_verify")(lambda: vemo.sigma_eq_dlog_ped_verify(proofs["sigma_eq_dlog_ped_proof"], gh, gh))

# ---- value recovery ----
for amount, bound, number in [(999, 10**3, 50), (-999, 10**3, 50), (999_999, 10**6, 5), (10**6, 10**6, 5),
                              (2**31 - 2, 2**31 - 1, 2)]:
    found = "found" if abs(amount) < bound else "not found"
    recovered = vemo.commit(amount, sig_r, gh)
    case(f"get_brut_v (range {bound}, {amount} {found})", number=number)(
        lambda recovered=recovered, bound=bound: vemo.get_brut_v(recovered, sig_t, gh, pbsk, bound))


# ---- range proofs ----
range_r = vemo.gen_r()
range_c = vemo.commit(5, range_r, gh)
for n_bit, prove_number, verify_number in [(8, 20, 50), (32, 10, 20), (64, 5, 10)]:
    range_proof = vemo.range_proof_single(n_bit, 5, gh, range_r)
    case(f"range_proof_single ({n_bit} bits)", number=prove_number)(
        lambda n_bit=n_bit: vemo.range_proof_single(n_bit, 5, gh, range_r))
    case(f"range_proof_single_verify ({n_bit} bits)", number=verify_number)(
        lambda n_bit=n_bit, text=range_proof: vemo.range_proof_single_verify(text, n_bit, gh, range_c))
case("ghvec(64)", number=20)(lambda: vemo.ghvec(64))

def run_python():
    width = max(len(label) for label, _, _ in CASES)
    print(f"{'operation':<{width}}  time per call")
    for label, fn, number in CASES:
        fn()  # warm up (derivations cached on first use)
        best = min(timeit.repeat(fn, number=number, repeat=3)) / number
        print(f"{label:<{width}}  {best * 1e6:10.1f} us")


def run_cpp():
    build = pathlib.Path(os.environ.get("VEMO_BUILD", pathlib.Path(__file__).resolve().parent.parent / "build/dev"))
    exe = build / "bench" / "core_bench"
    if exe.exists():
        print()
        sys.stdout.flush()
        subprocess.run([str(exe)], check=True)
    else:
        print(f"\n(core_bench not built at {exe})")


if __name__ == "__main__":
    run_python()
    run_cpp()
