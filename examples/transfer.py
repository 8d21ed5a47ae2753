"""One confidential transfer from start to finish: run with `make demo`.

Alice holds a balance of 100 on a ledger, published only as a commitment. She
pays Bob 30. What she publishes holds no amount: a commitment to the amount, an
audit token for Bob and one for an auditor, proofs that the tokens belong to
the commitment, her new balance commitment, and range proofs that neither the
amount nor her remaining balance is negative. A verifier checks all of it
without learning an amount; Bob and the auditor each read the amount with their
own secret key. The transfer is vemo_ledger's: the same records and checks that
`python3 -m vemo_ledger` makes and verifies by the thousand.
"""
from __future__ import annotations

import json
from dataclasses import replace

import vemo
from vemo_ledger import Holding, Transfer, check_transfer, pay, read_amount

BITS = 32  # amounts and balances are proved to lie in [0, 2**32)

# What each of the ledger's checks shows, in this story's words.
CLAIMS = {
    "proof_receiver": "Bob's token matches the amount",
    "proof_auditor": "the auditor's token matches the amount",
    "range_amount": "the amount is at least 0",
    "range_balance": "Alice's remaining balance is at least 0",
    "sender_balance": "Alice's new balance is her balance minus the amount",
}


def verify(t: Transfer, balance: vemo.Commit) -> str | None:
    """The verifier's side: public data only. Returns the first failed check, or None."""
    first = None
    for check, reason in check_transfer(t, balance):
        if check == "decode":
            return f"a text does not decode: {reason}"
        print(f"  {'ok  ' if reason is None else 'FAIL'}  {CLAIMS[check]}")
        if reason is not None and first is None:
            first = f"not shown that {CLAIMS[check]}"
    return first


def section(title: str) -> None:
    print(f"\n== {title} ==")


def short(text: str) -> str:
    return text[:16] + "..."


def main() -> None:
    section("1. Setup")
    gh = vemo.gen_GH()
    bob, auditor = vemo.gen_pb_sk(gh), vemo.gen_pb_sk(gh)
    print("Bob and the auditor each hold a key pair; their public keys are known to all.")
    alice = vemo.gen_pb_sk(gh).get_pk()
    holding = Holding(100, vemo.gen_r())
    balance = holding.commitment(gh)
    print("Alice's balance on the ledger:", short(balance.get))
    print("  a commitment to 100; Alice keeps the 100 and its blinding scalar to herself")

    section("2. Alice builds a transfer of 30 to Bob")

    def alice_pays(amount: int) -> Transfer:
        return pay(id="t1", bits=BITS, sender_pk=alice, sender=holding, amount=amount, receiver_pk=bob.get_pk(),
                   auditor_pk=auditor.get_pk(), gh=gh).transfer

    transfer = alice_pays(30)
    print("amount commitment    ", short(transfer.amount), " 30*g + r*h")
    print("token for Bob        ", short(transfer.token_receiver), " r*pk_bob")
    print("token for the auditor", short(transfer.token_auditor), " r*pk_auditor")
    print("Alice's new balance  ", short(transfer.sender_balance), " her balance commitment minus the amount's")
    print(f"consistency proofs    2 x {len(transfer.proof_receiver)} characters of JSON")
    print(f"range proofs          2 x {len(transfer.range_amount)} characters of JSON ({BITS} bits)")

    section("3. A verifier checks it without seeing any amount")
    reason = verify(transfer, balance)
    print("accepted" if reason is None else f"refused: {reason}")

    section("4. Bob reads the amount with his key")
    print("Bob finds", read_amount(transfer, transfer.token_receiver, bob, gh))

    section("5. The auditor reads it with hers")
    print("the auditor finds", read_amount(transfer, transfer.token_auditor, auditor, gh))
    print("Bob's key on the auditor's token finds", read_amount(transfer, transfer.token_auditor, bob, gh),
          "(nothing found: the token is not his)")

    section("6. Tampered transfers are refused")
    edited = json.loads(transfer.range_amount)
    edited["tx"]["scalar"] = format(int(edited["tx"]["scalar"], 16) + 1, "064x")
    tampered = {
        "Alice pays 130 out of 100": alice_pays(130),
        "Bob's token swapped for the auditor's": replace(transfer, token_receiver=transfer.token_auditor),
        "one number of a range proof edited": replace(transfer, range_amount=json.dumps(edited, indent=2)),
    }
    outcomes = {"honest transfer of 30 out of 100": reason}
    for name, t in tampered.items():
        print(f"{name}:")
        outcomes[name] = verify(t, balance)
        print(f"  refused: {outcomes[name]}" if outcomes[name] else "  accepted (it should not be)")

    section("Summary")
    width = max(map(len, outcomes))
    print(f"{'transfer':<{width}}  verdict   reason")
    print(f"{'-' * width}  --------  {'-' * 50}")
    for name, why in outcomes.items():
        print(f"{name:<{width}}  {'accepted' if why is None else 'refused ':<8}  {why or '-'}")
    print("The verifier learnt no amount; Bob and the auditor each read 30 with their own key.")


if __name__ == "__main__":
    main()
