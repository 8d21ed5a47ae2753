"""The strict proof suite: sigma proofs sound by construction (type stub)."""

from typing import Final

import vemo

__version__: Final[str]
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

def commit(value: int, r: vemo.rand_r, gh: vemo.GH) -> vemo.Commit:
    """The commitment value*g + r*h for a value 0 <= value < 2**64.

    The same point vemo.commit gives for small values; this one takes any
    64-bit amount. OverflowError for a value outside 0 .. 2**64 - 1.
    """

def prove_opening(context: bytes, value: int, r: vemo.rand_r, gh: vemo.GH, commitment: vemo.Commit) -> bytes:
    """A proof that the prover knows (value, r) with commitment = value*g + r*h.

    The proof (96 bytes) verifies only under the same context bytes.
    ValueError when (value, r) does not open commitment, when g or h is the
    identity, or without randomness from the operating system.
    """

def verify_opening(context: bytes, proof: bytes, gh: vemo.GH, commitment: vemo.Commit) -> bool:
    """Whether proof shows knowledge of an opening of commitment under context.

    False for a well-formed proof that does not verify; ValueError for
    malformed proof bytes (any other length, a point off the curve or not in
    its one encoding, the identity, a scalar not below the group order) or a
    refused statement.
    """

def prove_consistency(
    context: bytes,
    value: int,
    r: vemo.rand_r,
    gh: vemo.GH,
    commitment: vemo.Commit,
    keys: list[str],
    tokens: list[vemo.Token],
) -> bytes:
    """One proof that commitment = value*g + r*h and tokens[i] = r*keys[i] for every i.

    keys are key texts (PbSk.get_pk()), 1 to 16 of them, one token each: a
    payee, an auditor and the payer can share one proof. The proof is
    32 * (3 + len(keys)) bytes. ValueError when the secrets do not satisfy
    the statement, for a key that does not decode or is the identity, or for
    counts out of range.
    """

def verify_consistency(
    context: bytes,
    proof: bytes,
    gh: vemo.GH,
    commitment: vemo.Commit,
    keys: list[str],
    tokens: list[vemo.Token],
) -> bool:
    """Whether proof shows one r behind commitment and every token, under context.

    False for a well-formed proof that does not verify; ValueError for
    malformed proof bytes or a refused statement (see prove_consistency).
    """

def prove_dleq(context: bytes, pbsk: vemo.PbSk, gh: vemo.GH, base: vemo.Commit, image: vemo.Token) -> bytes:
    """A proof that the secret key of pbsk makes both its key (sk*h) and image = sk*base.

    The proof (96 bytes) has one response for its one secret, so no proof
    exists for two different secrets. ValueError when image is not sk*base,
    when base is the identity, or without randomness.
    """

def verify_dleq(context: bytes, proof: bytes, gh: vemo.GH, key: str, base: vemo.Commit, image: vemo.Token) -> bool:
    """Whether proof shows key = x*h and image = x*base for one x, under context.

    key is a key text (PbSk.get_pk()). False for a well-formed proof that
    does not verify; ValueError for malformed proof bytes, a key that does
    not decode, or an identity key or base.
    """

def sign(context: bytes, message: bytes, pbsk: vemo.PbSk, gh: vemo.GH) -> bytes:
    """A Schnorr signature (64 bytes) of message by pbsk's key, bound to context.

    ValueError when pbsk's key is not sk*h, or without randomness.
    """

def verify_signature(context: bytes, signature: bytes, message: bytes, key: str, gh: vemo.GH) -> bool:
    """Whether signature is key's signature of message under context.

    False for a well-formed signature that does not verify; ValueError for
    malformed signature bytes or a key that does not decode or is the identity.
    """

def prove_balance(
    context: bytes,
    value: int,
    pbsk: vemo.PbSk,
    new_r: vemo.rand_r,
    gh: vemo.GH,
    commitment: vemo.Commit,
    token: vemo.Token,
    new_commitment: vemo.Commit,
) -> bytes:
    """A proof that new_commitment holds the value commitment holds, by the key's owner.

    The owner of (commitment, token = r*pk) knows the secret key and the
    value but not r; new_commitment = value*g + new_r*h. The proof is
    192 bytes. ValueError when the secrets do not satisfy the statement, for
    an identity key or token, or without randomness.
    """

def verify_balance(
    context: bytes,
    proof: bytes,
    gh: vemo.GH,
    key: str,
    commitment: vemo.Commit,
    token: vemo.Token,
    new_commitment: vemo.Commit,
) -> bool:
    """Whether proof shows that new_commitment holds commitment's value, under context.

    False for a well-formed proof that does not verify; ValueError for
    malformed proof bytes or a refused statement (see prove_balance).
    """

def prove_range(context: bytes, bits: int, values: list[int], blindings: list[vemo.rand_r], gh: vemo.GH) -> bytes:
    """One proof that every values[j] lies in [0, 2**bits), for the commitments
    commit(values[j], blindings[j], gh), bound to context.

    bits is 8, 16, 32 or 64; 1 to 64 values, one blinding each. The proof of
    m values is 32*(2*log2(bits*m') + 9) bytes, m' being m rounded up to a
    power of two. ValueError for another bit length or count, a value out of
    range, mismatched lists, or without randomness.
    """

def verify_range(context: bytes, proof: bytes, gh: vemo.GH, bits: int, commitments: list[vemo.Commit]) -> bool:
    """Whether proof shows that every commitment holds a value in [0, 2**bits), under context.

    False for a well-formed proof that does not verify; ValueError for
    malformed proof bytes, another bit length, or a number of commitments
    outside 1 to 64.
    """
