"""The strict proof suite: sigma proofs and aggregated range proofs sound by construction.

Every challenge is drawn from a transcript holding the suite's tag, the
caller's context bytes, the whole statement and every prover message, so a
proof made for one context, statement or message verifies for no other.
Proofs are bytes with exactly one encoding. See docs/strict.md, the
suite's contract::

    import vemo, vemo_strict

    gh = vemo.gen_GH()
    r = vemo.gen_r()
    c = vemo_strict.commit(1000, r, gh)
    proof = vemo_strict.prove_opening(b"ledger 7, transfer 12", 1000, r, gh, c)
    assert vemo_strict.verify_opening(b"ledger 7, transfer 12", proof, gh, c)

Every verify_* function returns False for a well-formed proof that does not
verify and raises ValueError for malformed bytes or a refused statement;
vemo_batch.Batch.add takes them as it takes vemo's verifying functions.
"""

from vemo_batch import __version__
from vemo_batch._core import _strict as _native

commit = _native.commit
prove_opening = _native.prove_opening
verify_opening = _native.verify_opening
prove_consistency = _native.prove_consistency
verify_consistency = _native.verify_consistency
prove_dleq = _native.prove_dleq
verify_dleq = _native.verify_dleq
sign = _native.sign
verify_signature = _native.verify_signature
prove_balance = _native.prove_balance
verify_balance = _native.verify_balance
prove_range = _native.prove_range
verify_range = _native.verify_range

__all__ = [
    "__version__",
    "commit",
    "prove_balance",
    "prove_consistency",
    "prove_dleq",
    "prove_opening",
    "prove_range",
    "sign",
    "verify_balance",
    "verify_consistency",
    "verify_dleq",
    "verify_opening",
    "verify_range",
    "verify_signature",
]
