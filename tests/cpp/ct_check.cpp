// Constant-time check: secrets are marked undefined for valgrind's memcheck,
// which then reports any branch or memory index that depends on them.
//
// Every random byte the library draws is marked undefined as it arrives
// (through the random source's test seam), and so is every secret a caller
// passes in (amounts, blinding scalars, secret keys, their texts). The
// library tells the checker where derived values become public through
// ct::declassify; a branch or index on a secret before that point is an
// error. Run under `valgrind --error-exitcode=1`; outside valgrind it only
// runs the operations.
//
// The class members are called through the API library, as the extension
// calls them. Built with VEMO_CT_MUTANT (and linked with an API library
// built the same way, whose PbSk.to_token multiplies in variable time), it
// also runs deliberately leaky operations, so that the check can be seen to
// fail (make check-ct-mutation).
#include <sys/random.h>
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bulletproofs/src/proofs/generators.hpp"
#include "bulletproofs/src/proofs/range_proof.hpp"
#include "curve/ct.hpp"
#include "curve/encoding.hpp"
#include "curve/fixed_base.hpp"
#include "curve/lanes/lanes.hpp"
#include "curve/point.hpp"
#include "curve/random.hpp"
#include "curve/scalar_mul.hpp"
#include "src/api/api.hpp"
#include "src/api/strict.hpp"
#include "src/api/strict_range.hpp"

using namespace vemo::curve;
namespace api = vemo::api;
using vemo::api::CommitV;
using vemo::api::GHV;
using vemo::api::PbSkV;
using vemo::api::RandR;
using vemo::api::TokenV;

namespace {

template <class T>
void secret(T& v) {
  VALGRIND_MAKE_MEM_UNDEFINED(&v, sizeof v);
}
void secret_bytes(std::string& s) { VALGRIND_MAKE_MEM_UNDEFINED(s.data(), s.size()); }

template <class T>
void declassify(T& v) {
  VALGRIND_MAKE_MEM_DEFINED(&v, sizeof v);
}

// Texts and flags that leave a call are public: its result.
void publish_text(const std::string& s) { VALGRIND_MAKE_MEM_DEFINED(s.data(), s.size()); }

ssize_t secret_getrandom(void* buf, std::size_t n, unsigned flags) {
  const ssize_t got = getrandom(buf, n, flags);
  if (got > 0) VALGRIND_MAKE_MEM_UNDEFINED(buf, (std::size_t)got);
  return got;
}

void declassify_hook(const void* p, std::size_t n) { VALGRIND_MAKE_MEM_DEFINED(p, n); }

template <class T>
T must(vemo::strict::Expected<T>&& r, const char* what) {
  if (!r.ok()) {
    std::fprintf(stderr, "%s failed: %s\n", what, r.error().message.c_str());
    std::exit(2);
  }
  return std::move(r.value());
}

template <class T>
T must(vemo::Result<T, vemo::api::PanicAt>&& r, const char* what) {
  if (!r.ok()) {
    std::fprintf(stderr, "%s failed: %s\n", what, r.error().message.c_str());
    std::exit(2);
  }
  return std::move(r.value());
}

void must_verify(vemo::Result<bool, vemo::api::PanicAt>&& r, const char* what) {
  if (!must(std::move(r), what)) {
    std::fprintf(stderr, "%s: proof did not verify\n", what);
    std::exit(2);
  }
}

std::int32_t secret_amount(std::int32_t v) {
  secret(v);
  return v;
}

// A scalar drawn through the random source: secret from birth.
Scalar random_secret() { return *Scalar::random(); }

// Divsteps inversion on secret values (Fp: coordinates after a secret
// multiplication; Fr: scalars), and the multiplications that share one
// table among several secrets or return projective results for one shared
// inversion: every window's digit, sign and lookup must stay masked.
void check_shared_tables() {
  Fp x = Fp::from_u64(0x1234567);
  secret(x);
  Fp xi = x.inverse();
  declassify(xi);
  Fr y = random_secret().fe;
  Fr yi = y.inverse();
  declassify(yi);

  const Point g = Point::generator();
  const Point base = g.scalar_mul_vartime(Scalar::from_u64(987654321));
  const Scalar ks[3] = {random_secret(), random_secret(), random_secret()};
  ProjPoint each[3];
  scalar_mul_each(base, ks, 3, each);
  Point out[3];
  batch_to_affine(each, 3, out, "each");
  declassify(out);
  for (int i = 0; i < 3; ++i) {  // the later uses go through the tables
    ProjPoint fixed[2] = {scalar_mul_fixed_proj(base, ks[0]), double_scalar_mul_fixed_proj(g, ks[1], base, ks[2])};
    Point fixed_out[2];
    batch_to_affine(fixed, 2, fixed_out, "fixed");
    declassify(fixed_out);
  }
  // An amount (its sign and magnitude) against the low windows of a table.
  for (std::int64_t amount : {(std::int64_t)-5, (std::int64_t)5}) {
    secret(amount);
    for (int i = 0; i < 3; ++i) {
      Point c = amount_scalar_mul_fixed_proj(g, amount, base, ks[0]).to_affine("commit");
      declassify(c);
    }
  }
  // An identity term is skipped by mask, not by a branch on its scalar.
  const Point ps[2] = {Point::zero(), base};
  Point sum = msm(ks, ps, 2).to_affine("msm");
  declassify(sum);
}

// The lane engine on secret values: every field operation, the
// conversions both ways, the square root's power and the group formulas
// with their masked exceptional cases (identity, equal and opposite
// points). valgrind cannot execute AVX-512 (and hides it from CPUID, so
// the run-time choice never takes the IFMA layer under it; checked here),
// so this runs the portable layer: the same engine source
// (curve/lanes/engine.inc) as the IFMA one.
void check_lanes() {
  if (RUNNING_ON_VALGRIND && vemo::curve::lanes::selected() == vemo::curve::lanes::Mode::Ifma) {
    std::fprintf(stderr, "lanes: the IFMA layer was chosen under valgrind (run with VEMO_LANES=portable)\n");
    std::exit(2);
  }
  namespace lanes = vemo::curve::lanes;
  const lanes::Kernels& k = lanes::portable_kernels();
  const Point g = Point::generator();
  Fp xs[8], ys[8], zs[8];
  for (int i = 0; i < 8; ++i) {
    // Lane 0 the identity, lane 1 equal to the added point, lane 2 its
    // opposite: the masked cases run on secrets too.
    const Point p = g.scalar_mul_vartime(Scalar::from_u64(1000 + (i == 1 || i == 2 ? 0 : i)));
    xs[i] = p.x;
    ys[i] = i == 2 ? -p.y : p.y;
    zs[i] = i == 0 ? Fp::zero() : Fp::one();
  }
  secret(xs);
  secret(ys);
  secret(zs);
  lanes::Fe8 a, b, c, r;
  lanes::Jac8 pj, qj, out;
  k.from_fp(&a, xs);
  k.from_fp(&b, ys);
  k.from_fp(&c, zs);
  k.mul(&r, &a, &b);
  k.sqr(&r, &r);
  k.add(&r, &r, &a);
  k.sub(&r, &r, &b);
  k.neg(&r, &r);
  k.reduce(&r, &r);
  k.sqrt_candidate(&r, &r);
  pj.X = a, pj.Y = b, pj.Z = c;
  k.jac_dbl(&out, &pj);
  qj = out;
  k.jac_add(&out, &pj, &qj);
  k.jac_add(&out, &pj, &pj);
  // The added affine point: lane 1 and 2 meet p and -p.
  Fp ax[8], ay[8];
  for (int i = 0; i < 8; ++i) ax[i] = xs[1], ay[i] = ys[1];
  lanes::Fe8 x2, y2;
  k.from_fp(&x2, ax);
  k.from_fp(&y2, ay);
  k.jac_madd(&qj, &pj, &x2, &y2);
  Fp res[8];
  k.to_fp(res, &r);
  declassify(res);
  k.to_fp(res, &out.X);
  declassify(res);
  k.to_fp(res, &qj.Y);
  declassify(res);
}

#ifdef VEMO_CT_MUTANT
// A deliberate leak: a table lookup at a secret index, as the old hex
// encoder did. The check must report it.
int leaky(const Scalar& s) {
  static const char digits[] = "0123456789abcdef";
  const auto b = s.serialize();
  int sum = 0;
  for (unsigned char x : b) sum += digits[x & 15];
  return sum;
}
#endif

}  // namespace

int main() {
  set_random_source_for_testing(secret_getrandom);
  vemo::ct::declassify_hook = declassify_hook;

  // The engines that share tables and inversions among several secrets.
  check_shared_tables();
  check_lanes();

  // Arithmetic engines directly.
  {
    const Point g = Point::generator();
    const Point base = g.scalar_mul_vartime(Scalar::from_u64(123456789));
    Scalar a = *Scalar::random(), b = *Scalar::random();
    Scalar c = a.mul(b).add(a.neg()).sub(b);
    Fr inv = a.fe.inverse();
    declassify(c);
    declassify(inv);
    std::int64_t amount = 42;
    secret(amount);
    const Scalar v = Scalar::from_i64(amount);
    Point p1 = base.scalar_mul(a);
    declassify(p1);
    for (int i = 0; i < 3; ++i) {  // the second and later uses go through a table
      Scalar k = *Scalar::random();
      Point p2 = scalar_mul_fixed(base, k);
      declassify(p2);
      Point p3 = double_scalar_mul_fixed(base, v, g, k);
      declassify(p3);
    }
    Scalar ks[3] = {a, b, v};
    Point ps[3] = {g, base, g};
    Point p4 = msm(ks, ps, 3).to_affine("msm");
    declassify(p4);
  }

  // Every function of the module that takes or makes a secret, end to end.
  const GHV gh = api::gen_GH();
  const GHV gh2 = api::gen_new_GH(api::g_to_x(gh, 77), CommitV{gh.h});

  // Keys, blinding scalars, their texts both ways.
  const PbSkV pbsk = must(api::gen_pb_sk(gh), "gen_pb_sk");
  const RandR r = must(api::gen_r(), "gen_r");
  std::string sk_text = api::members::pbsk_get_sk(pbsk);
  std::string r_text = api::members::rand_get(r);
  secret_bytes(sk_text);
  secret_bytes(r_text);
  const RandR sk_back = must(api::to_scalar_from_str(sk_text), "to_scalar_from_str");
  const RandR r_back = must(api::to_scalar_from_str(r_text), "to_scalar_from_str");
  std::string upper = r_text;  // the decoder takes either case
  publish_text(upper);
  for (char& ch : upper) ch = (char)(ch >= 'a' ? ch - 32 : ch);
  secret_bytes(upper);
  (void)must(api::to_scalar_from_str(upper), "to_scalar_from_str");
  const PbSkV regen = api::regen_pb_sk(gh, sk_back);

  // Commitments and tokens.
  const std::int32_t val = secret_amount(1234);
  const CommitV cm = api::commit(val, r_back, gh);
  const TokenV tk = must(api::to_token_from_pk(parse_scep256k1point_to_string(regen.pk), r_back), "to_token_from_pk");
  const TokenV tk2 = api::members::pbsk_to_token(regen, r_back);
  // rand_r's arithmetic on secrets; is_zero's answer is what Python sees.
  const RandR r_sum = api::members::rand_sum(r_back, sk_back);
  const RandR r_neg = api::members::rand_neg(api::members::rand_sub(r_sum, r_back));
  bool zero = api::members::rand_is_zero(r_neg);
  declassify(zero);
  (void)api::h_to_x(gh, r_back);
  (void)api::g_to_r(gh, r_back);
  (void)api::p_to_x(cm, r_back);
  (void)api::g_to_x(gh, secret_amount(-5));

  // Public inputs of the proofs below.
  CommitV h_sumR = CommitV{gh.h.scalar_mul_vartime(Scalar::from_u64(987654321))};
  TokenV sum_tokens = TokenV{h_sumR.p.scalar_mul_vartime(Scalar::from_u64(1))};
  {
    // sum_tokens = sk·h_sumR, made without a secret branch and then public.
    Point t = h_sumR.p.scalar_mul(regen.sk);
    declassify(t);
    sum_tokens = TokenV{t};
  }
  const std::string pk_text = parse_scep256k1point_to_string(regen.pk);

  // The four sigma provers and their witness forms.
  std::string proof;
  proof = must(api::sigma_dlog_proof_explicit(sum_tokens, regen, h_sumR), "dlog");
  must_verify(api::sigma_dlog_proof_explicit_verify(proof, h_sumR, sum_tokens), "dlog");
  proof = must(api::sigma_dlog_proof_explicit_sha256(sum_tokens, regen, h_sumR), "dlog sha256");
  proof = must(api::sigma_dlog_proof_explicit_sha256_with_witness(sum_tokens, regen, h_sumR), "dlog witness");
  proof = must(api::sigma_eq_dlog_proof(sum_tokens, regen, gh, h_sumR), "eq");
  must_verify(api::sigma_eq_dlog_verify(proof, gh, h_sumR, sum_tokens), "eq");
  proof = must(api::sigma_eq_dlog_proof_sha256(sum_tokens, regen, gh, h_sumR), "eq sha256");
  proof = must(api::sigma_eq_dlog_same_secret(secret_amount(-12345), gh, gh2), "same secret");
  must_verify(api::sigma_eq_dlog_verify_same_secret(proof, gh, gh2), "same secret");
  proof = must(api::sigma_eq_dlog_ped_proof(secret_amount(42), gh, gh, pk_text), "ped");
  must_verify(api::sigma_eq_dlog_ped_verify(proof, gh, gh), "ped");
  proof = must(api::sigma_eq_dlog_ped_proof_with_witness(secret_amount(-42), gh, gh, pk_text), "ped witness");
  {
    // A commitment and token of the secret amount and blinding, then public.
    CommitV pub_cm = cm;
    TokenV pub_tk = tk;
    declassify(pub_cm);
    declassify(pub_tk);
    proof = must(api::consistency_proof(val, r_back, gh, pub_cm, pub_tk, pk_text), "consistency");
    must_verify(api::consistency_proof_verify(proof, gh, pub_cm, pub_tk, pk_text), "consistency");
    proof = must(api::consistency_proof_with_witness(val, r_back, gh, pub_cm, pub_tk, pk_text), "consistency witness");
    (void)tk2;

    // The range prover over several sizes, the diagnostic prover too.
    for (std::uint64_t n : {1, 8, 64}) {
      const std::int32_t v = secret_amount(n == 1 ? 1 : 200);
      const CommitV c = api::commit(v, r_back, gh);
      CommitV pub_c = c;
      declassify(pub_c);
      proof = must(api::range_proof_single(n, v, gh, r_back), "range proof");
      must_verify(api::range_proof_single_verify(proof, n, gh, pub_c), "range proof");
    }
    (void)must(api::range_proof_test(8, secret_amount(77)), "range_proof_test");

    // The strict suite's aggregated range prover: secret values (one at
    // each end of the range) and blindings, with and without padding.
    for (const auto& [bits, count] : {std::pair<std::uint64_t, std::size_t>{8, 3}, {64, 2}}) {
      std::vector<std::uint64_t> values;
      std::vector<RandR> blindings;
      for (std::size_t j = 0; j < count; ++j) {
        std::uint64_t v = j == 0 ? 0 : (bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1) - j;
        secret(v);
        values.push_back(v);
        blindings.push_back(j == 0 ? r_back : RandR{random_secret()});
      }
      auto strict_proof = api::strict::range_prove("ct check", gh, bits, values, blindings);
      if (!strict_proof.ok()) {
        std::fprintf(stderr, "strict range proof failed: %s\n", strict_proof.error().message.c_str());
        return 2;
      }
      publish_text(strict_proof.value());
      std::vector<CommitV> commitments;
      for (std::size_t j = 0; j < count; ++j) {
        // The commitments the prover published, recomputed and made public.
        Point c = double_scalar_mul_fixed(gh.g, Scalar::from_u64(values[j]), gh.h, blindings[j].s);
        declassify(c);
        commitments.push_back(CommitV{c});
      }
      auto claims = api::strict::range_claims("ct check", gh, bits, commitments, strict_proof.value());
      if (!claims.ok() || !claims->holds_vartime()) {
        std::fprintf(stderr, "strict range proof did not verify\n");
        return 2;
      }
    }

    // Value recovery: sk·c − t and sk·g in constant time, then the search.
    const std::int32_t found = api::get_brut_v(pub_cm, pub_tk, gh, regen, 2000);
    if (found != 1234) {
      std::fprintf(stderr, "get_brut_v found %d\n", found);
      return 2;
    }
  }

  // The strict suite's provers: each relation's secrets (amounts, blinding
  // scalars, keys, the inverse key) pass through the one engine, its
  // witness check, its nonce derivation and its constant-time sums.
  {
    namespace st = vemo::api::strict;
    const vemo::api::Bytes ctx{"ct check"};
    RandR r1 = r_back, r2 = must(api::gen_r(), "gen_r");
    std::uint64_t value = (1ull << 63) + 99;
    secret(value);
    CommitV c1 = st::commit(value, r1, gh), c2 = st::commit(value, r2, gh);
    const PbSkV k2 = must(api::gen_pb_sk(gh), "gen_pb_sk");
    const std::vector<std::string> keys{pk_text, parse_scep256k1point_to_string(k2.pk)};
    TokenV t1 = api::members::pbsk_to_token(regen, r1), t2 = api::members::pbsk_to_token(k2, r1);
    declassify(t1);
    declassify(t2);
    const std::vector<TokenV> tokens{t1, t2};
    auto verified = [](vemo::strict::Expected<bool>&& ok, const char* what) {
      if (!must(std::move(ok), what)) {
        std::fprintf(stderr, "%s: proof did not verify\n", what);
        std::exit(2);
      }
    };
    auto as_bytes = [](const std::string& s) { return vemo::api::Bytes{s}; };
    std::string p = must(st::prove_opening(ctx, value, r1, gh, c1), "strict opening");
    verified(api::verdict(st::opening_claims(ctx, as_bytes(p), gh, c1)), "strict opening");
    p = must(st::prove_consistency(ctx, value, r1, gh, c1, keys, tokens), "strict consistency");
    verified(api::verdict(st::consistency_claims(ctx, as_bytes(p), gh, c1, keys, tokens)), "strict consistency");
    p = must(st::prove_dleq(ctx, regen, gh, h_sumR, sum_tokens), "strict dleq");
    verified(api::verdict(st::dleq_claims(ctx, as_bytes(p), gh, pk_text, h_sumR, sum_tokens)), "strict dleq");
    const vemo::api::Bytes message{"pay 5 to 9"};
    p = must(st::sign(ctx, message, regen, gh), "strict signature");
    verified(api::verdict(st::signature_claims(ctx, as_bytes(p), message, pk_text, gh)), "strict signature");
    p = must(st::prove_balance(ctx, value, regen, r2, gh, c1, t1, c2), "strict balance");
    verified(api::verdict(st::balance_claims(ctx, as_bytes(p), gh, pk_text, c1, t1, c2)), "strict balance");
  }

#ifdef VEMO_CT_MUTANT
  // Both ways a secret enters must be caught: a drawn scalar and one decoded
  // from a caller's text.
  int leaked = leaky(r.s);
  leaked += leaky(r_back.s);
  declassify(leaked);
  std::printf("mutant: %d\n", leaked);
#endif

  std::puts("constant-time check ran");
  return 0;
}
