// A minimal fork-join loop for the batch paths: fn(i) for every i < n, on up
// to `threads` threads (the calling thread is one of them). Items are taken
// one at a time from a shared counter, so uneven items balance out. fn runs
// concurrently with itself.
//
// Failures never leave a thread joinable behind them: a thread the system
// refuses is simply not started (the others, and the caller, take its
// share), and the first exception thrown by fn on any thread stops the loop
// at the next item and is rethrown to the caller once every started thread
// has been joined.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
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
  std::atomic<bool> stop{false};
  std::mutex failure_mu;
  std::exception_ptr failure;
  auto loop = [&]() noexcept {
    try {
      for (std::size_t i; !stop.load(std::memory_order_relaxed) &&
                          (i = next.fetch_add(1, std::memory_order_relaxed)) < n;)
        fn(i);
    } catch (...) {
      stop.store(true, std::memory_order_relaxed);
      const std::lock_guard<std::mutex> lock(failure_mu);
      if (!failure) failure = std::current_exception();
    }
  };
  std::vector<std::thread> pool;
  try {
    pool.reserve(workers - 1);
    for (std::size_t t = 1; t < workers; ++t) pool.emplace_back(loop);
  } catch (...) {
    // No memory for the pool or no thread from the system: go on with the
    // threads that did start.
  }
  loop();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace vemo::curve
