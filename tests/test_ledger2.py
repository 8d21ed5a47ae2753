"""vemo_ledger's second version: the attacks the first version let through
(replay, refund then replay, forged consent, freezing, unaudited money,
foreign lines), each built with the package's own functions as an attacker
would, refused with its reason in every way of running; a long random fold
read back by the owners' keys; the two versions side by side."""
import dataclasses
import json
import os
import pathlib
import random
import subprocess
import sys

import pytest

import vemo
import vemo_ledger
from vemo_ledger import (FAULTS2, Header, Ledger2, LineResult, MalformedResult, Pair, balance_of, checked_results,
                         issue, new_header, pay2, read_balance, read_key, received, sign_transfer, verify_chunk,
                         verify_ledger)
from vemo_ledger.check import ALREADY_OPEN, NO_RECEIVER, VERSION1_IN_VERSION2, VERSION2_IN_VERSION1
from vemo_ledger.check2 import (HEADER_NOT_FIRST, IDENTITY, NO_HEADER, NOT_ITS_BALANCE, NOT_OPEN, NOT_THE_AUDITOR,
                                OTHER_LEDGER, SECOND_HEADER, TRANSFER_CHECKS, ISSUE_CHECKS, HEADER_CHECKS,
                                wrong_count, wrong_seq)
from vemo_ledger.record2 import Version2

distributed = pytest.importorskip("distributed")

GH = vemo.gen_GH()
SIGNATURE_FAILS = dict(TRANSFER_CHECKS)["signature"]
AMOUNT_PROOF_FAILS = dict(TRANSFER_CHECKS)["proof_amount"]
ISSUER_SIGNATURE_FAILS = dict(ISSUE_CHECKS)["signature"]
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(os.path.abspath(p) for p in sys.path if p)}


def outcome(report):
    d = dataclasses.asdict(report)
    del d["run"], d["ledger"]
    return d


def run_cli(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "vemo_ledger", *args], capture_output=True, text=True,
                          timeout=170, env=ENV, cwd=cwd)


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address="127.0.0.1:0", silence_logs=40) as c:
        yield c


class World:
    """A ledger being written by its parties, as they would: the issuer opens
    accounts, owners pay with their keys alone, and a line is kept as text."""

    def __init__(self, bits=16, ledger=None, issuer=None, auditor=None):
        self.issuer = issuer or vemo.gen_pb_sk(GH)
        self.auditor = auditor or vemo.gen_pb_sk(GH)
        self.header = new_header("header", bits, self.issuer, self.auditor, GH, ledger=ledger)
        self.lines = [self.header.to_json()]
        self.issued = 0
        self.pairs = {}  # pk -> Pair, as the ledger will hold it
        self.seqs = {}
        self.values = {}  # what each owner reads with its key

    def open(self, key, amount, r=None):
        pk = key.get_pk()
        rec = issue("open", id=f"open-{self.issued}", header=self.header, issuer=self.issuer, account=pk,
                    n=self.issued, amount=amount, gh=GH, r=r)
        self.issued += 1
        self.pairs[pk] = Pair(vemo.from_str(rec.amount), vemo.to_token_from_str(rec.handle))
        self.seqs[pk] = 0
        self.values[pk] = amount
        self.lines.append(rec.to_json())
        return rec

    def pay(self, sender, receiver, amount, r=None, write=True):
        """sender's transfer of amount, made with what sender knows: its key, its value, its pair."""
        pk, to = sender.get_pk(), receiver.get_pk()
        p = pay2(id=f"t{len(self.lines)}", header=self.header, sender=sender, value=self.values[pk],
                 before=self.pairs[pk], seq=self.seqs[pk], amount=amount, receiver=to, gh=GH, r=r)
        if write:
            t = p.transfer
            self.pairs[pk] = p.sender_after
            self.seqs[pk] += 1
            self.values[pk] = p.value_after
            self.pairs[to] = received(self.pairs[to], t)
            self.values[to] += amount
            self.lines.append(t.to_json())
        return p.transfer

    def write(self, path):
        pathlib.Path(path).write_text("".join(x + "\n" for x in self.lines))
        return path


def reasons(report):
    return [(x.line, x.reason) for x in report.invalid_lines]


@pytest.fixture(scope="module")
def attacked(tmp_path_factory):
    """A ledger of version 2 with every attack of the first version tried on
    it, each line of it kept with the reason it must be refused for."""
    w = World()
    alice, bob, carol, mallory = (vemo.gen_pb_sk(GH) for _ in range(4))
    for key, amount in ((alice, 900), (bob, 500), (carol, 0)):
        w.open(key, amount)
    expected = []

    def refuse(line, reason):
        w.lines.append(line)
        expected.append((len(w.lines), reason))

    # Alice pays Bob; Bob learns r (say Alice told him) and so can attempt
    # every replay trick of the first version.
    r = vemo.gen_r()
    paid = w.pay(alice, bob, 120, r=r)
    refuse(paid.to_json(), wrong_seq(0, 1))  # the line appended again, byte for byte
    w.pay(bob, alice, 120, r=r)  # an exact refund, same amount, same r: valid on its own
    refuse(paid.to_json(), wrong_seq(0, 1))  # and the replay after it
    # No consent: Mallory edits Alice's next payment to pay herself, or
    # signs Alice's transfer with her own key.
    honest = w.pay(alice, carol, 10, write=False)
    refuse(dataclasses.replace(honest, receiver=mallory.get_pk()).to_json(), SIGNATURE_FAILS)
    refuse(sign_transfer(honest, mallory, GH).to_json(), SIGNATURE_FAILS)
    # A sequence number out of order, properly signed by Alice.
    ahead = pay2(id="ahead", header=w.header, sender=alice, value=w.values[alice.get_pk()],
                 before=w.pairs[alice.get_pk()], seq=w.seqs[alice.get_pk()] + 1, amount=5, receiver=bob.get_pk(),
                 gh=GH).transfer
    refuse(ahead.to_json(), wrong_seq(2, 1))
    # Money from nothing: Mallory opens (or mints into) an account herself.
    refuse(issue("open", id="forged", header=w.header, issuer=mallory, account=mallory.get_pk(), n=w.issued,
                 amount=100, gh=GH).to_json(), ISSUER_SIGNATURE_FAILS)
    refuse(issue("mint", id="forged-mint", header=w.header, issuer=mallory, account=bob.get_pk(), n=w.issued,
                 amount=100, gh=GH).to_json(), ISSUER_SIGNATURE_FAILS)
    # An amount the ledger's auditor cannot read: handles for another key.
    hidden = pay2(id="hidden", header=w.header, sender=alice, value=w.values[alice.get_pk()],
                  before=w.pairs[alice.get_pk()], seq=w.seqs[alice.get_pk()], amount=5, receiver=bob.get_pk(),
                  gh=GH, auditor=mallory.get_pk()).transfer
    refuse(hidden.to_json(), NOT_THE_AUDITOR)
    # ... or the ledger's auditor named, with Mallory's handle under it.
    relabelled = dataclasses.replace(hidden, auditor=w.auditor.get_pk())
    refuse(sign_transfer(relabelled, alice, GH).to_json(), AMOUNT_PROOF_FAILS)
    # A line of another ledger with the same parties, as it is and relabelled.
    other = World(ledger=os.urandom(32).hex(), issuer=w.issuer, auditor=w.auditor)
    other.open(alice, 900)
    other.open(bob, 0)
    foreign = other.pay(alice, bob, 50)
    refuse(foreign.to_json(), OTHER_LEDGER)
    refuse(dataclasses.replace(foreign, ledger=w.header.ledger).to_json(), SIGNATURE_FAILS)
    # An overspend: no balance proof exists, so Alice proves the value she
    # would like to have; and a balance of her own making.
    over = pay2(id="over", header=w.header, sender=alice, value=w.values[alice.get_pk()],
                before=w.pairs[alice.get_pk()], seq=w.seqs[alice.get_pk()], amount=w.values[alice.get_pk()] + 1,
                receiver=bob.get_pk(), gh=GH, new_value=0).transfer
    refuse(over.to_json(), dict(TRANSFER_CHECKS)["proof_balance"])
    fake_r = vemo.gen_r()
    fake = Pair(vemo.commit(5000, fake_r, GH), alice.to_token(fake_r))
    made_up = pay2(id="made-up", header=w.header, sender=alice, value=5000, before=fake, seq=w.seqs[alice.get_pk()],
                   amount=4000, receiver=bob.get_pk(), gh=GH).transfer
    refuse(made_up.to_json(), NOT_ITS_BALANCE)
    # Her real commitment with a handle of her own making: from C alone she
    # can make (C, T) read as any value V, T = sk·(C − V·g), and every proof
    # then holds. Only the ledger's own handle stops it.
    real = w.pairs[alice.get_pk()]
    inflated = w.values[alice.get_pk()] + 1000
    forged = vemo.to_token_from_str(vemo.p_to_x(vemo.sub(real.commitment, vemo.g_to_x(GH, inflated)),
                                                vemo.to_scalar_from_str(alice.get_sk())).get)
    rich = pay2(id="rich", header=w.header, sender=alice, value=inflated, before=Pair(real.commitment, forged),
                seq=w.seqs[alice.get_pk()], amount=1500, receiver=bob.get_pk(), gh=GH).transfer
    refuse(rich.to_json(), NOT_ITS_BALANCE)
    # The same trick one step earlier: a new balance whose handle she made,
    # for the ledger to keep and her next transfer to spend from.
    spend = w.pay(alice, bob, 1, write=False)
    forged_new = vemo.to_token_from_str(vemo.p_to_x(vemo.sub(vemo.from_str(spend.balance), vemo.g_to_x(GH, 5000)),
                                                    vemo.to_scalar_from_str(alice.get_sk())).get)
    refuse(sign_transfer(dataclasses.replace(spend, balance_handle=forged_new.get), alice, GH).to_json(),
           dict(TRANSFER_CHECKS)["proof_new_balance"])
    # The rules of order on the issuer's side, and keys that are no keys.
    refuse(issue("open", id="again", header=w.header, issuer=w.issuer, account=bob.get_pk(), n=w.issued, amount=1,
                 gh=GH).to_json(), ALREADY_OPEN)
    refuse(issue("mint", id="stale", header=w.header, issuer=w.issuer, account=bob.get_pk(), n=0, amount=1,
                 gh=GH).to_json(), wrong_count(0, w.issued))
    refuse(issue("mint", id="nobody", header=w.header, issuer=w.issuer, account=mallory.get_pk(), n=w.issued,
                 amount=1, gh=GH).to_json(), NOT_OPEN)
    some = vemo.from_str(alice.get_pk())
    identity = vemo.sub(some, some).get
    refuse(json.dumps({**json.loads(paid.to_json()), "receiver": identity}), f'field "receiver": {IDENTITY}')
    refuse(w.pay(alice, mallory, 1, write=False).to_json(), NO_RECEIVER)
    refuse(w.header.to_json(), SECOND_HEADER)
    # Freeze: Carol's balance is one payment from Alice, whose r Alice keeps;
    # Carol spends it anyway, with her key alone. And a mint, then its use.
    w.pay(alice, carol, 77)
    assert balance_of(w.pairs[carol.get_pk()], carol, GH) == 77
    w.pay(carol, bob, 77)
    mint = issue("mint", id="mint", header=w.header, issuer=w.issuer, account=carol.get_pk(), n=w.issued,
                 amount=30, gh=GH)
    w.issued += 1
    w.pairs[carol.get_pk()] = Pair(vemo.add(w.pairs[carol.get_pk()].commitment, vemo.from_str(mint.amount)),
                                   vemo.add_token(w.pairs[carol.get_pk()].handle, vemo.to_token_from_str(mint.handle)))
    w.values[carol.get_pk()] += 30
    w.lines.append(mint.to_json())
    w.pay(carol, carol, 30)  # to herself: both halves of one account move
    path = w.write(tmp_path_factory.mktemp("attacks") / "attacked.jsonl")
    return path, expected, w, (alice, bob, carol, mallory)


def test_every_attack_is_refused_with_its_reason_in_every_way_of_running(attacked, cluster, tmp_path):
    path, expected, w, _ = attacked
    here = verify_ledger(path, chunk=3)
    assert reasons(here) == expected
    assert here.valid == len(w.lines) - len(expected)
    on_cluster = verify_ledger(path, scheduler=cluster.scheduler_address, chunk=4)
    assert on_cluster.run.mode == "scheduler" and outcome(on_cluster) == outcome(here)
    out = tmp_path / "r.json"
    p = run_cli("verify", str(path), "--workers", "2", "--chunk", "5", "--report", str(out), "--quiet")
    assert p.returncode == 1, p.stderr
    written = json.loads(out.read_text())
    assert written["run"]["mode"] == "local-cluster"
    del written["run"], written["ledger"]
    assert written == outcome(here)


def test_every_owner_reads_its_balance_with_its_key_alone(attacked, tmp_path):
    path, _, w, parties = attacked
    for key in parties[:3]:
        b = read_balance(path, key)
        assert (b.open, b.value, b.transfers) == (True, w.values[key.get_pk()], w.seqs[key.get_pk()])
    b = read_balance(path, parties[3])
    assert (b.open, b.value) == (False, None)
    # The command line, with a key file as make writes them.
    keyfile = tmp_path / "carol.key"
    keyfile.write_text(json.dumps({"key": parties[2].get_pk(), "secret_key": parties[2].get_sk()}))
    p = run_cli("balance", str(path), "--key", str(keyfile))
    assert p.returncode == 0, p.stderr
    carol = parties[2].get_pk()
    assert p.stdout == f"{carol}: balance {w.values[carol]} ({w.seqs[carol]} transfers sent)\n"
    assert "invalid lines" in p.stderr


@pytest.mark.parametrize("content, message", [
    ("[]", "not a key file: expected a JSON object"),
    ('{"key": "00", "secret_key": "zz"}', '"secret_key" is not 64 hex digits'),
    (None, '"secret_key" is not the secret key of "key"'),
])
def test_a_bad_key_file_is_an_error_not_a_balance(attacked, tmp_path, content, message):
    path, _, _, (alice, bob, _, _) = attacked
    if content is None:  # Bob's public key with Alice's secret
        content = json.dumps({"key": bob.get_pk(), "secret_key": alice.get_sk()})
    keyfile = tmp_path / "k.key"
    keyfile.write_text(content)
    with pytest.raises(vemo_ledger.KeyFileError, match=message):
        read_key(keyfile)
    p = run_cli("balance", str(path), "--key", str(keyfile))
    assert p.returncode == 2 and p.stdout == "" and message in p.stderr


def test_header_rules(tmp_path):
    w = World()
    key = vemo.gen_pb_sk(GH)
    opened = w.open(key, 10).to_json()
    # Records before any header, a header out of place, a header of bad signatures.
    r = verify_ledger(_write(tmp_path / "a.jsonl", [opened, w.header.to_json()]))
    assert reasons(r) == [(1, NO_HEADER), (2, HEADER_NOT_FIRST)]
    forged = dataclasses.replace(w.header, auditor_signature=w.header.issuer_signature)
    r = verify_ledger(_write(tmp_path / "b.jsonl", [forged.to_json(), opened]))
    assert reasons(r) == [(1, HEADER_CHECKS[1][1]), (2, NO_HEADER)]
    r = verify_ledger(_write(tmp_path / "c.jsonl", [w.header.to_json(), opened]))
    assert r.ok and r.accounts == 1


def _write(path, lines):
    path.write_text("".join(x + "\n" for x in lines))
    return path


def test_a_long_random_ledger_leaves_every_owner_the_balance_it_computes(tmp_path):
    rng = random.Random(5)
    w = World(bits=16)
    keys = [vemo.gen_pb_sk(GH) for _ in range(7)]
    for k in keys:
        w.open(k, rng.randrange(500, 2000))
    opened = sum(w.values.values())
    last = None
    for n in range(120):
        if last is not None and rng.random() < 0.25:
            # A refund: the same amount back with the payer's own r.
            (s, t, amount, r), last = last, None
        else:
            s, t = rng.sample(keys, 2)
            amount, r = rng.randrange(0, w.values[s.get_pk()] // 2 + 1), vemo.gen_r()
            last = (t, s, amount, r)
        if w.values[s.get_pk()] >= amount:
            w.pay(s, t, amount, r=r)
    path = w.write(tmp_path / "fold.jsonl")
    report, state = vemo_ledger.verify_ledger_state(path, chunk=16)
    assert report.ok and isinstance(state, Ledger2)
    assert sum(w.values.values()) == opened  # no money made or lost
    for k in keys:
        pk = k.get_pk()
        pair = state.balance(pk)
        assert (pair.commitment.get, pair.handle.get) == (w.pairs[pk].commitment.get, w.pairs[pk].handle.get)
        assert balance_of(pair, k, GH) == w.values[pk]
        assert state.seq(pk) == w.seqs[pk]


def test_both_versions_side_by_side_and_a_mixed_file(tmp_path):
    one, two = tmp_path / "one.jsonl", tmp_path / "two.jsonl"
    f1 = vemo_ledger.make_ledger(one, 4, accounts=2, bits=8, seed=1, version=1)
    f2 = vemo_ledger.make_ledger(two, 4, accounts=2, bits=8, seed=1)
    assert f1 == f2 == []
    r1, r2 = verify_ledger(one), verify_ledger(two)
    assert r1.ok and r2.ok and (r1.records, r2.records) == (6, 7)
    assert (r1.accounts, r1.transfers) == (r2.accounts, r2.transfers) == (2, 4)  # the header is neither
    first = one.read_text().splitlines()
    second = two.read_text().splitlines()
    mixed = verify_ledger(_write(tmp_path / "m2.jsonl", second + first[-1:]))
    assert reasons(mixed) == [(8, VERSION1_IN_VERSION2)]
    mixed = verify_ledger(_write(tmp_path / "m1.jsonl", first + second[-1:]))
    assert reasons(mixed) == [(7, VERSION2_IN_VERSION1)]
    with pytest.raises(vemo_ledger.LedgerError, match="version 1"):
        read_balance(one, vemo.gen_pb_sk(GH))


def test_the_made_ledger_of_version_2_reports_exactly_its_faults(tmp_path):
    path = tmp_path / "l.jsonl"
    faults = vemo_ledger.make_ledger(path, 40, invalid=len(FAULTS2), accounts=4, bits=8, seed=3)
    assert sorted({f.fault for f in faults}) == sorted(FAULTS2)
    side = json.loads((tmp_path / "l.invalid.json").read_text())
    assert side["invalid"] == [dataclasses.asdict(f) for f in faults]
    report = verify_ledger(path, chunk=6)
    assert reasons(report) == [(f.line, f.reason) for f in faults]
    # The key files: each owner reads what the made ledger left it, and the
    # balances add up to what the issuer opened (invalid lines move nothing).
    keys = sorted((tmp_path / "l.keys").iterdir())
    assert [k.name for k in keys][-2:] == ["auditor.key", "issuer.key"] and all(
        k.stat().st_mode & 0o077 == 0 for k in keys)
    openings = [json.loads(x) for x in path.read_text().splitlines() if '"kind":"open"' in x]
    assert len(openings) == 5  # the four accounts, and a stranger's opening that the issuer did not sign
    auditor = read_key(tmp_path / "l.keys" / "auditor.key")
    opened = sum(vemo.get_brut_v(vemo.from_str(x["amount"]), vemo.to_token_from_str(x["handle_auditor"]), GH,
                                 auditor, 1 << 12) for x in openings if x["id"].startswith("acct-"))
    total = sum(read_balance(path, read_key(k)).value for k in keys[:-2])
    assert total == opened


@pytest.mark.parametrize("change, says", [
    ({"version": 3}, 'field "version" is 3; expected 2'),
    ({"version": True}, 'field "version" is true; expected 2'),
    ({"seq": -1}, 'field "seq" is -1; expected an integer from 0 to 2**64 - 1'),
    ({"seq": 2**64}, 'field "seq" is 18446744073709551616; expected an integer from 0 to 2**64 - 1'),
    ({"seq": "9" * 5000}, 'field "seq" is an integer of 5000 digits; expected an integer from 0 to 2**64 - 1'),
    ({"signature": "AB" * 64}, 'field "signature" is not lowercase hex bytes'),
    ({"signature": "ab" * 63}, 'field "signature" holds 63 bytes; expected 64'),
    ({"range": ""}, 'field "range" is not lowercase hex bytes'),
    ({"range": "00" * 736}, SIGNATURE_FAILS),  # the first failing check: the signature covers the proof
    ({"extra": 1}, 'unknown field "extra"'),
    ({"ledger": "00" * 32}, OTHER_LEDGER),
    ({"kind": "open"}, 'missing field "account"'),
    ({"kind": 7}, 'field "kind" is 7; expected "header", "open", "mint" or "transfer"'),
])
def test_hostile_lines_of_version_2_are_invalid_with_their_reason(change, says):
    w = World(bits=8)
    a, b = vemo.gen_pb_sk(GH), vemo.gen_pb_sk(GH)
    w.open(a, 100)
    w.open(b, 0)
    t = json.loads(w.pay(a, b, 3, write=False).to_json())
    text = json.dumps({**t, **change})
    if change.get("seq") == "9" * 5000:  # a JSON integer too long for Python to read
        text = text.replace(f'"seq": "{change["seq"]}"', f'"seq": {change["seq"]}')
    header = Header(**{k: v for k, v in json.loads(w.lines[0]).items() if k not in ("version", "kind")})
    [r] = verify_chunk([(9, text)], 1, Version2(header))
    assert r.reason is not None and r.reason.startswith(says), r.reason


def test_a_result_of_the_wrong_version_or_incomplete_is_never_applied():
    valid = LineResult(1, "t", None, "transfer", account="00", receiver="00", amount="00", balance="00", version=2)
    for results, says in (
        ([LineResult(1, "t", None, "open", account="00", balance="00")], "is of version 1, not 2"),
        ([valid], "is valid but incomplete"),
        ([dataclasses.replace(valid, count="0")], "holds a field that is not an integer"),
    ):
        with pytest.raises(MalformedResult, match=says):
            checked_results([(1, "")], results, 2)
    with pytest.raises(ValueError):
        Ledger2().apply(LineResult(1, "x", None, "open", account="00", balance="00"))
