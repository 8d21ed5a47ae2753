// Range proofs for one committed value (m = 1): the proof that the value
// behind val·g + r·h lies in [0, 2^n_bit), its check, a self-test with its
// own generators, and the generator vectors as JSON text.
#include <unistd.h>

#include <string>

#include "bulletproofs/src/proofs/generators.hpp"
#include "bulletproofs/src/proofs/range_proof.hpp"
#include "curve/encoding.hpp"
#include "api.hpp"

namespace vemo::api {

using namespace vemo::curve;
using namespace vemo::bulletproofs;

namespace {

// What one index of the vectors costs at most while a call holds it: the
// two points, their JSON values and text in ghvec, or the prover's and
// verifier's scalar vectors and multi-scalar tables. Generous on purpose:
// the line it draws only has to separate sizes that fit from sizes that
// cannot.
constexpr std::uint64_t kBytesPerIndex = 4096;

// The largest n_bit whose vectors fit in this machine's physical memory.
// Beyond it the derivation could only end in an out-of-memory kill after
// hours of hashing; every size a proof can use (n_bit up to 64, or
// thousands for a caller's own vectors) is far below it.
std::uint64_t max_vector_length() {
  const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
  const std::uint64_t memory = (pages > 0 && page > 0) ? (std::uint64_t)pages * (std::uint64_t)page : (1ULL << 32);
  return memory / kBytesPerIndex;
}

Outcome<bool> check_vector_length(std::uint64_t n_bit, std::source_location where = std::source_location::current()) {
  const std::uint64_t most = max_vector_length();
  if (n_bit <= most) return true;
  return Err{PanicAt{"n_bit " + std::to_string(n_bit) +
                         ": the generator vectors would need more memory than this machine has (n_bit at most " +
                         std::to_string(most) + " here)",
                     where}};
}

// The vector length must be a power of two. Checked before the vectors are
// derived: the derivation has no effect but its cost, so the panic is the
// same one, without first deriving a vector that cannot be used.
Outcome<GeneratorVectors> vectors_for(std::uint64_t n_bit) {
  if (!is_power_of_two(n_bit)) return panic(kNotPowerOfTwo);
  if (auto fits = check_vector_length(n_bit); !fits.ok()) return Err{fits.error()};
  return derive_generator_vectors(n_bit, n_bit);
}

std::string json_points(const std::vector<Point>& points) {
  nlohmann::ordered_json j = nlohmann::ordered_json::array();
  for (const Point& p : points) j.push_back(point_to_json(p));
  return dump_pretty(j);
}

}  // namespace

Outcome<std::string> ghvec(std::uint64_t n_bit) {
  if (auto fits = check_vector_length(n_bit); !fits.ok()) return Err{fits.error()};
  const GeneratorVectors v = derive_generator_vectors(n_bit, n_bit);
  std::string text = "[";
  text += json_points(v.G);
  text += ",";
  text += json_points(v.H);
  text += "]";
  return text;
}

Outcome<std::string> range_proof_single(std::uint64_t n_bit, std::int32_t val, const GHV& gh, const RandR& r) {
  auto gens = vectors_for(n_bit);
  if (!gens.ok()) return Err{gens.error()};
  // Amounts are secret: the constant-time conversion, same residue as
  // from_bigint (a negative val becomes r − |val|).
  const std::vector<Scalar> values{Scalar::from_i64(val)};
  const std::vector<Scalar> blindings{r.s};
  auto proof = RangeProof::prove(gens->G, gens->H, gh.g, gh.h, values, blindings, n_bit);
  if (!proof.ok()) return from_panic(proof.error());
  return dump_pretty(to_json(proof.value()));
}

Outcome<proofs::Claims> range_proof_single_claims(std::string_view range_proof, std::uint64_t n_bit, const GHV& gh,
                                                  const CommitV& ped_cm) {
  // A text that is not a record fails the call, whatever n_bit is.
  auto proof = parse_range_proof(range_proof);
  if (!proof.ok()) return unwrap_failed(proof.error().debug());
  auto gens = vectors_for(n_bit);
  if (!gens.ok()) return Err{gens.error()};
  auto claims = proof->claims(gens->G, gens->H, gh.g, gh.h, {ped_cm.p}, n_bit);
  if (!claims.ok()) return from_panic(claims.error());
  return std::move(claims.value());
}

Outcome<bool> range_proof_single_verify(std::string_view range_proof, std::uint64_t n_bit, const GHV& gh,
                                        const CommitV& ped_cm) {
  return verdict(range_proof_single_claims(range_proof, n_bit, gh, ped_cm));
}

Outcome<std::string> range_proof_test(std::uint64_t n_bit, std::int32_t val) {
  // Its own generators: B for values, the point for the integer 1 for
  // blindings.
  const Point g_test = Point::generator();
  const Point h_test = point_from_integer(1);
  auto gamma = Scalar::random_nonzero();
  if (!gamma) return from_panic(randomness_unavailable());
  const Scalar v = Scalar::from_i64(val);
  Point commitment = g_test.scalar_mul(v);
  commitment.add_point_assign(h_test.scalar_mul(*gamma));
  ct::declassify(commitment);  // printed below
  std::string list = "[";
  list += commitment.debug_text();
  list += "]\n";
  write_stdout(list);

  auto gens = vectors_for(n_bit);
  if (!gens.ok()) return Err{gens.error()};
  auto proof = RangeProof::prove(gens->G, gens->H, g_test, h_test, {v}, {*gamma}, n_bit);
  if (!proof.ok()) return from_panic(proof.error());
  auto ok = proof->verify(gens->G, gens->H, g_test, h_test, {commitment}, n_bit);
  if (!ok.ok()) return from_panic(ok.error());
  write_stdout(std::string("results\n") + (ok.value() ? "true\n" : "false\n"));
  if (!ok.value()) return panic("assertion failed: result.is_ok()");
  return std::to_string(n_bit);
}

}  // namespace vemo::api
