// The random source under failure: short reads and interrupted calls are
// retried to completion, a failure reaches every function that draws
// randomness as the randomness panic, and nothing falls back to weaker bytes.
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/random.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "curve/encoding.hpp"
#include "curve/panic.hpp"
#include "curve/random.hpp"
#include "src/api/api.hpp"

using namespace vemo::curve;
namespace api = vemo::api;

namespace {

// What the simulated source does on each call: a positive count of bytes
// (capped at the request), 0, or -errno.
std::vector<long> g_script;
std::size_t g_calls = 0;
long g_after_script = 0;  // what it does once the script is used up (0: real getrandom)
unsigned char g_counter = 0;

ssize_t scripted(void* buf, std::size_t n, unsigned flags) {
  const long step = g_calls < g_script.size() ? g_script[g_calls] : g_after_script;
  ++g_calls;
  if (step < 0) {
    errno = (int)-step;
    return -1;
  }
  if (step == 0 && g_calls > g_script.size()) return getrandom(buf, n, flags);
  const std::size_t k = std::min<std::size_t>((std::size_t)step, n);
  auto* p = static_cast<unsigned char*>(buf);
  for (std::size_t i = 0; i < k; ++i) p[i] = ++g_counter;  // numbered bytes show order and coverage
  return (ssize_t)k;
}

struct Seam : ::testing::Test {
  void use(std::vector<long> script, long after = 0) {
    g_script = std::move(script);
    g_after_script = after;
    g_calls = 0;
    g_counter = 0;
    set_random_source_for_testing(scripted);
  }
  void TearDown() override { set_random_source_for_testing(nullptr); }
};

TEST_F(Seam, ShortAndInterruptedReadsAreRetriedToCompletion) {
  struct Case {
    std::vector<long> script;
    std::size_t calls;
  };
  const Case cases[] = {
      {{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 16},
      {{-EINTR, -EINTR, 16}, 3},
      {{5, -EINTR, 3, -EINTR, -EINTR, 100}, 6},
      {{15, 1}, 2},
  };
  for (const Case& c : cases) {
    use(c.script, -EIO);
    unsigned char buf[16] = {};
    ASSERT_TRUE(fill_random(buf, sizeof buf));
    EXPECT_EQ(g_calls, c.calls);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(buf[i], i + 1) << "byte " << i;
  }
}

TEST_F(Seam, FailuresAndStallsReportNoBytes) {
  const std::vector<std::vector<long>> scripts = {
      {-EIO}, {-EAGAIN}, {-EFAULT}, {8, -EIO}, {-EINTR, 0}, {0},
  };
  for (const auto& s : scripts) {
    use(s, -EIO);
    unsigned char buf[16];
    EXPECT_FALSE(fill_random(buf, sizeof buf));
  }
}

TEST_F(Seam, MissingSystemCallFallsBackToUrandom) {
  use({-ENOSYS}, -EIO);
  unsigned char buf[64] = {};
  ASSERT_TRUE(fill_random(buf, sizeof buf));
  EXPECT_EQ(g_calls, 1u);  // the rest came from /dev/urandom
  unsigned char zero[64] = {};
  EXPECT_NE(std::memcmp(buf, zero, sizeof buf), 0);
}

TEST_F(Seam, ScalarDrawsRetryShortReads) {
  use({}, 3);  // three bytes per call, for ever
  auto s = Scalar::random_nonzero();
  ASSERT_TRUE(s.has_value());
  EXPECT_GE(g_calls, 11u);  // 32 bytes three at a time
}

// Every function of the module that draws randomness, each run once with the
// source failing from the first byte on and once after `ok_calls` good reads
// (a later draw inside the same call failing).
struct Drawer {
  const char* name;
  bool draws_twice;            // more than one scalar per call
  std::function<bool()> call;  // true when it reported the randomness panic
};

std::string panic_text() { return vemo::randomness_unavailable().message; }

template <class T>
bool panics(const vemo::Result<T, vemo::api::PanicAt>& r) {
  return !r.ok() && r.error().message == panic_text();
}

TEST_F(Seam, EveryDrawingFunctionPanicsWithTheRandomnessText) {
  set_random_source_for_testing(nullptr);
  const auto gh = api::gen_GH();
  const auto pbsk = api::gen_pb_sk(gh).value();
  const auto r = api::gen_r().value();
  const auto cm = api::commit(5, r, gh);
  const vemo::api::TokenV tk{pbsk.pk.scalar_mul(r.s)};
  const std::string pk = parse_scep256k1point_to_string(pbsk.pk);
  const vemo::api::CommitV h_sumR{gh.h};
  const vemo::api::TokenV sum_tokens{pbsk.pk};

  const Drawer drawers[] = {
      {"gen_r", false, [&] { return panics(api::gen_r()); }},
      {"gen_pb_sk", false, [&] { return panics(api::gen_pb_sk(gh)); }},
      {"sigma_dlog_proof_explicit", false, [&] { return panics(api::sigma_dlog_proof_explicit(sum_tokens, pbsk, h_sumR)); }},
      {"sigma_dlog_proof_explicit_sha256", false,
       [&] { return panics(api::sigma_dlog_proof_explicit_sha256(sum_tokens, pbsk, h_sumR)); }},
      {"sigma_dlog_proof_explicit_sha256_with_witness", false,
       [&] { return panics(api::sigma_dlog_proof_explicit_sha256_with_witness(sum_tokens, pbsk, h_sumR)); }},
      {"sigma_eq_dlog_proof", false, [&] { return panics(api::sigma_eq_dlog_proof(sum_tokens, pbsk, gh, h_sumR)); }},
      {"sigma_eq_dlog_proof_sha256", false,
       [&] { return panics(api::sigma_eq_dlog_proof_sha256(sum_tokens, pbsk, gh, h_sumR)); }},
      {"sigma_eq_dlog_same_secret", false, [&] { return panics(api::sigma_eq_dlog_same_secret(3, gh, gh)); }},
      {"sigma_eq_dlog_ped_proof", true, [&] { return panics(api::sigma_eq_dlog_ped_proof(3, gh, gh, pk)); }},
      {"sigma_eq_dlog_ped_proof_with_witness", true,
       [&] { return panics(api::sigma_eq_dlog_ped_proof_with_witness(3, gh, gh, pk)); }},
      {"consistency_proof", true, [&] { return panics(api::consistency_proof(5, r, gh, cm, tk, pk)); }},
      {"consistency_proof_with_witness", true,
       [&] { return panics(api::consistency_proof_with_witness(5, r, gh, cm, tk, pk)); }},
      {"range_proof_single", true, [&] { return panics(api::range_proof_single(8, 5, gh, r)); }},
      {"range_proof_test", true, [&] { return panics(api::range_proof_test(8, 5)); }},
  };
  for (const Drawer& d : drawers) {
    use({}, -EIO);
    EXPECT_TRUE(d.call()) << d.name << " with no bytes at all";
    // One good 32-byte draw first: a later draw of the same call fails.
    use({32}, -EIO);
    EXPECT_EQ(d.call(), d.draws_twice) << d.name << " with its second draw failing";
  }
}

TEST_F(Seam, PanicTextNamesTheSource) {
  EXPECT_NE(panic_text().find("random source"), std::string::npos);
  EXPECT_NE(panic_text().find("getrandom"), std::string::npos);
}

}  // namespace
