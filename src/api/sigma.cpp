// Sigma proofs as the ledger uses them: knowledge of the key behind a sum
// of tokens, equality of discrete logarithms, the square relation between
// two fresh commitments, and consistency of a commitment with its token.
// Proofs travel as indented JSON records; a text that is not a record is a
// panic, a well-formed but false proof is False.
#include <nlohmann/json.hpp>

#include "curve/encoding.hpp"
#include "curve/proofs/sigma_consistency.hpp"
#include "curve/proofs/sigma_dlog_explicit.hpp"
#include "curve/proofs/sigma_eq_dlog.hpp"
#include "curve/proofs/sigma_eq_dlog_ped.hpp"
#include "api.hpp"

namespace vemo::api {

using namespace vemo::curve;
using vemo::proofs::ConsistencyProof;
using vemo::proofs::DLogEqProof;
using vemo::proofs::DLogEqProofPed;
using vemo::proofs::DLogProofExplicit;

namespace {

Outcome<Point> decode_point(std::string_view s) {
  auto p = parse_string_to_scep256k1point(s);
  if (!p.ok()) return unwrap_failed(p.error().debug());
  return p.value();
}

template <class Proof>
Outcome<Proof> decode_proof(std::string_view text) {
  auto p = Proof::from_json(text);
  if (!p.ok()) return unwrap_failed(p.error().debug());
  return p.value();
}

// A proof and its witness as one object. The generic JSON object keeps its
// keys in byte-wise order, so the merged members come out sorted (nested
// point and scalar objects included), which is the published layout.
std::string with_witness(const nlohmann::ordered_json& proof, const nlohmann::ordered_json& witness) {
  nlohmann::json merged = nlohmann::json::parse(proof.dump());
  merged.update(nlohmann::json::parse(witness.dump()), true);
  return dump_pretty(merged);
}

// ---- explicit discrete log ----

Outcome<DLogProofExplicit> prove_dlog_explicit(Digest d, const PbSkV& pbsk, const CommitV& h_sumR) {
  auto proof = DLogProofExplicit::prove(d, pbsk.sk, h_sumR.p);
  if (!proof.ok()) return from_panic(proof.error());
  return proof.value();
}

Outcome<Claims> claims_dlog_explicit(Digest d, std::string_view text, const CommitV& h_sumR, const TokenV& sum_tokens) {
  auto proof = decode_proof<DLogProofExplicit>(text);
  if (!proof.ok()) return Err{proof.error()};
  return proof.value().claims(d, h_sumR.p, sum_tokens.p);
}

// ---- discrete-log equality ----

// G1 = h_sumR, G2 = h: the key that makes the tokens also makes pk. A proof
// whose pk_l is not the given sum of tokens is refused outright.
Outcome<std::string> prove_eq_dlog(Digest d, const TokenV& sum_tokens, const PbSkV& pbsk, const GHV& gh,
                                   const CommitV& h_sumR) {
  auto proof = DLogEqProof::prove(d, pbsk.sk, h_sumR.p, gh.h);
  if (!proof.ok()) return from_panic(proof.error());
  if (!proof.value().pk_l.eq(sum_tokens.p)) return panic("assertion failed: false");
  return dump_pretty(proof.value().to_json());
}

Outcome<Claims> claims_eq_dlog(Digest d, std::string_view text, const GHV& gh, const CommitV& h_sumR,
                               const TokenV& sum_tokens) {
  auto proof = decode_proof<DLogEqProof>(text);
  if (!proof.ok()) return Err{proof.error()};
  if (!proof.value().pk_l.eq(sum_tokens.p)) return panic("assertion failed: false");
  return proof.value().claims(d, h_sumR.p, gh.h);
}

// ---- Pedersen square relation ----

Outcome<DLogEqProofPed> prove_ped(std::int32_t v, const GHV& gh1, std::string_view pk) {
  auto key = decode_point(pk);
  if (!key.ok()) return Err{key.error()};
  auto proof = DLogEqProofPed::prove(v, gh1.g, gh1.h, key.value());
  if (!proof.ok()) return from_panic(proof.error());
  return proof.value();
}

// ---- consistency ----

struct ConsistencyMade {
  ConsistencyProof proof;
  Point pk;
};

Outcome<ConsistencyMade> prove_consistency(std::int32_t val, const RandR& r, const GHV& gh, const CommitV& ped_cm,
                                           const TokenV& token, std::string_view pubkey) {
  auto pk = decode_point(pubkey);
  if (!pk.ok()) return Err{pk.error()};
  auto proof = ConsistencyProof::prove(val, r.s, gh.g, gh.h, ped_cm.p, pk.value(), token.p);
  if (!proof.ok()) return from_panic(proof.error());
  return ConsistencyMade{proof.value(), pk.value()};
}

}  // namespace

Outcome<std::string> sigma_dlog_proof_explicit(const TokenV&, const PbSkV& pbsk, const CommitV& h_sumR) {
  auto proof = prove_dlog_explicit(Digest::Sha512, pbsk, h_sumR);
  if (!proof.ok()) return Err{proof.error()};
  return dump_pretty(proof.value().to_json());
}

Outcome<std::string> sigma_dlog_proof_explicit_sha256(const TokenV&, const PbSkV& pbsk, const CommitV& h_sumR) {
  auto proof = prove_dlog_explicit(Digest::Sha256, pbsk, h_sumR);
  if (!proof.ok()) return Err{proof.error()};
  return dump_pretty(proof.value().to_json());
}

Outcome<std::string> sigma_dlog_proof_explicit_sha256_with_witness(const TokenV&, const PbSkV& pbsk,
                                                                   const CommitV& h_sumR) {
  auto proof = prove_dlog_explicit(Digest::Sha256, pbsk, h_sumR);
  if (!proof.ok()) return Err{proof.error()};
  return with_witness(proof.value().to_json(), proof.value().generate_mul_witness(h_sumR.p).to_json());
}

Outcome<Claims> sigma_dlog_proof_explicit_claims(std::string_view ser_proof, const CommitV& h_sumR,
                                                 const TokenV& sum_tokens) {
  return claims_dlog_explicit(Digest::Sha512, ser_proof, h_sumR, sum_tokens);
}

Outcome<Claims> sigma_dlog_proof_explicit_claims_sha256(std::string_view ser_proof, const CommitV& h_sumR,
                                                        const TokenV& sum_tokens) {
  return claims_dlog_explicit(Digest::Sha256, ser_proof, h_sumR, sum_tokens);
}

Outcome<bool> sigma_dlog_proof_explicit_verify(std::string_view ser_proof, const CommitV& h_sumR,
                                               const TokenV& sum_tokens) {
  return verdict(sigma_dlog_proof_explicit_claims(ser_proof, h_sumR, sum_tokens));
}

Outcome<bool> sigma_dlog_proof_explicit_verify_sha256(std::string_view ser_proof, const CommitV& h_sumR,
                                                      const TokenV& sum_tokens) {
  return verdict(sigma_dlog_proof_explicit_claims_sha256(ser_proof, h_sumR, sum_tokens));
}

Outcome<std::string> sigma_eq_dlog_proof(const TokenV& sum_tokens, const PbSkV& pbsk, const GHV& gh,
                                         const CommitV& h_sumR) {
  return prove_eq_dlog(Digest::Sha512, sum_tokens, pbsk, gh, h_sumR);
}

Outcome<std::string> sigma_eq_dlog_proof_sha256(const TokenV& sum_tokens, const PbSkV& pbsk, const GHV& gh,
                                                const CommitV& h_sumR) {
  return prove_eq_dlog(Digest::Sha256, sum_tokens, pbsk, gh, h_sumR);
}

Outcome<Claims> sigma_eq_dlog_claims(std::string_view text, const GHV& gh, const CommitV& h_sumR,
                                     const TokenV& sum_tokens) {
  return claims_eq_dlog(Digest::Sha512, text, gh, h_sumR, sum_tokens);
}

Outcome<Claims> sigma_eq_dlog_claims_sha256(std::string_view text, const GHV& gh, const CommitV& h_sumR,
                                            const TokenV& sum_tokens) {
  return claims_eq_dlog(Digest::Sha256, text, gh, h_sumR, sum_tokens);
}

Outcome<bool> sigma_eq_dlog_verify(std::string_view text, const GHV& gh, const CommitV& h_sumR,
                                   const TokenV& sum_tokens) {
  return verdict(sigma_eq_dlog_claims(text, gh, h_sumR, sum_tokens));
}

Outcome<bool> sigma_eq_dlog_verify_sha256(std::string_view text, const GHV& gh, const CommitV& h_sumR,
                                          const TokenV& sum_tokens) {
  return verdict(sigma_eq_dlog_claims_sha256(text, gh, h_sumR, sum_tokens));
}

Outcome<std::string> sigma_eq_dlog_same_secret(std::int32_t v, const GHV& gh1, const GHV& gh2) {
  Scalar x = Scalar::from_i64(v);
  auto proof = DLogEqProof::prove(Digest::Sha256, x, gh1.g, gh2.g);
  wipe(x);
  if (!proof.ok()) return from_panic(proof.error());
  return dump_pretty(proof.value().to_json());
}

Outcome<Claims> sigma_eq_dlog_claims_same_secret(std::string_view text, const GHV& gh1, const GHV& gh2) {
  auto proof = decode_proof<DLogEqProof>(text);
  if (!proof.ok()) return Err{proof.error()};
  return proof.value().claims(Digest::Sha256, gh1.g, gh2.g);
}

Outcome<bool> sigma_eq_dlog_verify_same_secret(std::string_view text, const GHV& gh1, const GHV& gh2) {
  return verdict(sigma_eq_dlog_claims_same_secret(text, gh1, gh2));
}

Outcome<std::string> sigma_eq_dlog_ped_proof(std::int32_t v, const GHV& gh1, const GHV&, std::string_view pk) {
  auto proof = prove_ped(v, gh1, pk);
  if (!proof.ok()) return Err{proof.error()};
  return dump_pretty(proof.value().to_json());
}

Outcome<std::string> sigma_eq_dlog_ped_proof_with_witness(std::int32_t v, const GHV& gh1, const GHV&,
                                                          std::string_view pk) {
  auto proof = prove_ped(v, gh1, pk);
  if (!proof.ok()) return Err{proof.error()};
  return with_witness(proof.value().to_json(), proof.value().generate_mul_witness(gh1.g, gh1.h).to_json());
}

Outcome<Claims> sigma_eq_dlog_ped_claims(std::string_view text, const GHV& gh1, const GHV&) {
  auto proof = decode_proof<DLogEqProofPed>(text);
  if (!proof.ok()) return Err{proof.error()};
  return proof.value().claims(gh1.g, gh1.h);
}

Outcome<bool> sigma_eq_dlog_ped_verify(std::string_view text, const GHV& gh1, const GHV& gh2) {
  return verdict(sigma_eq_dlog_ped_claims(text, gh1, gh2));
}

Outcome<std::string> consistency_proof(std::int32_t val, const RandR& r, const GHV& gh, const CommitV& ped_cm,
                                       const TokenV& token, std::string_view pubkey) {
  auto made = prove_consistency(val, r, gh, ped_cm, token, pubkey);
  if (!made.ok()) return Err{made.error()};
  return dump_pretty(made.value().proof.to_json());
}

Outcome<std::string> consistency_proof_with_witness(std::int32_t val, const RandR& r, const GHV& gh,
                                                    const CommitV& ped_cm, const TokenV& token,
                                                    std::string_view pubkey) {
  auto made = prove_consistency(val, r, gh, ped_cm, token, pubkey);
  if (!made.ok()) return Err{made.error()};
  const ConsistencyProof& proof = made.value().proof;
  return with_witness(proof.to_json(),
                      proof.generate_mul_witness(gh.g, gh.h, ped_cm.p, made.value().pk, token.p).to_json());
}

Outcome<Claims> consistency_proof_claims(std::string_view text, const GHV& gh, const CommitV& ped_cm,
                                         const TokenV& token, std::string_view pubkey) {
  auto proof = decode_proof<ConsistencyProof>(text);
  if (!proof.ok()) return Err{proof.error()};
  auto pk = decode_point(pubkey);
  if (!pk.ok()) return Err{pk.error()};
  return proof.value().claims(gh.g, gh.h, ped_cm.p, pk.value(), token.p);
}

Outcome<bool> consistency_proof_verify(std::string_view text, const GHV& gh, const CommitV& ped_cm,
                                       const TokenV& token, std::string_view pubkey) {
  return verdict(consistency_proof_claims(text, gh, ped_cm, token, pubkey));
}

}  // namespace vemo::api
