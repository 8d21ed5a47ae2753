"""Calls from many threads at once, with the interpreter lock released in
the heavy ones, give exactly what the same calls give on one thread."""
import threading

import vemo
import vemo_batch
from helpers import outcome

THREADS = 8


def workload(gh, pbsk, r, c, token, proof64, bad_texts):
    """Deterministic calls (their results can be compared across threads)
    and randomised ones reduced to their verdicts."""
    pk = pbsk.get_pk()
    calls = [
        lambda: vemo.range_proof_single_verify(proof64, 64, gh, c),
        lambda: vemo.range_proof_single_verify(proof64, 64, gh, vemo.commit(6, r, gh)),
        lambda: vemo.commit(5, r, gh).get,
        lambda: vemo.p_to_x(vemo.from_str(gh.g), r).get,
        lambda: pbsk.to_token(r).get,
        lambda: vemo.to_token_from_pk(pk, r).get,
        lambda: vemo.get_brut_v(c, token, gh, pbsk, 1000),
        lambda: vemo.get_brut_v(vemo.commit(-700, r, gh), token, gh, pbsk, 1000),
        lambda: vemo.get_brut_v(vemo.commit(5000, r, gh), token, gh, pbsk, 1000),
        lambda: vemo.ghvec(8),
        lambda: vemo.consistency_proof_verify(vemo.consistency_proof(5, r, gh, c, token, pk), gh, c, token, pk),
        lambda: vemo.range_proof_single_verify(vemo.range_proof_single(8, 200, gh, r), 8, gh, c),
        lambda: vemo.sigma_eq_dlog_verify_same_secret(vemo.sigma_eq_dlog_same_secret(3, gh, gh), gh, gh),
        lambda: vemo.regen_pb_sk(gh, r).get_pk(),
        lambda: vemo.gen_pb_sk(gh).get_pk() != pk,
    ]
    calls += [lambda t=t: vemo.from_str(t).get for t in bad_texts + [gh.h, gh.g]]
    calls += [lambda t=t: vemo.range_proof_single_verify(t, 64, gh, c) for t in bad_texts]

    def batch():
        b = vemo_batch.Batch()
        b.add(vemo.range_proof_single_verify, proof64, 64, gh, c)
        b.add(vemo.range_proof_single_verify, bad_texts[0], 64, gh, c)
        return b.verify(threads=2), b.errors

    calls.append(batch)
    return calls


def test_eight_threads_give_the_single_thread_results(gh):
    pbsk = vemo.gen_pb_sk(gh)
    r = vemo.gen_r()
    c = vemo.commit(5, r, gh)
    token = pbsk.to_token(r)
    proof64 = vemo.range_proof_single(64, 5, gh, r)
    bad_texts = ["", "zz" * 32, proof64[:-3], gh.h[:-1] + "g"]
    calls = workload(gh, pbsk, r, c, token, proof64, bad_texts)
    expected = [outcome(f) for f in calls]

    results = [None] * THREADS
    start = threading.Barrier(THREADS)

    def run(k):
        start.wait()
        # Each thread walks the calls in its own rotation, so different calls overlap.
        order = [(k * 5 + i) % len(calls) for i in range(len(calls))] * 3
        got = {}
        for i in order:
            value = outcome(calls[i])
            assert got.setdefault(i, value) == value
        results[k] = [got[i] for i in range(len(calls))]

    threads = [threading.Thread(target=run, args=(k,)) for k in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [expected] * THREADS


def test_printing_calls_keep_their_lines_whole(capfd):
    def run():
        for _ in range(3):
            vemo.range_proof_test(8, 3)

    threads = [threading.Thread(target=run) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    lines = capfd.readouterr().out.splitlines()
    assert len(lines) == 4 * 3 * 3
    assert lines.count("results") == 12 and lines.count("true") == 12
    assert all(line.startswith("[Bn254Point") for line in lines if line not in ("results", "true"))
