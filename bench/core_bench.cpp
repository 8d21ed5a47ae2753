// C++ timings of the curve core: one line per operation, best of five runs.
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "curve/point.hpp"

using namespace vemo::curve;

namespace {

template <class F>
double best_ns(F&& f, int iters) {
  double best = 1e300;
  for (int run = 0; run < 5; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < iters; ++i) f();
    auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::nano>(t1 - t0).count() / iters);
  }
  return best;
}

void row(const char* name, double ns) {
  if (ns >= 1e6)
    std::printf("%-56s %10.2f ms\n", name, ns / 1e6);
  else if (ns >= 1e3)
    std::printf("%-56s %10.2f us\n", name, ns / 1e3);
  else
    std::printf("%-56s %10.1f ns\n", name, ns);
}

Scalar random_scalar(std::mt19937_64& rng) {
  unsigned char b[32];
  for (auto& x : b) x = (unsigned char)rng();
  return Scalar::deserialize(b, 32).value();
}

}  // namespace

int main() {
  std::mt19937_64 rng(1);
  std::printf("%-56s %13s\n", "core operation (C++)", "time per call");

  Fp a = Fp::from_u64(123456789), b = Fp::from_u64(987654321);
  row("field multiplication (Fp)", best_ns([&] { a = a * b; asm volatile("" : "+m"(a)); }, 2000000));
  row("field inversion (Fp)", best_ns([&] { a = a.inverse() + b; asm volatile("" : "+m"(a)); }, 20000));

  const Point g = Point::generator();
  Scalar k = random_scalar(rng);
  Point p = g;
  row("scalar multiplication, constant time", best_ns([&] { p = g.scalar_mul(k); k.fe = k.fe + Fr::one(); asm volatile("" : "+m"(p)); }, 2000));
  row("scalar multiplication, public (vartime)", best_ns([&] { p = g.scalar_mul_vartime(k); k.fe = k.fe + Fr::one(); asm volatile("" : "+m"(p)); }, 2000));

  std::vector<Scalar> ks;
  std::vector<Point> ps;
  for (int i = 0; i < 128; ++i) {
    ks.push_back(random_scalar(rng));
    ps.push_back(g.scalar_mul(random_scalar(rng)));
  }
  ProjPoint acc;
  row("multi-scalar multiplication, 128 points, constant time", best_ns([&] { acc = msm(ks.data(), ps.data(), ks.size()); asm volatile("" : "+m"(acc)); }, 10));
  row("multi-scalar multiplication, 128 points, public", best_ns([&] { acc = msm_vartime(ks.data(), ps.data(), ks.size()); asm volatile("" : "+m"(acc)); }, 20));
  return 0;
}
