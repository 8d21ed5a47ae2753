// Bn254Point: a point of the BN254 G1 group (y^2 = x^3 + 3 over Fp, prime
// order r, cofactor 1), held in affine form.
//
// Invariants: the identity is stored as x = 0, y = 0, infinity = true, so
// every point has exactly one stored form; every other stored point lies on
// the curve (and so, the cofactor being 1, in the group of order r). The
// checking build (verify.hpp) checks them where points enter the projective
// arithmetic, come back from it, and are encoded.
// Arithmetic runs on ProjPoint, homogeneous projective coordinates with the
// complete addition formulas of Renes, Costello and Batina (2016) for a = 0:
// one formula covers doubling, the identity and inverse points, so adding
// needs no branch, which is what makes the constant-time multiplication
// simple. Results go back to affine with one inversion.
//
// The multiplication engines have headers of their own: scalar_mul.hpp
// (secret scalars, constant time), fixed_base.hpp (secret scalars on bases
// used again and again, constant time) and msm_vartime.hpp (public scalars
// and points, variable time).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "bigint.hpp"
#include "field.hpp"
#include "result.hpp"
#include "scalar.hpp"
#include "verify.hpp"

namespace vemo::curve {

struct ProjPoint;

// Error types of the curve layer, with their debug texts.
struct MismatchedPointOrder {
  static constexpr const char* display = "invalid point (point order \u2260 group order)";
  static constexpr const char* debug = "MismatchedPointOrder(())";
};

struct PointFromBytesError {
  enum Kind { Deserialization, InvalidPoint } kind = Deserialization;
  std::string display() const {
    return kind == Deserialization ? "failed to deserialize the point"
                                   : std::string("invalid point (") + MismatchedPointOrder::display + ")";
  }
  std::string debug() const {
    return kind == Deserialization ? "DeserializationError" : std::string("InvalidPoint(") + MismatchedPointOrder::debug + ")";
  }
};

struct PointFromCoordsError {
  enum Kind { NotOnCurve, InvalidPoint } kind = NotOnCurve;
  std::string debug() const {
    return kind == NotOnCurve ? "NotOnCurve" : std::string("InvalidPoint(") + MismatchedPointOrder::debug + ")";
  }
};

struct Bn254Point {
  const char* purpose = "zero";
  Fp x{};
  Fp y{};
  bool infinity = true;

  static const Bn254Point& generator();  // G = (1, 2), label "base_point"
  static Bn254Point zero() { return Bn254Point{}; }
  bool is_zero() const { return infinity; }

  // (x, y) from integers; each brought into [0, r) first, as scalars are.
  static Result<Bn254Point, PointFromCoordsError> from_coords(const BigInt& x, const BigInt& y);
  BigInt x_coord() const;
  BigInt y_coord() const;

  // k * this. Constant time in k (and in the point's coordinates): the
  // one-point form of the constant-time engine (scalar_mul.hpp).
  Bn254Point scalar_mul(const Bn254Scalar& k) const;
  // k * this for a public k and point: variable time, the one-term form of
  // msm_vartime (msm_vartime.hpp).
  Bn254Point scalar_mul_vartime(const Bn254Scalar& k) const;
  Bn254Point add_point(const Bn254Point& o) const;
  Bn254Point sub_point(const Bn254Point& o) const;
  Bn254Point neg() const;
  // Sums of public points (commitments, tokens, proof members): the
  // conversion back to affine takes variable time.
  Bn254Point add_point_vartime(const Bn254Point& o) const;
  Bn254Point sub_point_vartime(const Bn254Point& o) const;
  void scalar_mul_assign(const Bn254Scalar& k) { relabel(scalar_mul(k)); }
  void add_point_assign(const Bn254Point& o) { relabel(add_point(o)); }
  void sub_point_assign(const Bn254Point& o) { relabel(sub_point(o)); }
  bool eq(const Bn254Point& o) const { return infinity == o.infinity && x == o.x && y == o.y; }

  // Byte forms (big-endian; see encoding.hpp for the layout notes).
  std::array<unsigned char, 32> serialize_compressed() const;
  std::array<unsigned char, 64> serialize_uncompressed() const;
  // 32 bytes compressed or 64 bytes uncompressed, validated.
  static Result<Bn254Point, DeserializationError> deserialize(const unsigned char* b, std::size_t n);

  // Debug text: Bn254Point { purpose: "…", ge: (x, y) } (or ge: infinity).
  std::string debug_text() const;
  // The multi-line form the print functions write.
  std::string debug_text_pretty() const;

  // Whether (x, y) satisfies the curve equation (true for the identity).
  bool on_curve() const;
  // Whether the stored form keeps the invariants above: the identity as
  // (0, 0) with the flag, any other point on the curve. Variable time (the
  // checking build and tests).
  bool valid_vartime() const { return infinity ? x.is_zero() && y.is_zero() : on_curve(); }

 private:
  void relabel(const Bn254Point& p) {
    const char* keep = purpose;
    *this = p;
    purpose = keep;
  }
};

using Point = Bn254Point;

// Homogeneous projective point (X : Y : Z), identity (0 : 1 : 0).
struct ProjPoint {
  Fp X{}, Y = Fp::one(), Z{};

  static ProjPoint identity() { return ProjPoint{}; }
  static ProjPoint from_affine(const Bn254Point& p);
  ProjPoint add(const ProjPoint& q) const;          // complete
  ProjPoint add_affine(const Bn254Point& q) const;  // complete for q not the identity
  ProjPoint add_any_affine(const Bn254Point& q) const;  // complete, q may be the identity
  ProjPoint dbl() const;                             // complete
  ProjPoint neg() const { return ProjPoint{X, -Y, Z}; }
  // Constant-time conditional assignment and negation.
  void cmov(const ProjPoint& s, u64 flag) {
    X.cmov(s.X, flag);
    Y.cmov(s.Y, flag);
    Z.cmov(s.Z, flag);
  }
  void cneg(u64 flag) { Y.cmov(-Y, flag); }
  bool is_identity() const { return Z.is_zero(); }
  // Point equality without going affine (X1 Z2 = X2 Z1, Y1 Z2 = Y2 Z1).
  bool eq_vartime(const ProjPoint& q) const;
  Bn254Point to_affine(const char* purpose) const;  // constant time
  // For public points only: the inversion takes variable time.
  Bn254Point to_affine_vartime(const char* purpose) const;
};

// Converts many projective points to affine with one inversion. Constant time.
void batch_to_affine(const ProjPoint* in, std::size_t n, Bn254Point* out, const char* purpose);

// Inverse of a public field element (0 for 0), variable time.
Fp inverse_vartime(const Fp& a);

}  // namespace vemo::curve
