// The interpreter lock around a call's work: which calls release it, and
// the guard that takes it back on every way out.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace vemo::py {

// Whether a call's work runs with the interpreter lock released. The work
// takes C++ values only; class arguments are views of immutable instances
// and text arguments views of immutable str buffers, all kept alive by the
// caller's references for the whole call, so other threads may run Python
// meanwhile.
enum class Gil {
  hold,         // cheap work (a few microseconds): releasing would cost more than it frees
  release,      // heavy work: always released
  release_long  // text decoders: released when the texts are long enough to matter
};

// Texts longer than this in total make a release_long call release the lock.
inline constexpr std::size_t kLongText = 4096;

// Releases the lock for its lifetime and takes it back on every way out,
// exceptions included, so error paths reach Python with the lock held.
class GilReleased {
 public:
  GilReleased() : state_(PyEval_SaveThread()) {}
  ~GilReleased() { PyEval_RestoreThread(state_); }
  GilReleased(const GilReleased&) = delete;
  GilReleased& operator=(const GilReleased&) = delete;

 private:
  PyThreadState* state_;
};

template <class H>
std::size_t text_length(const H& h) {
  if constexpr (std::is_same_v<H, std::string_view>)
    return h.size();
  else
    return 0;
}

// Runs work() under the policy G; `texts` is the total length of the text
// arguments.
template <Gil G, class Work>
decltype(auto) run_work(std::size_t texts, Work&& work) {
  if constexpr (G == Gil::hold) {
    return work();
  } else {
    if (G == Gil::release || texts > kLongText) {
      GilReleased unlocked;
      return work();
    }
    return work();
  }
}

// The standard-output writer an extension installs at import
// (api::set_stdout_writer). A printing call may run with the interpreter
// lock released between its writes (range_proof_test prints before and
// after proving); each write takes the lock, so the lines of concurrent
// calls never interleave.
void write_stdout_holding_lock(const std::string& text);

}  // namespace vemo::py
