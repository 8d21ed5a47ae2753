// What a verifier must confirm about one proof record, written once per
// proof and evaluated two ways: one record at a time (each equation as its
// own variable-time sum), or in a batch, where every equation of every
// record is scaled by a fresh random weight and all are summed into one
// multi-scalar sum.
//
// A record's claims are the checks that are not linear in group elements,
// already decided when the claims are made (a stored challenge equal to the
// recomputed one, a hash comparison, distinct bases, an expected public
// point), and the linear equations Σ scalars[i]·points[i] = O. Everything
// here is public data.
#pragma once

#include <vector>

#include "curve/msm_vartime.hpp"
#include "curve/point.hpp"
#include "curve/scalar.hpp"

namespace vemo::proofs {

// The claim Σ scalars[i]·points[i] = O.
struct Equation {
  std::vector<curve::Scalar> scalars;
  std::vector<curve::Point> points;

  void term(const curve::Scalar& s, const curve::Point& p) {
    scalars.push_back(s);
    points.push_back(p);
  }
  bool holds_vartime() const { return curve::msm_vartime(scalars.data(), points.data(), scalars.size()).is_identity(); }
};

struct Claims {
  bool checks_pass = true;          // the non-linear checks, decided
  std::vector<Equation> equations;  // each must hold on its own

  // The verdict of the record alone: every check and every equation.
  bool holds_vartime() const {
    if (!checks_pass) return false;
    for (const Equation& e : equations)
      if (!e.holds_vartime()) return false;
    return true;
  }
};

}  // namespace vemo::proofs
