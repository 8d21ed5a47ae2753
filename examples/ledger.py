"""A ledger of version 2 from start to finish: run with `make demo`.

The issuer opens two accounts. Alice pays Bob and keeps the amount's
blinding scalar to herself; Bob reads his balance with his key and spends
it with his key alone. Then every trick that robs or blocks a ledger of
version 1 is tried, each as one more line, and verifying refuses each one
with its reason. The records and checks are vemo_ledger's: the same ones
`python3 -m vemo_ledger` makes and verifies by the thousand.
"""
from __future__ import annotations

import dataclasses
import os
import tempfile

import vemo
from vemo_ledger import (Pair, Transfer2, balance_of, issue, new_header, pay2, received, sign_transfer,
                         verify_ledger_state)
from vemo_ledger.check2 import Ledger2

BITS = 32


def section(title: str) -> None:
    print(f"\n== {title} ==")


def main() -> None:
    gh = vemo.gen_GH()
    issuer, auditor, alice, bob, mallory = (vemo.gen_pb_sk(gh) for _ in range(5))

    section("1. A new ledger")
    header = new_header("header", BITS, issuer, auditor, gh)
    lines = [header.to_json()]
    print(f"ledger {header.ledger[:16]}...: the issuer may open accounts and mint; every amount must be "
          f"readable by the auditor. Both signed the header.")
    opened = []
    for n, (key, amount) in enumerate(((alice, 100), (bob, 50))):
        rec = issue("open", id=f"open-{n}", header=header, issuer=issuer, account=key.get_pk(), n=n, amount=amount,
                    gh=gh)
        opened.append(Pair(vemo.from_str(rec.amount), vemo.to_token_from_str(rec.handle)))
        lines.append(rec.to_json())
    print("The issuer opens Alice's account with 100 and Bob's with 50, signing each opening.")

    section("2. Alice pays Bob 30; the blinding scalar r stays hers")
    r = vemo.gen_r()
    paid = pay2(id="t1", header=header, sender=alice, value=100, before=opened[0], seq=0, amount=30,
                receiver=bob.get_pk(), gh=gh, r=r)
    lines.append(paid.transfer.to_json())
    bob_pair = received(opened[1], paid.transfer)
    print("Published: the amount's commitment with handles for Bob, the auditor and Alice (one proof), her new")
    print("balance with its handle, a balance proof made with her key, one range proof for both, her signature.")
    print("The auditor reads the amount:", vemo.get_brut_v(vemo.from_str(paid.transfer.amount),
                                                            vemo.to_token_from_str(paid.transfer.handle_auditor),
                                                            gh, auditor, 1 << 20))
    value = balance_of(bob_pair, bob, gh)
    print("Bob reads his balance with his key alone:", value)

    section("3. Bob spends money whose r he never learnt")
    spent = pay2(id="t2", header=header, sender=bob, value=value, before=bob_pair, seq=0, amount=10,
                 receiver=alice.get_pk(), gh=gh)
    lines.append(spent.transfer.to_json())
    print("Bob pays Alice 10 with his key, his balance and its handle: nothing else.")

    section("4. Every trick against a ledger of version 1, one line each")
    t1: Transfer2 = paid.transfer
    # Suppose Bob learnt r after all: an exact refund puts the same amount back.
    refund = pay2(id="refund", header=header, sender=bob, value=spent.value_after, before=spent.sender_after, seq=1,
                  amount=30, receiver=alice.get_pk(), gh=gh, r=r)
    other = new_header("header", BITS, issuer, auditor, gh)
    other_line = pay2(id="elsewhere", header=other, sender=alice, value=100, before=opened[0], seq=0, amount=30,
                      receiver=bob.get_pk(), gh=gh).transfer
    hidden = pay2(id="hidden", header=header, sender=alice, value=paid.value_after, before=paid.sender_after, seq=1,
                  amount=5, receiver=bob.get_pk(), gh=gh, auditor=mallory.get_pk()).transfer
    ahead = pay2(id="ahead", header=header, sender=alice, value=paid.value_after, before=paid.sender_after, seq=5,
                 amount=5, receiver=bob.get_pk(), gh=gh).transfer
    tries = [
        ("Alice's payment replayed byte for byte", t1.to_json()),
        ("an exact refund by Bob, with Alice's r ...", refund.transfer.to_json()),
        ("... then Alice's payment replayed again", t1.to_json()),
        ("Alice's payment redirected to Mallory", dataclasses.replace(t1, receiver=mallory.get_pk()).to_json()),
        ("Alice's payment signed by Mallory", sign_transfer(t1, mallory, gh).to_json()),
        ("a transfer of Alice's with a sequence number out of order", ahead.to_json()),
        ("an opening for Mallory that the issuer did not sign",
         issue("open", id="forged", header=header, issuer=mallory, account=mallory.get_pk(), n=2, amount=10**6,
               gh=gh).to_json()),
        ("an amount the ledger's auditor could not read", hidden.to_json()),
        ("Alice's transfer from another ledger", other_line.to_json()),
    ]
    lines += [line for _, line in tries]
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "demo.jsonl")
        with open(path, "w", encoding="utf-8") as f:
            f.write("".join(x + "\n" for x in lines))
        report, state = verify_ledger_state(path)
    refused = {x.line: x.reason for x in report.invalid_lines}
    first_try = len(lines) - len(tries) + 1
    for n, (what, _) in enumerate(tries, start=first_try):
        print(f"  line {n}, {what}:\n      {refused.get(n, 'valid: a refund is a payment like any other')}")

    section("5. What the ledger holds")
    assert isinstance(state, Ledger2)
    for name, key in (("Alice", alice), ("Bob", bob)):
        pair = state.balance(key.get_pk())
        assert pair is not None
        print(f"{name}'s key reads a balance of {balance_of(pair, key, gh)} "
              f"({state.seq(key.get_pk())} transfers sent).")
    print(f"{report.valid} valid lines, {report.invalid} refused.")


if __name__ == "__main__":
    main()
