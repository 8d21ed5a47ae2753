#include "batch.hpp"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "curve/msm_vartime.hpp"
#include "curve/parallel.hpp"
#include "curve/point_key.hpp"
#include "curve/random.hpp"

namespace vemo::proofs {

using namespace vemo::curve;

namespace {

constexpr std::size_t kWeightBytes = 16;

// A weight from 16 random bytes: below 2^128, never zero (a zero weight
// would drop its equation from the sum).
Scalar weight_from(const unsigned char* bytes) {
  unsigned char be[32] = {};
  std::memcpy(be + 32 - kWeightBytes, bytes, kWeightBytes);
  be[31] |= (unsigned char)(std::all_of(bytes, bytes + kWeightBytes, [](unsigned char b) { return b == 0; }) ? 1 : 0);
  return Scalar::deserialize(be, 32).value();
}

class BatchSum {
 public:
  BatchSum(const std::vector<const Claims*>& claims, std::vector<std::vector<Scalar>> weights, unsigned threads)
      : claims_(claims), weights_(std::move(weights)), threads_(threads) {}

  // Whether the weighted sum of the records idx[lo, hi) is the identity.
  // The records are split into one group per thread; each group merges its
  // equal points and sums on its own, and the partial sums are added.
  bool is_identity(const std::vector<std::size_t>& idx, std::size_t lo, std::size_t hi) const {
    const std::size_t n = hi - lo;
    const std::size_t groups = std::min<std::size_t>(std::max(1u, threads_), n);
    std::vector<ProjPoint> partial(groups);
    parallel_for(groups, threads_, [&](std::size_t g) {
      partial[g] = group_sum(idx, lo + n * g / groups, lo + n * (g + 1) / groups);
    });
    ProjPoint total = ProjPoint::identity();
    for (const ProjPoint& p : partial) total = total.add(p);
    return total.is_identity();
  }

 private:
  ProjPoint group_sum(const std::vector<std::size_t>& idx, std::size_t lo, std::size_t hi) const {
    std::unordered_map<PointKey, std::size_t, PointKeyHash> where;
    std::vector<Scalar> scalars;
    std::vector<Point> points;
    for (std::size_t a = lo; a < hi; ++a) {
      const std::size_t r = idx[a];
      const Claims& c = *claims_[r];
      for (std::size_t q = 0; q < c.equations.size(); ++q) {
        const Equation& e = c.equations[q];
        const Scalar& w = weights_[r][q];
        for (std::size_t t = 0; t < e.points.size() && t < e.scalars.size(); ++t) {
          const Point& p = e.points[t];
          if (p.infinity) continue;
          const Scalar s = w.mul(e.scalars[t]);
          auto [it, fresh] = where.try_emplace(key_of(p), points.size());
          if (fresh) {
            points.push_back(p);
            scalars.push_back(s);
          } else {
            scalars[it->second].add_assign(s);
          }
        }
      }
    }
    return msm_vartime(scalars.data(), points.data(), points.size());
  }

  const std::vector<const Claims*>& claims_;
  std::vector<std::vector<Scalar>> weights_;
  unsigned threads_;
};

// Settles the records idx[lo, hi). known_bad: their sum is already known
// not to be the identity.
void resolve(const BatchSum& sum, const std::vector<const Claims*>& claims, const std::vector<std::size_t>& idx,
             std::size_t lo, std::size_t hi, bool known_bad, std::vector<bool>& verdicts) {
  if (hi - lo <= 2) {
    // One or two records: checking them alone costs no more than a sum.
    for (std::size_t a = lo; a < hi; ++a) verdicts[idx[a]] = claims[idx[a]]->holds_vartime();
    return;
  }
  if (!known_bad && sum.is_identity(idx, lo, hi)) {
    for (std::size_t a = lo; a < hi; ++a) verdicts[idx[a]] = true;
    return;
  }
  const std::size_t mid = lo + (hi - lo) / 2;
  if (sum.is_identity(idx, lo, mid)) {
    for (std::size_t a = lo; a < mid; ++a) verdicts[idx[a]] = true;
    // The whole is not the identity and the left half is: the right half
    // holds the failure.
    resolve(sum, claims, idx, mid, hi, true, verdicts);
  } else {
    resolve(sum, claims, idx, lo, mid, true, verdicts);
    resolve(sum, claims, idx, mid, hi, false, verdicts);
  }
}

}  // namespace

std::vector<bool> verify_batch_vartime(const std::vector<const Claims*>& claims, unsigned threads) {
  std::vector<bool> verdicts(claims.size(), false);
  // Decided records take their verdict; the rest are summed.
  std::vector<std::size_t> summed;
  std::size_t equations = 0;
  for (std::size_t i = 0; i < claims.size(); ++i) {
    const Claims& c = *claims[i];
    if (!c.checks_pass) continue;
    if (c.equations.empty()) {
      verdicts[i] = true;
      continue;
    }
    summed.push_back(i);
    equations += c.equations.size();
  }
  if (summed.size() <= 2) {
    // One or two records: alone, as resolve would check them, without
    // drawing weights.
    for (std::size_t i : summed) verdicts[i] = claims[i]->holds_vartime();
    return verdicts;
  }

  std::vector<unsigned char> bytes(equations * kWeightBytes);
  if (!fill_random(bytes.data(), bytes.size())) {
    // No weights without randomness: every record alone, still exact.
    std::vector<char> alone(summed.size());
    parallel_for(summed.size(), threads, [&](std::size_t a) { alone[a] = claims[summed[a]]->holds_vartime(); });
    for (std::size_t a = 0; a < summed.size(); ++a) verdicts[summed[a]] = alone[a] != 0;
    return verdicts;
  }
  std::vector<std::vector<Scalar>> weights(claims.size());
  const unsigned char* next = bytes.data();
  for (std::size_t i : summed) {
    for (std::size_t q = 0; q < claims[i]->equations.size(); ++q, next += kWeightBytes)
      weights[i].push_back(weight_from(next));
  }
  const BatchSum sum(claims, std::move(weights), threads);
  resolve(sum, claims, summed, 0, summed.size(), false, verdicts);
  return verdicts;
}

}  // namespace vemo::proofs
