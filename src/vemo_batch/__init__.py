"""Batch verification of vemo proofs.

Queue verifications with the same functions and arguments you would call
one by one, then verify them all at once::

    import vemo, vemo_batch

    batch = vemo_batch.Batch()
    batch.add(vemo.range_proof_single_verify, proof_text, 64, gh, commitment)
    batch.add(vemo.consistency_proof_verify, proof, gh, ped_cm, token, pubkey)
    verdicts = batch.verify()      # list[bool], one per add(), in order
    batch.errors                   # list[str | None], the panic texts

Every verdict equals what the one-by-one call returns. All equations of
all items are combined with fresh random 128-bit weights into one
multi-scalar sum, so a batch holding a false item passes that sum with
probability about 2**-128; when the sum fails, bisection finds the failing
items and checks them alone. verify() runs with the interpreter lock
released, on all cores unless told otherwise. See docs/batch.md.

For bulk readers of untrusted texts, decode_commit and decode_token decode
a point text as vemo.from_str and vemo.to_token_from_str do, but a text
that does not decode raises ValueError (with vemo's message) and writes
nothing to stderr.
"""

from vemo_batch._core import Batch, __version__, decode_commit, decode_token

__all__ = ["Batch", "__version__", "decode_commit", "decode_token"]
