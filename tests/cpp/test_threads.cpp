// The process-wide caches under concurrent use: fixed-base tables (with
// eviction), odd-multiple rows of caller points (with eviction) and pinned
// rows, generator vectors derived by several threads at once, and batch
// verification, from 8 threads. Every result is checked against a value
// computed before the threads start; the fork-join loop's failure handling
// closes the suite. Built again under ThreadSanitizer by
// `make tsan`, which runs this suite there.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bulletproofs/src/proofs/generators.hpp"
#include "curve/fixed_base.hpp"
#include "curve/msm_vartime.hpp"
#include "curve/parallel.hpp"
#include "curve/point.hpp"
#include "curve/proofs/batch.hpp"
#include "test_util.hpp"

using namespace vemo::curve;

namespace {

using vemo::test::random_scalar;

constexpr int kThreads = 8;

template <class Fn>
void on_threads(Fn fn) {
  std::vector<std::thread> pool;
  std::atomic<int> ready{0};
  for (int t = 0; t < kThreads; ++t)
    pool.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      fn(t);
    });
  for (auto& th : pool) th.join();
}

// most = max(most, v), atomically.
void raise_to(std::atomic<std::size_t>& most, std::size_t v) {
  std::size_t seen = most.load();
  while (v > seen && !most.compare_exchange_weak(seen, v)) {
  }
}

TEST(Threads, FixedBaseTablesUnderEviction) {
  // More bases than the cache holds, each used repeatedly, so tables are
  // built, shared and evicted while other threads read them.
  std::vector<Point> bases;
  std::vector<Scalar> ks;
  std::vector<Point> want;
  for (int i = 0; i < 12; ++i) {
    bases.push_back(Point::generator().scalar_mul(random_scalar()));
    ks.push_back(random_scalar());
    want.push_back(bases.back().scalar_mul(ks.back()));
  }
  std::atomic<int> wrong{0};
  on_threads([&](int t) {
    for (int round = 0; round < 40; ++round) {
      const std::size_t i = (std::size_t)((t + round) % 12);
      if (!scalar_mul_fixed(bases[i], ks[i]).eq(want[i])) wrong.fetch_add(1);
      const std::size_t j = (i + 1) % 12;
      if (!double_scalar_mul_fixed(bases[i], ks[i], bases[j], ks[j]).eq(want[i].add_point(want[j]))) wrong.fetch_add(1);
    }
  });
  EXPECT_EQ(wrong.load(), 0);
}

// Recurring points summed from every thread while each thread streams fresh
// points of its own, each summed twice with the scalar 3 (a term with 1 or
// -1 is added directly and never reaches the rows; a row is admitted on its
// point's second sight): 8 x 30 x 20 = 4800 fresh rows admitted, more than
// the cache holds, so rows are admitted and evicted while other threads
// read them, and recurring points are pinned meanwhile.
TEST(Threads, VartimeRowsOfRecurringAndFreshPoints) {
  constexpr std::size_t kBound = 4096;  // the cache's bound (about 3 MiB of rows)
  std::vector<Point> recurring;
  std::vector<Scalar> ks;
  for (int i = 0; i < 40; ++i) {
    recurring.push_back(Point::generator().scalar_mul(random_scalar()));
    ks.push_back(random_scalar());
  }
  const Point want = msm_vartime_straus(ks.data(), recurring.data(), ks.size()).to_affine("x");
  std::vector<Point> starts;  // far apart: no two threads share a fresh point
  for (int t = 0; t < kThreads; ++t) starts.push_back(Point::generator().scalar_mul(random_scalar()));
  const Scalar three = Scalar::from_u64(3);
  std::atomic<int> wrong{0};
  std::atomic<std::size_t> most{0};
  on_threads([&](int t) {
    Point fresh = starts[(std::size_t)t];
    for (int round = 0; round < 30; ++round) {
      if (!msm_vartime(ks.data(), recurring.data(), ks.size()).to_affine("x").eq(want)) wrong.fetch_add(1);
      for (int k = 0; k < 20; ++k) {
        fresh = fresh.add_point_vartime(Point::generator());
        const Point want3 = fresh.add_point_vartime(fresh).add_point_vartime(fresh);
        for (int use = 0; use < 2; ++use)
          if (!msm_vartime(&three, &fresh, 1).to_affine("x").eq(want3)) wrong.fetch_add(1);
        raise_to(most, vartime_cache_size());
      }
      pin_vartime_tables(&recurring[(std::size_t)(round % 40)], 1);
    }
  });
  EXPECT_EQ(wrong.load(), 0);
  ASSERT_GE(most.load(), kBound) << "the streams never filled the cache: their points did not reach the rows";
  EXPECT_LE(most.load(), kBound);
  EXPECT_EQ(vartime_cache_size(), kBound);
}

TEST(Threads, GeneratorVectorsDerivedConcurrently) {
  // Lengths past what earlier tests derived, so the threads race to grow
  // the cache; all must see the same points.
  const std::vector<std::uint64_t> lengths = {8, 64, 512, 2048};
  std::vector<std::vector<vemo::bulletproofs::GeneratorVectors>> seen(kThreads);
  on_threads([&](int t) {
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      const std::uint64_t n = lengths[(i + (std::size_t)t) % lengths.size()];
      seen[(std::size_t)t].push_back(vemo::bulletproofs::derive_generator_vectors(n, n));
    }
  });
  for (std::uint64_t n : lengths) {
    const auto want = vemo::bulletproofs::derive_generator_vectors(n, n);
    for (const auto& per_thread : seen)
      for (const auto& v : per_thread) {
        if (v.G.size() != n) continue;
        for (std::size_t i = 0; i < n; ++i) {
          ASSERT_TRUE(v.G[i].eq(want.G[i]));
          ASSERT_TRUE(v.H[i].eq(want.H[i]));
        }
      }
  }
}

TEST(Threads, BatchesVerifiedConcurrently) {
  // Claims a·P − Q = O, true when Q = a·P; every fifth one is false.
  std::vector<vemo::proofs::Claims> claims(30);
  std::vector<bool> want;
  const Point shared = Point::generator().scalar_mul(random_scalar());
  for (std::size_t i = 0; i < claims.size(); ++i) {
    const Scalar a = random_scalar(), b = random_scalar();
    const Point q = shared.scalar_mul(a).add_point(Point::generator().scalar_mul(b));
    vemo::proofs::Equation& e = claims[i].equations.emplace_back();
    e.term(a, shared);
    e.term(i % 5 == 3 ? b.add(Scalar::one()) : b, Point::generator());
    e.term(Scalar::one().neg(), q);
    want.push_back(i % 5 != 3);
  }
  std::vector<const vemo::proofs::Claims*> ptrs;
  for (const auto& c : claims) ptrs.push_back(&c);
  std::atomic<int> wrong{0};
  on_threads([&](int t) {
    for (int round = 0; round < 3; ++round)
      if (vemo::proofs::verify_batch_vartime(ptrs, (unsigned)(t % 3) + 1) != want) wrong.fetch_add(1);
  });
  EXPECT_EQ(wrong.load(), 0);
}

TEST(Threads, ParallelForCarriesAWorkerFailureToTheCaller) {
  // Whichever thread meets the failing item, the caller gets its exception
  // after every started thread was joined (a joinable std::thread left
  // behind would end the process), and the loop stops early.
  for (unsigned threads : {1u, 2u, 8u}) {
    std::atomic<std::size_t> ran{0};
    try {
      parallel_for(10000, threads, [&](std::size_t i) {
        ran.fetch_add(1);
        if (i == 17) throw std::length_error("item 17");
      });
      ADD_FAILURE() << "no exception with " << threads << " threads";
    } catch (const std::length_error& e) {
      EXPECT_STREQ(e.what(), "item 17");
    }
    EXPECT_LT(ran.load(), 10000u) << threads << " threads";
  }
  // Without failures every item runs exactly once.
  std::vector<std::atomic<int>> seen(5000);
  parallel_for(seen.size(), 8, [&](std::size_t i) { seen[i].fetch_add(1); });
  for (const auto& s : seen) ASSERT_EQ(s.load(), 1);
}

}  // namespace
