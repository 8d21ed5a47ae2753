// A minimal fork-join loop for the batch paths: fn(i) for every i < n, on up
// to `threads` threads (the calling thread is one of them). Items are taken
// one at a time from a shared counter, so uneven items balance out. fn must
// not throw; it runs concurrently with itself.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace vemo::curve {

// The worker count for "all cores": at least one.
inline unsigned all_cores() { return std::max(1u, std::thread::hardware_concurrency()); }

template <class Fn>
void parallel_for(std::size_t n, unsigned threads, Fn&& fn) {
  const std::size_t workers = std::min<std::size_t>(std::max(1u, threads), n);
  if (workers <= 1) {
    for (std::size_t i = 0; i < n; ++i) fn(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  auto loop = [&] {
    for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < n;) fn(i);
  };
  std::vector<std::thread> pool;
  pool.reserve(workers - 1);
  for (std::size_t t = 1; t < workers; ++t) pool.emplace_back(loop);
  loop();
  for (std::thread& t : pool) t.join();
}

}  // namespace vemo::curve
