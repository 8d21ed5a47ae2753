// C++ timings of the curve core with Google Benchmark: repetitions,
// aggregates and JSON output (--benchmark_format=json) come from the library.
// Inputs are drawn from a fixed seed, so every run times the same work.
#include <benchmark/benchmark.h>

#include <optional>
#include <random>
#include <vector>

#include "bulletproofs/src/proofs/generators.hpp"
#include "bulletproofs/src/proofs/range_proof.hpp"
#include "curve/fixed_base.hpp"
#include "curve/hash_to_curve.hpp"
#include "curve/lanes/decompress.hpp"
#include "curve/lanes/lanes.hpp"
#include "curve/msm_vartime.hpp"
#include "curve/point.hpp"
#include "curve/scalar_mul.hpp"
#include "strict/range_proof.hpp"

using namespace vemo::curve;

namespace {

std::mt19937_64& rng() {
  static std::mt19937_64 r(1);
  return r;
}

Scalar random_scalar() {
  unsigned char b[32];
  for (auto& x : b) x = (unsigned char)rng()();
  return Scalar::deserialize(b, 32).value();
}

Point random_point() { return Point::generator().scalar_mul_vartime(random_scalar()); }

Fp random_fp() { return Fp::from_raw_reduce(Limbs{rng()(), rng()(), rng()(), rng()()}); }

void BM_FieldMul(benchmark::State& state) {
  Fp a = random_fp();
  const Fp b = random_fp();
  for (auto _ : state) {
    a = a * b;
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_FieldMul)->Name("field multiplication (Fp)");

void BM_FieldSquare(benchmark::State& state) {
  Fp a = random_fp();
  for (auto _ : state) {
    a = a.square();
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_FieldSquare)->Name("field squaring (Fp)");

void BM_InverseCt(benchmark::State& state) {
  Fp a = random_fp();
  const Fp one = Fp::one();
  for (auto _ : state) {
    a = a.inverse() + one;
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_InverseCt)->Name("field inversion, constant time (Fp)");

void BM_InverseVartime(benchmark::State& state) {
  Fp a = random_fp();
  const Fp one = Fp::one();
  for (auto _ : state) {
    a = a.inverse_vartime() + one;
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_InverseVartime)->Name("field inversion, variable time (Fp)");

void BM_ScalarMulCt(benchmark::State& state) {
  const Point p = random_point();
  Scalar k = random_scalar();
  for (auto _ : state) {
    Point r = p.scalar_mul(k);
    benchmark::DoNotOptimize(r);
    k.fe += Fr::one();
  }
}
BENCHMARK(BM_ScalarMulCt)->Name("scalar multiplication, constant time");

void BM_ScalarMulVartime(benchmark::State& state) {
  const Point p = random_point();
  Scalar k = random_scalar();
  for (auto _ : state) {
    Point r = p.scalar_mul_vartime(k);
    benchmark::DoNotOptimize(r);
    k.fe += Fr::one();
  }
}
BENCHMARK(BM_ScalarMulVartime)->Name("scalar multiplication, variable time");

void BM_FixedBase(benchmark::State& state) {
  const Point base = random_point();
  Scalar k = random_scalar();
  for (int i = 0; i < 2; ++i) benchmark::DoNotOptimize(scalar_mul_fixed(base, k));  // builds the table
  for (auto _ : state) {
    Point r = scalar_mul_fixed(base, k);
    benchmark::DoNotOptimize(r);
    k.fe += Fr::one();
  }
}
BENCHMARK(BM_FixedBase)->Name("fixed-base multiplication, constant time");

void BM_FixedBaseDouble(benchmark::State& state) {
  const Point a = random_point(), b = random_point();
  Scalar ka = random_scalar(), kb = random_scalar();
  for (int i = 0; i < 2; ++i) benchmark::DoNotOptimize(double_scalar_mul_fixed(a, ka, b, kb));
  for (auto _ : state) {
    Point r = double_scalar_mul_fixed(a, ka, b, kb);
    benchmark::DoNotOptimize(r);
    ka.fe += Fr::one();
  }
}
BENCHMARK(BM_FixedBaseDouble)->Name("fixed-base two-point sum, constant time");

struct MsmInput {
  std::vector<Scalar> ks;
  std::vector<Point> ps;
  explicit MsmInput(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      ks.push_back(random_scalar());
      ps.push_back(random_point());
    }
  }
};

void BM_MsmVartime(benchmark::State& state) {
  const MsmInput in((std::size_t)state.range(0));
  for (auto _ : state) {
    ProjPoint r = msm_vartime(in.ks.data(), in.ps.data(), in.ks.size());
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_MsmVartime)->Name("multi-scalar multiplication, variable time")->Arg(64)->Arg(128)->Arg(256)->Arg(1024)
    ->Unit(benchmark::kMicrosecond);

void BM_MsmCt(benchmark::State& state) {
  const MsmInput in((std::size_t)state.range(0));
  for (auto _ : state) {
    ProjPoint r = msm(in.ks.data(), in.ps.data(), in.ks.size());
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_MsmCt)->Name("multi-scalar multiplication, constant time")->Arg(64)->Arg(128)
    ->Unit(benchmark::kMicrosecond);

void BM_HashToCurve(benchmark::State& state) {
  unsigned char msg[64];
  for (auto& x : msg) x = (unsigned char)rng()();
  for (auto _ : state) {
    Point r = generate_random_point(msg, sizeof msg);
    benchmark::DoNotOptimize(r);
    ++msg[63];
  }
}
BENCHMARK(BM_HashToCurve)->Name("hash to curve");

void BM_Decompress(benchmark::State& state) {
  const auto bytes = random_point().serialize_compressed();
  for (auto _ : state) {
    auto r = Point::deserialize(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_Decompress)->Name("point decompression");

// The lane engine through each layer this machine runs: the portable one
// always (it is the algorithms' emulation, not a fast path), the IFMA one
// where the processor has it. Figures per field product or per point.
const lanes::Kernels* lane_layer(int which) {
  return which == 0 ? &lanes::portable_kernels() : lanes::ifma_kernels();
}
const char* lane_layer_name(int which) { return which == 0 ? "portable" : "ifma"; }

// Throughput: four independent chains of eight lanes (32 products a
// round, 64 rounds an iteration), as a batch keeps the multiplier busy.
void BM_LaneMul(benchmark::State& state) {
  const lanes::Kernels* k = lane_layer((int)state.range(0));
  if (k == nullptr) {
    state.SkipWithError("no AVX-512 IFMA on this processor");
    return;
  }
  state.SetLabel(lane_layer_name((int)state.range(0)));
  Fp xs[8], ys[8];
  for (int i = 0; i < 8; ++i) xs[i] = random_fp(), ys[i] = random_fp();
  lanes::Fe8 x[4], y;
  for (auto& e : x) k->from_fp(&e, xs);
  k->from_fp(&y, ys);
  constexpr std::size_t kRounds = 64;
  for (auto _ : state) {
    k->mul_chain4(x, &y, kRounds);
    benchmark::DoNotOptimize(x);
  }
  state.SetItemsProcessed((std::int64_t)state.iterations() * (std::int64_t)kRounds * 32);
  state.counters["per product"] = benchmark::Counter((double)state.iterations() * kRounds * 32,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LaneMul)->Name("lane field multiplications, 2048 independent (portable layer)")->Arg(0);
BENCHMARK(BM_LaneMul)->Name("lane field multiplications, 2048 independent (IFMA layer)")->Arg(1);

// 128 compressed points decoded at once, their square roots in lanes;
// time per point. Beside "point decompression" (one at a time).
void BM_DecompressBatch(benchmark::State& state) {
  const lanes::Kernels* k = lane_layer((int)state.range(0));
  if (k == nullptr) {
    state.SkipWithError("no AVX-512 IFMA on this processor");
    return;
  }
  state.SetLabel(lane_layer_name((int)state.range(0)));
  std::vector<lanes::Compressed> in(128);
  for (auto& c : in) c = random_point().serialize_compressed();
  std::vector<std::optional<Point>> out(in.size());
  for (auto _ : state) {
    lanes::deserialize_compressed_batch_vartime(*k, in.data(), in.size(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["per point"] = benchmark::Counter((double)state.iterations() * (double)in.size(),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DecompressBatch)->Name("point decompression, 128 at once (portable layer)")->Arg(0);
BENCHMARK(BM_DecompressBatch)->Name("point decompression, 128 at once (IFMA layer)")->Arg(1);

// Range proofs: vemo's single 64-bit proof beside the strict suite's
// aggregated proof of two 64-bit values, both with vemo's pair shape (g a
// point of unknown logarithm, h the curve's generator). Medians of five
// repetitions: the machine is shared, so single runs are noisy.
struct RangeInput {
  Point g = generate_random_point(reinterpret_cast<const unsigned char*>("bench g"), 7);
  Point h = Point::generator();
  std::vector<std::uint64_t> values{123456789, ~std::uint64_t{0}};
  std::vector<Scalar> blindings{random_scalar(), random_scalar()};
  std::vector<Point> commitments;
  RangeInput() {
    for (std::size_t j = 0; j < values.size(); ++j)
      commitments.push_back(
          g.scalar_mul_vartime(Scalar::from_u64(values[j])).add_point_vartime(h.scalar_mul_vartime(blindings[j])));
  }
};

void BM_VemoRangeProve(benchmark::State& state) {
  const RangeInput in;
  const auto gens = vemo::bulletproofs::derive_generator_vectors(64, 64);
  const std::vector<Scalar> v{Scalar::from_u64(in.values[0])}, b{in.blindings[0]};
  for (auto _ : state) {
    auto p = vemo::bulletproofs::RangeProof::prove(gens.G, gens.H, in.g, in.h, v, b, 64);
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_VemoRangeProve)->Name("vemo range proof, one 64-bit value: prove")
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// m values of 64 bits in one proof: 64·m generators a vector, the sizes
// where the inner-product argument's first sums change engines.
void BM_VemoRangeProveAggregated(benchmark::State& state) {
  const std::size_t m = (std::size_t)state.range(0);
  const RangeInput in;
  const auto gens = vemo::bulletproofs::derive_generator_vectors(64, 64 * m);
  std::vector<Scalar> v, b;
  for (std::size_t j = 0; j < m; ++j) {
    v.push_back(Scalar::from_u64(in.values[j % 2] - j));
    b.push_back(random_scalar());
  }
  for (auto _ : state) {
    auto p = vemo::bulletproofs::RangeProof::prove(gens.G, gens.H, in.g, in.h, v, b, 64);
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_VemoRangeProveAggregated)->Name("vemo range proof, m 64-bit values: prove")
    ->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);

void BM_VemoRangeVerify(benchmark::State& state) {
  const RangeInput in;
  const auto gens = vemo::bulletproofs::derive_generator_vectors(64, 64);
  const auto proof = vemo::bulletproofs::RangeProof::prove(gens.G, gens.H, in.g, in.h,
                                                           {Scalar::from_u64(in.values[0])}, {in.blindings[0]}, 64);
  for (auto _ : state) {
    auto ok = proof.value().verify(gens.G, gens.H, in.g, in.h, {in.commitments[0]}, 64);
    if (!ok.ok() || !ok.value()) state.SkipWithError("vemo range proof did not verify");
  }
}
BENCHMARK(BM_VemoRangeVerify)->Name("vemo range proof, one 64-bit value: verify")
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_StrictRangeProve(benchmark::State& state) {
  const RangeInput in;
  for (auto _ : state) {
    auto p = vemo::strict::range_prove("bench", in.g, in.h, 64, in.values, in.blindings);
    if (!p.ok()) state.SkipWithError(p.error().message.c_str());
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_StrictRangeProve)->Name("strict range proof, two 64-bit values: prove")
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_StrictRangeVerify(benchmark::State& state) {
  const RangeInput in;
  const auto proof = vemo::strict::range_prove("bench", in.g, in.h, 64, in.values, in.blindings);
  for (auto _ : state) {
    auto c = vemo::strict::range_claims_vartime("bench", in.g, in.h, 64, in.commitments, proof.value());
    if (!c.ok() || !c.value().holds_vartime()) state.SkipWithError("strict range proof did not verify");
  }
}
BENCHMARK(BM_StrictRangeVerify)->Name("strict range proof, two 64-bit values: verify")
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
