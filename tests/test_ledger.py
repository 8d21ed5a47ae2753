"""vemo_ledger: made ledgers verified in this process and on a real local
dask cluster (loopback only), with a worker killed mid-run; the ledger's
balance rules; hostile lines; the command line's outcomes."""
import dataclasses
import json
import os
import pathlib
import re
import signal
import subprocess
import sys
import textwrap
import threading

import pytest

import vemo
import vemo_ledger
import vemo_ledger.cli
from vemo_ledger import FAULTS, Holding, LedgerError, open_account, pay, verify_chunk, verify_ledger
from vemo_ledger.check import ALREADY_OPEN, NO_SENDER, WRONG_BALANCE

distributed = pytest.importorskip("distributed")



class Overtime(Exception):
    pass


@pytest.fixture(autouse=True)
def bounded():
    """Every test here fails after three minutes rather than hang on a cluster."""
    def overtime(signum, frame):
        raise Overtime("test ran over three minutes")

    previous = signal.signal(signal.SIGALRM, overtime)
    signal.alarm(180)
    yield
    signal.alarm(0)
    signal.signal(signal.SIGALRM, previous)


def outcome(report):
    """The report without the facts of the run."""
    d = dataclasses.asdict(report)
    del d["run"], d["ledger"]
    return d


@pytest.fixture(scope="module")
def made(tmp_path_factory):
    """60 transfers between 4 accounts, two of each kind of fault."""
    path = tmp_path_factory.mktemp("ledger") / "l.jsonl"
    faults = vemo_ledger.make_ledger(path, 60, invalid=2 * len(FAULTS), accounts=4, bits=8, seed=7, version=1)
    return path, faults


@pytest.fixture(scope="module")
def expected(made):
    return outcome(verify_ledger(made[0], chunk=7))


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address="127.0.0.1:0", silence_logs=40) as c:
        yield c


def test_made_ledger_reports_exactly_its_faults(made, expected):
    path, faults = made
    assert sorted({f.fault for f in faults}) == sorted(FAULTS)
    side = json.loads(pathlib.Path(vemo_ledger.side_file(str(path))).read_text())
    assert side["invalid"] == [dataclasses.asdict(f) for f in faults]
    assert expected["invalid_lines"] == [{"line": f.line, "id": f.id, "reason": f.reason} for f in faults]
    assert (expected["records"], expected["accounts"], expected["transfers"]) == (64, 4, 60)
    assert (expected["valid"], expected["invalid"]) == (64 - len(faults), len(faults))

    # Every transfer the ledger accepts also passes vemo's own one-by-one verifiers.
    gh = vemo.gen_GH()
    bad = {f.line for f in faults}
    lines = path.read_text().splitlines()
    for n, line in enumerate(lines[4:], start=5):
        if n in bad:
            continue
        t = vemo_ledger.parse(line)
        amount, balance = vemo.from_str(t.amount), vemo.from_str(t.sender_balance)
        assert vemo.consistency_proof_verify(t.proof_receiver, gh, amount, vemo.to_token_from_str(t.token_receiver),
                                             t.receiver)
        assert vemo.consistency_proof_verify(t.proof_auditor, gh, amount, vemo.to_token_from_str(t.token_auditor),
                                             t.auditor)
        assert vemo.range_proof_single_verify(t.range_amount, t.bits, gh, amount)
        assert vemo.range_proof_single_verify(t.range_balance, t.bits, gh, balance)


@pytest.mark.parametrize("chunk", [1, 5, 1000])
def test_chunk_size_and_threads_do_not_change_the_report(made, expected, chunk):
    assert outcome(verify_ledger(made[0], chunk=chunk, threads=1 + chunk % 2)) == expected


def test_three_ways_of_running_give_one_report(made, expected, cluster, tmp_path):
    # A running cluster, reached through its scheduler.
    report = verify_ledger(made[0], scheduler=cluster.scheduler_address, chunk=4)
    assert report.run.mode == "scheduler" and report.run.workers == 2
    assert outcome(report) == expected
    # A local cluster of its own, from the command line.
    out = tmp_path / "r.json"
    p = run_cli("verify", str(made[0]), "--workers", "2", "--chunk", "9", "--report", str(out), "--quiet")
    assert p.returncode == 1, p.stderr
    assert p.stderr == ""
    written = json.loads(out.read_text())
    assert written["run"]["mode"] == "local-cluster" and written["run"]["workers"] == 2
    del written["run"], written["ledger"]
    assert written == expected


def test_a_worker_killed_mid_run_still_gives_the_complete_report(made, expected, cluster):
    client = distributed.Client(cluster)
    try:
        pids = client.run(os.getpid)
    finally:
        client.close()
    victim = next(iter(pids.values()))
    killed_at = []

    def kill_once(records, done, total):
        if not killed_at:
            killed_at.append(records)
            os.kill(victim, signal.SIGKILL)

    report = verify_ledger(made[0], scheduler=cluster.scheduler_address, chunk=2, on_progress=kill_once)
    assert killed_at and killed_at[0] < expected["records"]  # killed while chunks were still out
    with pytest.raises(ProcessLookupError):
        os.kill(victim, 0)
    assert outcome(report) == expected


def keys(n):
    gh = vemo.gen_GH()
    return gh, [vemo.gen_pb_sk(gh).get_pk() for _ in range(n)]


def test_balances_follow_the_lines_in_order(tmp_path):
    gh, (alice, bob, auditor) = keys(3)
    a, b = Holding(50, vemo.gen_r()), Holding(5, vemo.gen_r())
    open_a, open_b = open_account("a", alice, a, gh).to_json(), open_account("b", bob, b, gh).to_json()
    first = pay(id="t1", bits=8, sender_pk=alice, sender=a, amount=20, receiver_pk=bob, auditor_pk=auditor, gh=gh)
    second = pay(id="t2", bits=8, sender_pk=alice, sender=first.sender_after, amount=30, receiver_pk=bob,
                 auditor_pk=auditor, gh=gh)
    # Bob spends what he received: his balance is his opening plus both amounts.
    bob_now = vemo_ledger.receive(vemo_ledger.receive(b, first.received), second.received)
    third = pay(id="t3", bits=8, sender_pk=bob, sender=bob_now, amount=25, receiver_pk=alice, auditor_pk=auditor, gh=gh)
    t1, t2, t3 = (p.transfer.to_json() for p in (first, second, third))
    lines = [t1, open_a, open_b, open_a, t1, t1, t2, t3, t2]
    path = tmp_path / "order.jsonl"
    path.write_text("\n".join(lines) + "\n\n")
    report = verify_ledger(path, chunk=2)
    assert [(x.line, x.id, x.reason) for x in report.invalid_lines] == [
        (1, "t1", NO_SENDER),  # before the sender's account was opened
        (4, "a", ALREADY_OPEN),
        (6, "t1", WRONG_BALANCE),  # a replay: the balance has moved on
        (9, "t2", WRONG_BALANCE),
    ]
    assert (report.records, report.accounts, report.transfers, report.valid) == (9, 2, 7, 5)

    # The same fold by hand leaves each account at what its owner computed.
    ledger = vemo_ledger.Ledger()
    for r in verify_chunk(list(enumerate(lines, start=1))):
        ledger.apply(r)
    alice_now = vemo_ledger.receive(second.sender_after, third.received)
    assert ledger.balance(alice).get == alice_now.commitment(gh).get
    assert ledger.balance(bob).get == third.sender_after.commitment(gh).get
    assert len(ledger) == 2 and ledger.balance(auditor) is None


def hostile_lines(transfer_json):
    t = json.loads(transfer_json)

    def edit(**fields):
        return json.dumps({**t, **fields})

    return [
        ("not json", "not JSON: Expecting value: line 1 column 1 (char 0)"),
        ("[1, 2]", "not a JSON object but a JSON array"),
        ("[" * 100000, "not JSON: nested too deeply"),
        (json.dumps({k: v for k, v in t.items() if k != "kind"}), 'missing field "kind"'),
        (edit(kind="mint"), 'field "kind" is "mint"; expected "open" or "transfer"'),
        (edit(bits=12), 'field "bits" is 12; expected 8, 16, 32 or 64'),
        (edit(bits=True), 'field "bits" is a JSON boolean; expected an integer'),
        (edit(amount=None), 'field "amount" is a JSON null; expected a string'),
        (edit(extra=1), 'unknown field "extra"'),
        (edit(id=""), 'field "id" is empty'),
        (edit(receiver="zz"), 'field "receiver": called `Result::unwrap()` on an `Err` value: '
                              'Error("invalid point", line: 1, column: 29)'),
        (transfer_json.replace('"proof_auditor":"', '"proof_auditor":"\\ud800'),
         'field "proof_auditor": not UTF-8 text'),
        ("\udcff" + transfer_json, "not UTF-8 text"),
    ]


def test_hostile_lines_are_invalid_records_with_their_reason():
    gh, (alice, bob, auditor) = keys(3)
    good = pay(id="t1", bits=8, sender_pk=alice, sender=Holding(9, vemo.gen_r()), amount=4, receiver_pk=bob,
               auditor_pk=auditor, gh=gh).transfer.to_json()
    cases = hostile_lines(good)
    results = verify_chunk([(n, line) for n, (line, _) in enumerate(cases + [(good, None)], start=1)])
    assert [r.reason for r in results] == [reason for _, reason in cases] + [None]
    assert results[-1].kind == "transfer"


# The children find the modules where this process found them, from any folder.
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(os.path.abspath(p) for p in sys.path if p)}


def run_cli(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "vemo_ledger", *args], capture_output=True, text=True,
                          timeout=120, env=ENV, cwd=cwd)


def test_cli_make_then_verify(tmp_path):
    out = tmp_path / "l.jsonl"
    p = run_cli("make", "--format", "1", "--transfers", "6", "--invalid", "2", "--bits", "8", "--accounts", "2", str(out))
    assert p.returncode == 0, p.stderr
    assert "make: 6/6 transfers (100%)" in p.stderr  # plain progress lines off a terminal
    assert json.loads((tmp_path / "l.invalid.json").read_text())["ledger"] == str(out)
    p = run_cli("verify", str(out))
    assert p.returncode == 1, p.stderr
    summary = p.stdout.splitlines()
    assert summary[0] == f"{out}: 8 records (2 accounts opened, 6 transfers): 6 valid, 2 invalid"
    assert summary[-1] == f"report: {tmp_path / 'l.report.json'}"
    assert json.loads((tmp_path / "l.report.json").read_text())["invalid"] == 2
    assert "panicked" not in p.stderr
    p = run_cli("verify", str(out), "--report", "-", "--quiet")
    assert json.loads(p.stdout)["invalid"] == 2 and p.stderr.startswith(f"{out}: 8 records")


@pytest.mark.parametrize("content, status, message", [
    (None, 2, "No such file or directory"),
    (b"", 0, None),
    (b"\n\n", 0, None),
    (b'{\n  "kind": "open"\n}\n', 2, "not JSON Lines: line 1 is not JSON"),
    (b"a,b,c\n1,2,3\n", 2, "not JSON Lines: line 1 is not JSON"),
    (b"\x89PNG\r\n\x1a\n\x00\x00", 2, "not JSON Lines: line 1 is not JSON"),
    (b"[1]\n", 2, "not a ledger: line 1 is not a JSON object"),
    (b'\n{"kind": "open"}\nnot json\n', 1, None),
])
def test_cli_outcomes_for_odd_files(tmp_path, content, status, message):
    path = tmp_path / "x.jsonl"
    if content is not None:
        path.write_bytes(content)
    p = run_cli("verify", str(path), "--quiet")
    assert p.returncode == status, p.stderr
    assert "Traceback" not in p.stderr
    if message:
        assert p.stderr.count("\n") == 1 and message in p.stderr and p.stderr.startswith("vemo_ledger verify: error:")
    if status == 0:
        assert json.loads((tmp_path / "x.report.json").read_text())["records"] == 0
    if status == 1:
        report = json.loads((tmp_path / "x.report.json").read_text())
        assert [(x["line"], x["reason"]) for x in report["invalid_lines"]] == [
            (2, 'missing field "id"'), (3, "not JSON: Expecting value: line 1 column 1 (char 0)")]


@pytest.mark.parametrize("args", [
    [], ["verify"], ["verify", "x", "--workers", "0"], ["verify", "x", "--workers", "2", "--scheduler", "tcp://a:1"],
    ["make", "x.jsonl"], ["make", "--transfers", "2", "--invalid", "3", "x.jsonl"], ["frobnicate"],
])
def test_cli_usage_errors_are_one_line(tmp_path, args):
    p = run_cli(*args, cwd=tmp_path)
    assert p.returncode == 2
    assert p.stderr.count("\n") == 1 and "error:" in p.stderr and "Traceback" not in p.stderr
    assert not (tmp_path / "x.jsonl").exists()


def test_unreachable_scheduler_and_a_directory_are_errors(tmp_path):
    with pytest.raises(LedgerError, match="not a ledger|Is a directory"):
        verify_ledger(tmp_path)
    (tmp_path / "l.jsonl").write_text('{"kind": "open"}\n')
    p = run_cli("verify", str(tmp_path / "l.jsonl"), "--scheduler", "tcp://127.0.0.1:9", "--quiet",
                "--connect-timeout", "2")
    assert p.returncode == 2 and p.stderr.startswith("vemo_ledger verify: error: cannot start or reach scheduler")
    assert p.stderr.count("\n") == 1


def test_verify_runs_while_another_thread_uses_vemo(made, expected):
    # The chunk threads and the caller's own threads share vemo's caches.
    stop = threading.Event()

    def busy():
        gh = vemo.gen_GH()
        while not stop.is_set():
            vemo.commit(3, vemo.gen_r(), gh)

    t = threading.Thread(target=busy)
    t.start()
    try:
        assert outcome(verify_ledger(made[0], chunk=3)) == expected
    finally:
        stop.set()
        t.join()


# Hostile files, peers and arguments: the verifier reports, or stops with
# one line and exit status 2; it never dies with a traceback, hangs, or
# applies what it did not check.

def long_integer_lines(made):
    """The made ledger with integers of 5000 digits after its first line: in
    "bits", and in a member that is not a field."""
    lines = made[0].read_text().splitlines()
    transfer = lines[5]
    long_bits = re.sub(r'"bits":\d+', '"bits":' + "1" * 5000, transfer)
    long_extra = transfer[:-1] + ',"n":-' + "9" * 5000 + "}"
    return lines[:6] + [long_bits, long_extra] + lines[6:], [
        (7, 'field "bits" is an integer of 5000 digits; expected 8, 16, 32 or 64'), (8, 'unknown field "n"')]


def test_integers_too_long_for_python_are_invalid_lines(made, expected, tmp_path):
    lines, reasons = long_integer_lines(made)
    path = tmp_path / "long.jsonl"
    path.write_text("\n".join(lines) + "\n")
    report = verify_ledger(path, chunk=5)
    shifted = [(x["line"] + 2 if x["line"] > 6 else x["line"], x["reason"]) for x in expected["invalid_lines"]]
    assert [(x.line, x.reason) for x in report.invalid_lines] == sorted(shifted + reasons)
    p = run_cli("verify", str(path), "--workers", "1", "--quiet", "--report", str(tmp_path / "r.json"))
    assert p.returncode == 1 and p.stderr == ""
    assert json.loads((tmp_path / "r.json").read_text())["invalid_lines"] == [
        dataclasses.asdict(x) for x in report.invalid_lines]


def test_an_unexpected_failure_while_checking_is_one_line_and_status_2(made, monkeypatch, capsys):
    def broken(lines, threads=1):
        raise RuntimeError("a fault of the checker")

    monkeypatch.setattr(vemo_ledger.verify, "verify_chunk", broken)
    message = f"{made[0]}, lines 1 to 64: checking failed: RuntimeError: a fault of the checker"
    with pytest.raises(LedgerError) as e:
        verify_ledger(made[0])
    assert str(e.value) == message
    assert vemo_ledger.cli.main(["verify", str(made[0]), "--quiet"]) == 2
    assert capsys.readouterr().err == f"vemo_ledger verify: error: {message}\n"


PEAK = textwrap.dedent("""
    import sys
    from vemo_ledger.cli import main
    status = main(sys.argv[1:])
    peak = [line for line in open("/proc/self/status") if line.startswith("VmHWM:")][0]
    print("peak", int(peak.split()[1]) * 1024, status)
""")


def peak_of_verify(*args):
    """Peak resident memory of a fresh process running `verify *args`, and its exit status."""
    env = dict(ENV)
    if "libasan" in env.get("LD_PRELOAD", ""):
        # Under the sanitizer build (make sanitize) freed blocks wait in ASan's
        # quarantine (256 MB by default) and would count as the program's peak.
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "quarantine_size_mb=0"]))
    p = subprocess.run([sys.executable, "-c", PEAK, "verify", *args, "--quiet", "--threads", "1"],
                       capture_output=True, text=True, timeout=120, env=env)
    assert p.stderr == ""
    words = p.stdout.split()
    return int(words[-2]), int(words[-1])


def test_lines_over_the_limit_are_invalid_and_never_held_whole(made, tmp_path):
    lines = made[0].read_text().splitlines()
    huge = '{"kind": "transfer", "id": "' + "x" * (40 << 20) + '"}'
    path = tmp_path / "huge.jsonl"
    with open(path, "w") as f:
        f.write("\n".join(lines[:6] + [huge] * 4 + lines[6:]) + "\n")
    report = verify_ledger(path, chunk=3)
    assert [x for x in report.invalid_lines if x.reason == "line too long"] == [
        vemo_ledger.InvalidLine(n, None, "line too long") for n in range(7, 11)]
    assert len(report.invalid_lines) == 4 + len(made[1])

    # 160 MB of such lines cost less memory than one of them, held once.
    base, status = peak_of_verify(str(made[0]), "--report", str(tmp_path / "base.json"))
    assert status == 1
    peak, status = peak_of_verify(str(path), "--report", str(tmp_path / "huge.json"))
    assert status == 1
    assert peak - base < (40 << 20), (peak, base)

    # An honest line just inside the limit is read; --max-line sets it.
    one = tmp_path / "one.jsonl"
    one.write_text(lines[0] + "\r\n")
    assert verify_ledger(one, max_line=len(lines[0])).invalid == 0
    assert verify_ledger(one, max_line=len(lines[0]) - 1).invalid_lines == [
        vemo_ledger.InvalidLine(1, None, "line too long")]


def test_the_summary_shows_hostile_ids_and_names_escaped(made, tmp_path):
    lines = made[0].read_text().splitlines()
    forged = f"x\n{made[0]}: 64 records (4 accounts opened, 60 transfers): 64 valid, 0 invalid\x1b[2K"
    hostile = [json.dumps({"kind": "open", "id": "\ud800"}), json.dumps({"kind": "open", "id": forged}),
               json.dumps({"kind": "open", "id": "a", "account": "", "balance": "", "\x1b]0;owned\x07": 1})]
    path = tmp_path / "ids.jsonl"
    path.write_text("\n".join(lines[:4] + hostile) + "\n", errors="surrogatepass")
    p = run_cli("verify", str(path), "--quiet")
    assert p.returncode == 1 and p.stderr == ""
    out = p.stdout.splitlines()
    assert out[1:4] == [
        '  line 5 ("\\ud800"): missing field "account"',
        '  line 6 (' + json.dumps(forged) + '): missing field "account"',
        '  line 7 ("a"): unknown field "\\u001b]0;owned\\u0007"',
    ]
    assert len(out) == 6 and out[4].startswith("checked in") and "\x1b" not in p.stdout
    report = json.loads((tmp_path / "ids.report.json").read_text())
    assert [x["id"] for x in report["invalid_lines"]] == ["\ud800", forged, "a"]


# Run in a worker process by client.run(exec, ...): the worker's
# verify_chunk answers chunks the way MODE says.
HOSTILE_WORKER = textwrap.dedent("""
    import dataclasses, time
    import vemo_ledger.check as check
    honest = check.verify_chunk

    def hostile(lines, threads=1):
        results = honest(lines, threads)
        if MODE == "short":
            return results[:-1]
        if MODE == "renumbered":
            return [dataclasses.replace(r, line=r.line + 1) for r in results]
        if MODE == "foreign":
            return [dataclasses.asdict(r) for r in results]
        if MODE == "not a point":
            return [dataclasses.replace(r, reason=None, kind="open", account="a", balance="zz") for r in results]
        time.sleep(600)

    check.verify_chunk = hostile
""")


@pytest.mark.parametrize("mode, says", [
    ("short", "63 results for 64 lines"),
    ("renumbered", "the result for line 1 names line 2"),
    ("foreign", "a dict instead of a LineResult for line 1"),
    ("not a point", "the result for line 1 holds a text that is not a point"),
    ("hang", "no result from the cluster 2 s after they were sent (chunk timeout)"),
])
def test_a_result_that_does_not_answer_its_chunk_is_never_applied(made, mode, says):
    # A fresh cluster each time: a worker caches the task function it has
    # loaded once, so the hostile one must be in place before any task.
    with distributed.LocalCluster(n_workers=1, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address="127.0.0.1:0", silence_logs=40) as c:
        with distributed.Client(c) as client:
            client.run(exec, HOSTILE_WORKER, {"MODE": mode})
        applied = []
        with pytest.raises(LedgerError) as e:
            verify_ledger(made[0], scheduler=c.scheduler_address, chunk_timeout=2,
                          on_progress=lambda *a: applied.append(a))
    assert applied == []
    if mode == "hang":
        assert str(e.value) == f"{made[0]}, lines 1 to 64: {says}"
    else:
        assert str(e.value) == f"{made[0]}, lines 1 to 64: a result that does not answer them: {says}"


def test_the_local_cluster_admits_only_this_runs_processes(made, expected, monkeypatch):
    clusters = []

    class Recorded(distributed.LocalCluster):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, **kwargs)
            clusters.append(self)

    monkeypatch.setattr(distributed, "LocalCluster", Recorded)
    tried = []

    def intrude(records, done, total):
        if tried:
            return
        address = clusters[0].scheduler_address
        tried.append(address)
        # Without credentials, in plain TCP, or with a certificate of its own.
        from distributed.security import Security
        for where, security in [(address, None), (address.replace("tls://", "tcp://"), None),
                                (address, Security.temporary())]:
            with pytest.raises((OSError, TimeoutError, ValueError, TypeError)):
                distributed.Client(where, timeout=2, security=security)
        # The address is the right one: the run's own credentials get in.
        with distributed.Client(address, security=clusters[0].security, timeout=5) as own:
            assert len(own.nthreads()) == 1

    report = verify_ledger(made[0], workers=1, chunk=16, on_progress=intrude)
    assert tried and tried[0].startswith("tls://127.0.0.1:")
    assert outcome(report) == expected


def test_tls_scheduler_with_certificate_files(made, expected, tmp_path):
    from distributed.security import Security

    made_for_test = Security.temporary()
    files = {}
    for flag, pem in [("--tls-ca-file", made_for_test.tls_ca_file), ("--tls-cert", made_for_test.tls_client_cert),
                      ("--tls-key", made_for_test.tls_client_key)]:
        files[flag] = tmp_path / (flag.strip("-") + ".pem")
        files[flag].write_text(pem)
    with distributed.LocalCluster(n_workers=1, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address="127.0.0.1:0", silence_logs=40, security=made_for_test) as c:
        address = c.scheduler_address
        assert address.startswith("tls://")
        tls = [str(x) for pair in files.items() for x in pair]
        out = tmp_path / "r.json"
        p = run_cli("verify", str(made[0]), "--scheduler", address, *tls, "--report", str(out), "--quiet")
        assert p.returncode == 1 and p.stderr == ""
        written = json.loads(out.read_text())
        del written["run"], written["ledger"]
        assert written == expected
        # Without the files, or with only some of them: one line, status 2.
        for args in ([], tls[:2]):
            p = run_cli("verify", str(made[0]), "--scheduler", address, *args, "--quiet", "--connect-timeout", "3")
            assert p.returncode == 2 and p.stderr.count("\n") == 1, p.stderr
