"""One confidential transfer from start to finish: run with `make demo`.

Alice holds a balance of 100 on a ledger, published only as a commitment. She
pays Bob 30. What she publishes holds no amount: a commitment to the amount, an
audit token for Bob and one for an auditor, proofs that the tokens belong to
the commitment, and range proofs that neither the amount nor her remaining
balance is negative. A verifier checks all of it without learning an amount;
Bob and the auditor each read the amount with their own secret key.
"""
from __future__ import annotations

import json
from dataclasses import dataclass, replace
from typing import Callable

import vemo

BITS = 32  # amounts and balances are proved to lie in [0, 2**32)
SEARCH = 1 << 20  # how far Bob and the auditor search when reading an amount


@dataclass(frozen=True)
class Transfer:
    """What Alice publishes: texts only, no amount and no blinding scalar."""

    amount: str  # commitment amount·g + r·h
    token_bob: str  # r·pk_bob
    token_auditor: str  # r·pk_auditor
    proof_bob: str  # consistency proof: the commitment and Bob's token share r
    proof_auditor: str  # the same for the auditor's token
    range_amount: str  # range proof: the amount is in [0, 2**BITS)
    range_rest: str  # range proof: balance − amount is in [0, 2**BITS)


def pay(balance: int, balance_r: vemo.rand_r, amount: int, gh: vemo.GH, bob_pk: str, auditor_pk: str) -> Transfer:
    """Alice's side: she knows her balance, its blinding scalar and the amount."""
    r = vemo.gen_r()
    c = vemo.commit(amount, r, gh)
    t_bob = vemo.to_token_from_pk(bob_pk, r)
    t_auditor = vemo.to_token_from_pk(auditor_pk, r)
    # The remaining balance is the balance commitment minus the amount
    # commitment: it commits to balance − amount with blinding balance_r − r.
    return Transfer(
        amount=c.get,
        token_bob=t_bob.get,
        token_auditor=t_auditor.get,
        proof_bob=vemo.consistency_proof(amount, r, gh, c, t_bob, bob_pk),
        proof_auditor=vemo.consistency_proof(amount, r, gh, c, t_auditor, auditor_pk),
        range_amount=vemo.range_proof_single(BITS, amount, gh, r),
        range_rest=vemo.range_proof_single(BITS, balance - amount, gh, balance_r.sub(r)),
    )


def is_panic(e: BaseException) -> bool:
    """vemo's PanicException: a BaseException, raised for a text that does not decode."""
    return type(e).__name__ == "PanicException"


def holds(check: Callable[[], bool]) -> bool:
    """A check's outcome; a proof text that does not even decode fails it too."""
    try:
        return check()
    except BaseException as e:
        if not is_panic(e):
            raise
        return False


def verify(t: Transfer, balance: vemo.Commit, gh: vemo.GH, bob_pk: str, auditor_pk: str) -> str | None:
    """The verifier's side: public data only. Returns the first failed check, or None."""
    try:
        amount = vemo.from_str(t.amount)
        t_bob = vemo.to_token_from_str(t.token_bob)
        t_auditor = vemo.to_token_from_str(t.token_auditor)
    except BaseException as e:
        if not is_panic(e):
            raise
        return "a commitment or token text does not decode"
    rest = vemo.sub(balance, amount)  # commits to what Alice has left
    checks: list[tuple[str, Callable[[], bool]]] = [
        ("Bob's token matches the amount",
         lambda: vemo.consistency_proof_verify(t.proof_bob, gh, amount, t_bob, bob_pk)),
        ("the auditor's token matches the amount",
         lambda: vemo.consistency_proof_verify(t.proof_auditor, gh, amount, t_auditor, auditor_pk)),
        ("the amount is at least 0",
         lambda: vemo.range_proof_single_verify(t.range_amount, BITS, gh, amount)),
        ("Alice's remaining balance is at least 0",
         lambda: vemo.range_proof_single_verify(t.range_rest, BITS, gh, rest)),
    ]
    for claim, check in checks:
        ok = holds(check)
        print(f"  {'ok  ' if ok else 'FAIL'}  {claim}")
        if not ok:
            return f"not shown that {claim}"
    return None


def read_amount(t: Transfer, token: str, gh: vemo.GH, key: vemo.PbSk) -> int:
    """A key holder's side: strip the blinding with the key and search for the amount."""
    return vemo.get_brut_v(vemo.from_str(t.amount), vemo.to_token_from_str(token), gh, key, SEARCH)


def section(title: str) -> None:
    print(f"\n== {title} ==")


def short(text: str) -> str:
    return text[:16] + "..."


def main() -> None:
    section("1. Setup")
    gh = vemo.gen_GH()
    bob, auditor = vemo.gen_pb_sk(gh), vemo.gen_pb_sk(gh)
    print("Bob and the auditor each hold a key pair; their public keys are known to all.")
    balance_r = vemo.gen_r()
    balance = vemo.commit(100, balance_r, gh)
    print("Alice's balance on the ledger:", short(balance.get))
    print("  a commitment to 100; Alice keeps the 100 and its blinding scalar to herself")

    section("2. Alice builds a transfer of 30 to Bob")
    transfer = pay(100, balance_r, 30, gh, bob.get_pk(), auditor.get_pk())
    print("amount commitment    ", short(transfer.amount), " 30*g + r*h")
    print("token for Bob        ", short(transfer.token_bob), " r*pk_bob")
    print("token for the auditor", short(transfer.token_auditor), " r*pk_auditor")
    print(f"consistency proofs    2 x {len(transfer.proof_bob)} characters of JSON")
    print(f"range proofs          2 x {len(transfer.range_amount)} characters of JSON ({BITS} bits)")

    section("3. A verifier checks it without seeing any amount")
    reason = verify(transfer, balance, gh, bob.get_pk(), auditor.get_pk())
    print("accepted" if reason is None else f"refused: {reason}")

    section("4. Bob reads the amount with his key")
    print("Bob finds", read_amount(transfer, transfer.token_bob, gh, bob))

    section("5. The auditor reads it with hers")
    print("the auditor finds", read_amount(transfer, transfer.token_auditor, gh, auditor))
    print("Bob's key on the auditor's token finds", read_amount(transfer, transfer.token_auditor, gh, bob),
          "(nothing found: the token is not his)")

    section("6. Tampered transfers are refused")
    edited = json.loads(transfer.range_amount)
    edited["tx"]["scalar"] = format(int(edited["tx"]["scalar"], 16) + 1, "064x")
    tampered = {
        "Alice pays 130 out of 100": pay(100, balance_r, 130, gh, bob.get_pk(), auditor.get_pk()),
        "Bob's token swapped for the auditor's": replace(transfer, token_bob=transfer.token_auditor),
        "one number of a range proof edited": replace(transfer, range_amount=json.dumps(edited, indent=2)),
    }
    outcomes = {"honest transfer of 30 out of 100": reason}
    for name, t in tampered.items():
        print(f"{name}:")
        outcomes[name] = verify(t, balance, gh, bob.get_pk(), auditor.get_pk())
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
