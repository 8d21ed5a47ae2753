"""Soak: calls every function of the module (and the class members), the
failing forms included, round after round, and prints the resident set
size every REPORT calls. Not part of make test:

    PYTHONPATH=build/dev/src /usr/bin/python3 tests/soak.py [CALLS] [REPORT]

Defaults: 10^6 calls, a line every 10^5. A flat RSS after the first lines
(caches filled) means nothing leaks per call."""
import os
import sys
import traceback

import vemo
from helpers import G_TEXT

CALLS = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
REPORT = int(sys.argv[2]) if len(sys.argv) > 2 else 100_000
PAGE = os.sysconf("SC_PAGE_SIZE")


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * PAGE // 1024


def must_fail(fn, *args):
    def call():
        try:
            fn(*args)
        except BaseException as e:  # PanicException derives from BaseException
            if isinstance(e, (KeyboardInterrupt, SystemExit)):
                raise
            return
        raise AssertionError(f"{fn.__name__} did not fail")
    return call


def build_calls():
    gh = vemo.gen_GH()
    pbsk = vemo.gen_pb_sk(gh)
    r = vemo.gen_r()
    cm = vemo.commit(5, r, gh)
    tk = pbsk.to_token(r)
    h = vemo.from_str(gh.h)
    h_sumR = vemo.p_to_x(h, r)
    gh2 = vemo.gen_new_GH(vemo.g_to_x(gh, 77), h)
    pk = pbsk.get_pk()
    dlog = vemo.sigma_dlog_proof_explicit(tk, pbsk, h_sumR)
    dlog256 = vemo.sigma_dlog_proof_explicit_sha256(tk, pbsk, h_sumR)
    eq = vemo.sigma_eq_dlog_proof(tk, pbsk, gh, h_sumR)
    eq256 = vemo.sigma_eq_dlog_proof_sha256(tk, pbsk, gh, h_sumR)
    same = vemo.sigma_eq_dlog_same_secret(9, gh, gh2)
    ped = vemo.sigma_eq_dlog_ped_proof(4, gh, gh, pk)
    cons = vemo.consistency_proof(5, r, gh, cm, tk, pk)
    rp = vemo.range_proof_single(2, 3, gh, r)
    cm3 = vemo.commit(3, r, gh)
    big = "x" * 10_000
    return [
        lambda: vemo.commit(5, r, gh),
        lambda: vemo.add(cm, cm),
        lambda: vemo.sub(cm, cm),
        lambda: vemo.add_value_commits(cm.get, cm.get),
        lambda: vemo.sub_value_commits(cm.get, cm.get),
        lambda: vemo.from_str(cm.get),
        must_fail(vemo.from_str, "zz"),
        must_fail(vemo.from_str, big),
        lambda: vemo.to_token_from_str(tk.get),
        must_fail(vemo.to_token_from_str, "0" * 63 + "4"),
        vemo.gen_GH,
        vemo.gen_r,
        lambda: vemo.gen_pb_sk(gh),
        lambda: vemo.regen_pb_sk(gh, r),
        lambda: vemo.to_scalar_from_str(r.get),
        must_fail(vemo.to_scalar_from_str, "ab"),
        must_fail(vemo.to_scalar_from_str, 5),
        lambda: vemo.add_token(tk, tk),
        lambda: vemo.sub_token(tk, tk),
        lambda: vemo.sub_commit_token(cm, tk),
        lambda: vemo.add_commit_token(cm, tk),
        lambda: vemo.h_to_x(gh, r),
        lambda: vemo.g_to_x(gh, -7),
        lambda: vemo.g_to_r(gh, r),
        lambda: vemo.p_to_x(cm, r),
        lambda: vemo.to_token_from_pk(pk, r),
        must_fail(vemo.to_token_from_pk, "zz", r),
        lambda: vemo.sigma_dlog_proof_explicit(tk, pbsk, h_sumR),
        lambda: vemo.sigma_dlog_proof_explicit_sha256(tk, pbsk, h_sumR),
        lambda: vemo.sigma_dlog_proof_explicit_sha256_with_witness(tk, pbsk, h_sumR),
        lambda: vemo.sigma_dlog_proof_explicit_verify(dlog, h_sumR, tk),
        lambda: vemo.sigma_dlog_proof_explicit_verify_sha256(dlog256, h_sumR, tk),
        must_fail(vemo.sigma_dlog_proof_explicit_verify, "{", h_sumR, tk),
        lambda: vemo.sigma_eq_dlog_proof(tk, pbsk, gh, h_sumR),
        lambda: vemo.sigma_eq_dlog_proof_sha256(tk, pbsk, gh, h_sumR),
        lambda: vemo.sigma_eq_dlog_verify(eq, gh, h_sumR, tk),
        lambda: vemo.sigma_eq_dlog_verify_sha256(eq256, gh, h_sumR, tk),
        must_fail(vemo.sigma_eq_dlog_verify, "[]", gh, h_sumR, tk),
        lambda: vemo.sigma_eq_dlog_same_secret(9, gh, gh2),
        lambda: vemo.sigma_eq_dlog_verify_same_secret(same, gh, gh2),
        lambda: vemo.sigma_eq_dlog_ped_proof(4, gh, gh, pk),
        lambda: vemo.sigma_eq_dlog_ped_proof_with_witness(4, gh, gh, pk),
        lambda: vemo.sigma_eq_dlog_ped_verify(ped, gh, gh),
        must_fail(vemo.sigma_eq_dlog_ped_proof, 4, gh, gh, "zz"),
        lambda: vemo.consistency_proof(5, r, gh, cm, tk, pk),
        lambda: vemo.consistency_proof_with_witness(5, r, gh, cm, tk, pk),
        lambda: vemo.consistency_proof_verify(cons, gh, cm, tk, pk),
        must_fail(vemo.consistency_proof, 6, r, gh, cm, tk, pk),
        lambda: vemo.range_proof_single(2, 3, gh, r),
        lambda: vemo.range_proof_single_verify(rp, 2, gh, cm3),
        must_fail(vemo.range_proof_single, 3, 3, gh, r),
        must_fail(vemo.range_proof_single_verify, rp, 4, gh, cm3),
        must_fail(vemo.range_proof_single, 2**40, 3, gh, r),
        lambda: vemo.ghvec(2),
        must_fail(vemo.ghvec, 2**63),
        lambda: vemo.get_brut_v(cm, tk, gh, pbsk, 10),
        lambda: vemo.get_brut_v(cm, tk, gh, pbsk, 3),
        lambda: vemo.get_y_coord(cm),
        lambda: vemo.from_coords(format(1, "064x"), format(2, "064x")),
        must_fail(vemo.from_coords, format(1, "064x"), format(3, "064x")),
        lambda: vemo.gen_new_GH(cm, cm),
        vemo.curve_name,
        lambda: cm.get, lambda: cm.x, lambda: cm.y, lambda: cm.is_zero(), lambda: cm.to_bytes(),
        lambda: cm.sum(cm), lambda: cm.sub(cm), lambda: cm.from_bytes(cm.to_bytes()[:32]),
        must_fail(cm.from_bytes, cm.to_bytes()),
        lambda: r.get, lambda: r.sum(r), lambda: r.sub(r), lambda: r.neg(), lambda: r.is_zero(),
        lambda: gh.h, lambda: gh.g, lambda: tk.get,
        lambda: pbsk.to_token(r), lambda: pbsk.get_sk(), lambda: pbsk.get_pk(),
        must_fail(pbsk.to_token, cm),
        # Printing functions: their output is redirected below.
        lambda: vemo.print_commit(cm),
        lambda: vemo.print_token(tk),
        lambda: vemo.hash_test1(cm),
        lambda: vemo.hash_test2(cm, cm),
        lambda: vemo.hash_test3(cm, cm, cm),
        lambda: vemo.range_proof_test(1, 1),
    ]


def main():
    calls = build_calls()
    # The print functions write to descriptor 1 and every failure leaves a
    # line on descriptor 2: both go to /dev/null, the report to a copy of
    # the original standard error.
    report = os.fdopen(os.dup(2), "w", buffering=1)
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 1)
    os.dup2(devnull, 2)
    done = 0
    report.write(f"{len(calls)} kinds of call, {CALLS} calls\ncalls rss_kib\n{done} {rss_kib()}\n")
    while done < CALLS:
        for call in calls:
            try:
                call()
            except BaseException:
                traceback.print_exc(file=report)
                raise SystemExit(1)
            done += 1
            if done % REPORT == 0:
                report.write(f"{done} {rss_kib()}\n")
            if done >= CALLS:
                break


if __name__ == "__main__":
    main()
