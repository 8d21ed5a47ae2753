"""Pedersen commitments, keys, audit tokens, sigma proofs and range proofs on BN254 G1.

A commitment is val·g + r·h for the generator pair gh (see gen_GH), a key pair is
(sk, pk = sk·h) and the audit token of r under pk is r·pk.

Texts: a point text is 64 lowercase hex digits (compressed form; 128-digit
uncompressed hex is accepted on input); a scalar text is exactly 64 hex digits,
big-endian, reduced modulo the group order; proofs are JSON texts.

int arguments: "int32" means [-2**31, 2**31 - 1], "uint64" means [0, 2**64 - 1];
outside, OverflowError. Wrong argument types or counts raise TypeError.

A text that does not decode, or a broken precondition, raises PanicException:
it derives from BaseException (not Exception) and is not a module attribute;
catch BaseException and test type(e).__name__ == "PanicException".
"""

from typing import Sequence, final

__all__ = [
    "range_proof_test",
    "commit",
    "print_commit",
    "add",
    "sub",
    "add_value_commits",
    "sub_value_commits",
    "from_str",
    "to_token_from_str",
    "gen_GH",
    "gen_r",
    "range_proof_single",
    "gen_pb_sk",
    "regen_pb_sk",
    "to_scalar_from_str",
    "print_token",
    "add_token",
    "sub_token",
    "sub_commit_token",
    "add_commit_token",
    "h_to_x",
    "g_to_x",
    "g_to_r",
    "p_to_x",
    "sigma_eq_dlog_proof",
    "sigma_eq_dlog_proof_sha256",
    "to_token_from_pk",
    "sigma_eq_dlog_verify",
    "sigma_eq_dlog_verify_sha256",
    "range_proof_single_verify",
    "consistency_proof",
    "consistency_proof_verify",
    "sigma_dlog_proof_explicit",
    "sigma_dlog_proof_explicit_verify",
    "sigma_dlog_proof_explicit_sha256",
    "sigma_dlog_proof_explicit_verify_sha256",
    "get_brut_v",
    "hash_test1",
    "hash_test2",
    "hash_test3",
    "curve_name",
    "ghvec",
    "gen_new_GH",
    "sigma_eq_dlog_same_secret",
    "sigma_eq_dlog_verify_same_secret",
    "sigma_eq_dlog_ped_proof",
    "sigma_eq_dlog_ped_verify",
    "consistency_proof_with_witness",
    "sigma_eq_dlog_ped_proof_with_witness",
    "sigma_dlog_proof_explicit_sha256_with_witness",
    "from_coords",
    "get_y_coord",
    "Commit",
    "rand_r",
    "GH",
    "PbSk",
    "hx",
    "Token",
]

# Value classes. Python cannot construct them (calling one raises TypeError
# "No constructor defined"); they come only from the module's functions. They
# are immutable, compare and hash by identity, and cannot be subclassed.

@final
class Commit:
    """A point handed out as a commitment: val·g + r·h, or a sum, difference or multiple."""

    def is_zero(self) -> bool:
        """True exactly when the point is the identity."""

    def sum(self, c: Commit) -> Commit:
        """self + c, as a new Commit."""

    def sub(self, c: Commit) -> Commit:
        """self − c, as a new Commit."""

    def to_bytes(self) -> list[int]:
        """The 64-byte uncompressed form (y then x, big-endian; the identity is 0x40 then zeros) as 64 ints."""

    def from_bytes(self, a: Sequence[int]) -> str:
        """Read 32 bytes (any sequence of 32 ints 0..255, bytes included) as a big-endian scalar modulo
        the group order; returns it in decimal. self plays no part. ValueError for another length,
        OverflowError for an item outside 0..255."""

    @property
    def get(self) -> str:
        """The point text (64 lowercase hex digits, compressed form)."""

    @property
    def to_str(self) -> str:
        """Same as get."""

    @property
    def x(self) -> str:
        """The affine x coordinate in decimal; "0" for the identity."""

    @property
    def y(self) -> str:
        """The affine y coordinate in decimal; "0" for the identity."""

@final
class rand_r:
    """A scalar modulo the group order: a blinding factor, or a secret key passed back in."""

    def sum(self, r: rand_r) -> rand_r:
        """self + r modulo the group order."""

    def sub(self, r: rand_r) -> rand_r:
        """self − r modulo the group order."""

    def neg(self) -> rand_r:
        """−self modulo the group order (zero stays zero)."""

    def is_zero(self) -> bool:
        """True exactly when the scalar is 0."""

    @property
    def get(self) -> str:
        """The scalar text (64 lowercase hex digits, big-endian). Secret when the scalar is."""

    @property
    def to_string(self) -> str:
        """Same as get."""

@final
class GH:
    """The generator pair of the commitments: commit(val, r, gh) is val·g + r·h."""

    @property
    def h(self) -> str:
        """The point text of h, the blinding generator (and the base of public keys)."""

    @property
    def g(self) -> str:
        """The point text of g, the value generator."""

@final
class PbSk:
    """A key pair: secret sk and public pk = sk·h for the h of the GH it was made from."""

    def to_token(self, r: rand_r) -> Token:
        """The audit token r·pk."""

    def get_sk(self) -> str:
        """The scalar text of sk (secret: keep it to its owner)."""

    def get_pk(self) -> str:
        """The point text of pk (the form the pubkey and pk parameters expect)."""

@final
class hx:
    """The result of h_to_x: a point Python can hold but neither read nor pass to any function."""

@final
class Token:
    """An audit token r·pk, or a sum or difference of tokens."""

    @property
    def get(self) -> str:
        """The point text of the token."""

    @property
    def to_str(self) -> str:
        """Same as get."""

# Generators, scalars, keys.

def curve_name() -> str:
    """The fixed text "Bn254"."""

def gen_GH() -> GH:
    """The fixed generator pair: h is the curve generator (1, 2), g a point hashed from a fixed seed.
    Every call returns an equal pair."""

def gen_new_GH(g: Commit, h: Commit) -> GH:
    """A generator pair with the given points: g as value generator, h as blinding generator."""

def gen_r() -> rand_r:
    """A fresh random non-zero scalar (operating system randomness): a blinding factor or secret."""

def gen_pb_sk(gh: GH) -> PbSk:
    """A new key pair: random non-zero sk, pk = sk·h."""

def regen_pb_sk(gh: GH, sk: rand_r) -> PbSk:
    """The key pair of a known secret: sk as given, pk = sk·h."""

# Commitments, tokens and their arithmetic.

def commit(val: int, r: rand_r, gh: GH) -> Commit:
    """The Pedersen commitment val·g + r·h. val: int32; a negative val stands for
    the group order minus |val| (so commitments add and subtract like the amounts)."""

def add(com_l: Commit, com_r: Commit) -> Commit:
    """com_l + com_r: a commitment to the sum of the amounts with the sum of the blindings."""

def sub(com_l: Commit, com_r: Commit) -> Commit:
    """com_l − com_r: a commitment to the difference with the difference of the blindings."""

def add_value_commits(com_l: str, com_r: str) -> str:
    """The point text of com_l + com_r, both given as point texts. PanicException for a text that
    does not decode."""

def sub_value_commits(com_l: str, com_r: str) -> str:
    """The point text of com_l − com_r, both given as point texts. PanicException for a text that
    does not decode."""

def to_token_from_pk(pk_json_point: str, r: rand_r) -> Token:
    """The audit token r·pk for a public key given as its point text (PbSk.get_pk()), not a JSON
    object. PanicException when the text does not decode."""

def add_token(token_l: Token, token_r: Token) -> Token:
    """token_l + token_r."""

def sub_token(token_l: Token, token_r: Token) -> Token:
    """token_l − token_r."""

def add_commit_token(commit_l: Commit, token_r: Token) -> Commit:
    """commit_l + token_r, as a Commit."""

def sub_commit_token(commit_l: Commit, token_r: Token) -> Commit:
    """commit_l − token_r, as a Commit; with the key, sk·C − T = val·(sk·g)."""

# Texts and coordinates.

def from_str(str_point: str) -> Commit:
    """The Commit of a point text (64 hex digits compressed, or 128 uncompressed).
    PanicException for a wrong length, a non-hex digit or bytes that are no point."""

def to_token_from_str(str_point: str) -> Token:
    """The Token of a point text (64 hex digits compressed, or 128 uncompressed).
    PanicException for a wrong length, a non-hex digit or bytes that are no point."""

def to_scalar_from_str(str_scalar: str) -> rand_r:
    """The scalar of a 64-hex-digit text, big-endian, reduced modulo the group order.
    PanicException for another length or a non-hex digit."""

def from_coords(x_: str, y_: str) -> Commit:
    """The point (x, y), each coordinate given as a 64-hex-digit scalar text (reduced modulo the
    group order). PanicException ("... NotOnCurve") when the pair is not on the curve."""

def get_y_coord(a1: Commit) -> str:
    """The affine y coordinate in lowercase hex without leading zeros; "0" for the identity."""

# Multiples of generators and points.

def g_to_x(gh: GH, val: int) -> Commit:
    """val·g; val: int32, a negative val stands for the group order minus |val|."""

def g_to_r(gh: GH, r: rand_r) -> Commit:
    """r·g (the value generator, where commit multiplies h by r)."""

def h_to_x(gh: GH, x: rand_r) -> hx:
    """x·h, as an opaque hx that nothing else accepts."""

def p_to_x(p: Commit, x: rand_r) -> Commit:
    """x·p."""

# Consistency proof: a commitment and a token share their blinding scalar.

def consistency_proof(val: int, r: rand_r, gh: GH, ped_cm: Commit, token: Token, pubkey: str) -> str:
    """Prove (SHA-256) that ped_cm = val·g + r·h and token = r·pk use one r, revealing neither.
    pubkey: the point text of pk; val: int32. PanicException ("assertion failed: false") when
    ped_cm is not commit(val, r, gh); a token that is not r·pk gives a proof that fails."""

def consistency_proof_with_witness(val: int, r: rand_r, gh: GH, ped_cm: Commit, token: Token, pubkey: str) -> str:
    """As consistency_proof (val: int32), with the five multiplication-witness points merged into
    the JSON object (members in sorted order). consistency_proof_verify accepts it."""

def consistency_proof_verify(proof: str, gh: GH, ped_cm: Commit, token: Token, pubkey: str) -> bool:
    """True when proof (the JSON text of consistency_proof, with or without witness) binds ped_cm
    and token under pubkey (a point text) to one blinding scalar, else False.
    PanicException for a malformed proof or pubkey text."""

# Explicit discrete-log proof: knowledge of sk behind a sum of tokens.

def sigma_dlog_proof_explicit(sum_tokens: Token, pbsk: PbSk, h_sumR: Commit) -> str:
    """Schnorr proof (SHA-512) of knowing sk with pk = sk·h_sumR; the record's pk is always
    sk·h_sumR (sum_tokens is type-checked only). Verify with sigma_dlog_proof_explicit_verify."""

def sigma_dlog_proof_explicit_verify(ser_proof: str, h_sumR: Commit, sum_tokens: Token) -> bool:
    """True when ser_proof (JSON text of sigma_dlog_proof_explicit) holds over base h_sumR and its
    pk equals sum_tokens, else False. PanicException for a malformed proof text."""

def sigma_dlog_proof_explicit_sha256(sum_tokens: Token, pbsk: PbSk, h_sumR: Commit) -> str:
    """As sigma_dlog_proof_explicit with SHA-256 challenges; verify with
    sigma_dlog_proof_explicit_verify_sha256."""

def sigma_dlog_proof_explicit_verify_sha256(ser_proof: str, h_sumR: Commit, sum_tokens: Token) -> bool:
    """As sigma_dlog_proof_explicit_verify for SHA-256 proofs (plain or with witness).
    PanicException for a malformed proof text."""

def sigma_dlog_proof_explicit_sha256_with_witness(sum_tokens: Token, pbsk: PbSk, h_sumR: Commit) -> str:
    """As sigma_dlog_proof_explicit_sha256, with the witness points chalrsph2r and challengepk merged
    into the JSON object (members in sorted order)."""

# Discrete-log equality proofs.

def sigma_eq_dlog_proof(sum_tokens: Token, pbsk: PbSk, gh: GH, h_sumR: Commit) -> str:
    """Prove (SHA-512) that sum_tokens = sk·h_sumR and pk = sk·h share one sk.
    PanicException ("assertion failed: false") when sum_tokens is not sk·h_sumR."""

def sigma_eq_dlog_proof_sha256(sum_tokens: Token, pbsk: PbSk, gh: GH, h_sumR: Commit) -> str:
    """As sigma_eq_dlog_proof with SHA-256 challenges."""

def sigma_eq_dlog_verify(ser_dlog_eq_proof: str, gh: GH, h_sumR: Commit, sum_tokens: Token) -> bool:
    """True when ser_dlog_eq_proof (JSON text of sigma_eq_dlog_proof) holds for bases h_sumR and h,
    else False; its pk_r is not compared with any key. PanicException for a malformed text, or
    ("assertion failed: false") when the proof's pk_l is not sum_tokens."""

def sigma_eq_dlog_verify_sha256(ser_dlog_eq_proof: str, gh: GH, h_sumR: Commit, sum_tokens: Token) -> bool:
    """As sigma_eq_dlog_verify for SHA-256 proofs."""

def sigma_eq_dlog_same_secret(v: int, gh1: GH, gh2: GH) -> str:
    """Prove (SHA-256) that v·g1 and v·g2 (the g of each pair) share v; v: int32. No check is
    made; a proof over equal g never verifies."""

def sigma_eq_dlog_verify_same_secret(ser_dlog_eq_proof: str, gh1: GH, gh2: GH) -> bool:
    """True when ser_dlog_eq_proof (JSON text of sigma_eq_dlog_same_secret) holds for the g of gh1
    and the g of gh2 (and they differ); its pk_l and pk_r are not compared with anything.
    PanicException for a malformed text."""

def sigma_eq_dlog_ped_proof(v: int, gh1: GH, gh2: GH, pk: str) -> str:
    """Fresh commitments cm2 to v and cm1 to v² under gh1, a token r1·pk (pk a point text) and a
    SHA-256 proof that cm1 holds the square; r1 and r2 are published. v: int32; gh2 unused."""

def sigma_eq_dlog_ped_proof_with_witness(v: int, gh1: GH, gh2: GH, pk: str) -> str:
    """As sigma_eq_dlog_ped_proof (v: int32, pk a point text), with the six multiplication-witness
    points merged into the JSON object (members in sorted order)."""

def sigma_eq_dlog_ped_verify(ser_dlog_eq_proof: str, gh1: GH, gh2: GH) -> bool:
    """True when ser_dlog_eq_proof (JSON text of sigma_eq_dlog_ped_proof) holds under gh1 (gh2
    unused); cm1, token, r1 and r2 are not checked. PanicException for a malformed text."""

# Range proofs and their generators.

def range_proof_single(n_bit: int, val: int, gh: GH, r: rand_r) -> str:
    """A range proof (JSON text) that the amount of commit(val, r, gh) lies in [0, 2**n_bit).
    n_bit: uint64, a power of two, else PanicException; val: int32, and a val outside the range
    still gives a proof, which fails verification. Cost grows linearly with n_bit."""

def range_proof_single_verify(range_proof: str, n_bit: int, gh: GH, ped_cm: Commit) -> bool:
    """True when range_proof (JSON text of range_proof_single) shows the amount of ped_cm lies in
    [0, 2**n_bit), else False. n_bit: uint64, the one proved with; PanicException for a malformed
    text, an n_bit that is not a power of two, or one larger than proved."""

def range_proof_test(n_bit: int, val: int) -> str:
    """Self-test: prove and verify val (int32) in [0, 2**n_bit) (n_bit: uint64) with fixed test
    generators, printing the commitment, "results" and "true"/"false" to the process's stdout;
    returns str(n_bit). PanicException when verification fails or n_bit is not a power of two."""

def ghvec(n_bit: int) -> str:
    """The range-proof generator vectors for n_bit as JSON text "[Gv,Hv]" of point objects.
    Cost: linear in n_bit, with no upper bound (n_bit: uint64): 2·n_bit points hashed to the curve
    (the first 8192 are kept after first use) and about 110 characters of text per point."""

# Recovering an amount.

def get_brut_v(c: Commit, t: Token, gh: GH, pbsk: PbSk, range: int) -> int:
    """The amount v of c = v·g + r·h, read with its token t = r·pk and pbsk's sk: the v in
    [-(range-1), range-1], or -1 when none (so -1 is ambiguous). range: int32; <= 0 gives -1.
    Cost: about sqrt(range) point operations and table entries (~0.1 s for range near 2**31)."""

# Diagnostics.

def print_commit(com: Commit) -> str:
    """Write the commitment's four-line debug form to the process's stdout (fd 1, not sys.stdout);
    returns "ok"."""

def print_token(token: Token) -> str:
    """Write the token's four-line debug form to the process's stdout (fd 1, not sys.stdout);
    returns "ok"."""

def hash_test1(a1: Commit) -> str:
    """Print a1's 64 uncompressed bytes to stdout; return the scalar text of the SHA-256
    challenge over the point."""

def hash_test2(a1: Commit, a2: Commit) -> str:
    """Print both points' uncompressed bytes to stdout; return the scalar text of the SHA-256
    challenge over a1, a2."""

def hash_test3(a1: Commit, a2: Commit, a3: Commit) -> str:
    """Print the three points' uncompressed bytes to stdout; return the scalar text of the
    SHA-256 challenge over a1, a2, a3."""
