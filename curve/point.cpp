#include "point.hpp"

#include <memory>

#include "bn254.hpp"

namespace vemo::curve {

namespace {

// 3b·t by additions: 3b = 9 = 8 + 1.
static_assert(bn254::kB3 == 9, "mul_b3 adds 8t + t");
inline Fp mul_b3(const Fp& t) {
  Fp t2 = t + t;
  Fp t4 = t2 + t2;
  Fp t8 = t4 + t4;
  return t8 + t;
}

const Fp& fp_b() {
  static const Fp b = Fp::from_u64(bn254::kB);
  return b;
}

Fp fp_from_be(const unsigned char* b) { return Fp::from_be_bytes_reduce(b); }

// y <= p - y, comparing canonical values (public data).
bool y_is_small_vartime(const Fp& y) {
  Limbs yr = y.to_raw();
  Limbs ny = (-y).to_raw();
  Limbs d;
  u64 borrow = limbs::sub(d, ny, yr);  // borrow set when p - y < y
  return borrow == 0;
}

}  // namespace

const Bn254Point& Bn254Point::generator() {
  static const Bn254Point g{"base_point", Fp::from_raw_reduce(bn254::kGx), Fp::from_raw_reduce(bn254::kGy), false};
  return g;
}

bool Bn254Point::on_curve() const {
  if (infinity) return true;
  return y.square() == x.square() * x + fp_b();
}

Result<Bn254Point, PointFromCoordsError> Bn254Point::from_coords(const BigInt& xb, const BigInt& yb) {
  unsigned char bx[32], by[32];
  BigInt::modulus(xb, Bn254Scalar::group_order()).to_bytes32(bx);
  BigInt::modulus(yb, Bn254Scalar::group_order()).to_bytes32(by);
  Bn254Point p{"point_from_coords", fp_from_be(bx), fp_from_be(by), false};
  if (!p.on_curve()) return Err{PointFromCoordsError{PointFromCoordsError::NotOnCurve}};
  // The group has cofactor 1: a point on the curve always has order r, so
  // the subgroup test (multiplying by r) cannot fail and is skipped.
  return p;
}

BigInt Bn254Point::x_coord() const {
  unsigned char b[32];
  x.to_be_bytes(b);
  return BigInt::from_bytes(b, 32);
}

BigInt Bn254Point::y_coord() const {
  unsigned char b[32];
  y.to_be_bytes(b);
  return BigInt::from_bytes(b, 32);
}

Bn254Point Bn254Point::neg() const {
  Bn254Point r = *this;
  r.y = -y;
  return r;
}

Bn254Point Bn254Point::add_point(const Bn254Point& o) const {
  return ProjPoint::from_affine(*this).add_any_affine(o).to_affine("add_point");
}

Bn254Point Bn254Point::sub_point(const Bn254Point& o) const {
  return ProjPoint::from_affine(*this).add_any_affine(o.neg()).to_affine("sub_point");
}

Bn254Point Bn254Point::add_point_vartime(const Bn254Point& o) const {
  return ProjPoint::from_affine(*this).add_any_affine(o).to_affine_vartime("add_point");
}

Bn254Point Bn254Point::sub_point_vartime(const Bn254Point& o) const {
  return ProjPoint::from_affine(*this).add_any_affine(o.neg()).to_affine_vartime("sub_point");
}

std::array<unsigned char, 32> Bn254Point::serialize_compressed() const {
  VEMO_VERIFY_CHECK(valid_vartime(), "affine point on the curve or the canonical identity");
  std::array<unsigned char, 32> out{};
  if (infinity) {
    out[0] = 0x40;
    return out;
  }
  x.to_be_bytes(out.data());
  if (!y_is_small_vartime(y)) out[0] |= 0x80;
  return out;
}

std::array<unsigned char, 64> Bn254Point::serialize_uncompressed() const {
  VEMO_VERIFY_CHECK(valid_vartime(), "affine point on the curve or the canonical identity");
  std::array<unsigned char, 64> out{};
  if (infinity) {
    out[0] = 0x40;
    return out;
  }
  y.to_be_bytes(out.data());
  x.to_be_bytes(out.data() + 32);
  return out;
}

Result<Bn254Point, DeserializationError> Bn254Point::deserialize(const unsigned char* b, std::size_t n) {
  if (n != 32 && n != 64) return Err{DeserializationError{}};
  unsigned char head[32];
  std::copy(b, b + 32, head);
  const bool greater = head[0] & 0x80;
  const bool inf = head[0] & 0x40;
  if (greater && inf) return Err{DeserializationError{}};
  head[0] &= 0x3f;
  if (n == 32) {
    Limbs xr = limbs::from_be(head);
    if (!limbs::lt_flag(xr, FpParams::MOD)) return Err{DeserializationError{}};
    if (inf) return Bn254Point{"deserialized point", Fp{}, Fp{}, true};
    Fp x = Fp::from_raw_reduce(xr);
    Fp rhs = x.square() * x + fp_b();
    Fp y = rhs.pow_public_exp(bn254::kSqrtExp);
    if (y.square() != rhs) return Err{DeserializationError{}};
    if (y_is_small_vartime(y) == greater) y = -y;
    return Bn254Point{"deserialized point", x, y, false};
  }
  Limbs yr = limbs::from_be(head);
  Limbs xr = limbs::from_be(b + 32);
  if (!limbs::lt_flag(xr, FpParams::MOD)) return Err{DeserializationError{}};
  if (!limbs::lt_flag(yr, FpParams::MOD)) return Err{DeserializationError{}};
  if (inf) return Bn254Point{"deserialized point", Fp{}, Fp{}, true};
  Bn254Point p{"deserialized point", Fp::from_raw_reduce(xr), Fp::from_raw_reduce(yr), false};
  if (!p.on_curve()) return Err{DeserializationError{}};
  // Cofactor 1: on the curve implies order r, so no subgroup multiplication.
  return p;
}

namespace {
// "infinity" or "(x, y)" in decimal. Built by appending, which keeps GCC 12
// from a false -Wrestrict report on literal + string.
std::string ge_text(const Bn254Point& p) {
  if (p.infinity) return "infinity";
  std::string s = "(";
  s.append(p.x_coord().to_dec()).append(", ").append(p.y_coord().to_dec()).append(")");
  return s;
}
}  // namespace

std::string Bn254Point::debug_text() const {
  std::string s = "Bn254Point { purpose: \"";
  s.append(purpose).append("\", ge: ").append(ge_text(*this)).append(" }");
  return s;
}

std::string Bn254Point::debug_text_pretty() const {
  std::string s = "Bn254Point {\n    purpose: \"";
  s.append(purpose).append("\",\n    ge: ").append(ge_text(*this)).append(",\n}");
  return s;
}

// ---- projective arithmetic -------------------------------------------------

ProjPoint ProjPoint::from_affine(const Bn254Point& p) {
  VEMO_VERIFY_CHECK(p.valid_vartime(), "affine point on the curve or the canonical identity");
  ProjPoint r;
  r.X = p.x;
  r.Y = p.y;
  r.Z = Fp::one();
  // The identity (0, 0) becomes (0 : 1 : 0) without a branch.
  const u64 inf = p.infinity ? 1 : 0;
  r.Y.cmov(Fp::one(), inf);
  r.Z.cmov(Fp::zero(), inf);
  return r;
}

// Algorithm 7 of Renes-Costello-Batina (a = 0).
ProjPoint ProjPoint::add(const ProjPoint& q) const {
  Fp t0 = X * q.X, t1 = Y * q.Y, t2 = Z * q.Z;
  Fp t3 = (X + Y) * (q.X + q.Y);
  Fp t4 = t0 + t1;
  t3 = t3 - t4;
  t4 = (Y + Z) * (q.Y + q.Z);
  Fp X3 = t1 + t2;
  t4 = t4 - X3;
  X3 = (X + Z) * (q.X + q.Z);
  Fp Y3 = t0 + t2;
  Y3 = X3 - Y3;
  X3 = t0 + t0;
  t0 = X3 + t0;
  t2 = mul_b3(t2);
  Fp Z3 = t1 + t2;
  t1 = t1 - t2;
  Y3 = mul_b3(Y3);
  X3 = t4 * Y3;
  t2 = t3 * t1;
  X3 = t2 - X3;
  Y3 = Y3 * t0;
  t1 = t1 * Z3;
  Y3 = t1 + Y3;
  t0 = t0 * t3;
  Z3 = Z3 * t4;
  Z3 = Z3 + t0;
  return ProjPoint{X3, Y3, Z3};
}

// Algorithm 8 (mixed, Z2 = 1): complete as long as q is not the identity.
ProjPoint ProjPoint::add_affine(const Bn254Point& q) const {
  Fp t0 = X * q.x, t1 = Y * q.y;
  Fp t3 = (q.x + q.y) * (X + Y);
  Fp t4 = t0 + t1;
  t3 = t3 - t4;
  t4 = q.y * Z + Y;
  Fp Y3 = q.x * Z + X;
  Fp X3 = t0 + t0;
  t0 = X3 + t0;
  Fp t2 = mul_b3(Z);
  Fp Z3 = t1 + t2;
  t1 = t1 - t2;
  Y3 = mul_b3(Y3);
  X3 = t4 * Y3;
  t2 = t3 * t1;
  X3 = t2 - X3;
  Y3 = Y3 * t0;
  t1 = t1 * Z3;
  Y3 = t1 + Y3;
  t0 = t0 * t3;
  Z3 = Z3 * t4;
  Z3 = Z3 + t0;
  return ProjPoint{X3, Y3, Z3};
}

ProjPoint ProjPoint::add_any_affine(const Bn254Point& q) const {
  VEMO_VERIFY_CHECK(q.valid_vartime(), "affine point on the curve or the canonical identity");
  ProjPoint r = add_affine(q);
  r.cmov(*this, q.infinity ? 1 : 0);
  return r;
}

// Algorithm 9 (a = 0).
ProjPoint ProjPoint::dbl() const {
  Fp t0 = Y.square();
  Fp Z3 = t0 + t0;
  Z3 = Z3 + Z3;
  Z3 = Z3 + Z3;
  Fp t1 = Y * Z;
  Fp t2 = Z.square();
  t2 = mul_b3(t2);
  Fp X3 = t2 * Z3;
  Fp Y3 = t0 + t2;
  Z3 = t1 * Z3;
  t1 = t2 + t2;
  t2 = t1 + t2;
  t0 = t0 - t2;
  Y3 = t0 * Y3;
  Y3 = X3 + Y3;
  t1 = X * Y;
  X3 = t0 * t1;
  X3 = X3 + X3;
  return ProjPoint{X3, Y3, Z3};
}

bool ProjPoint::eq_vartime(const ProjPoint& q) const {
  const bool zi = is_identity(), qi = q.is_identity();
  if (zi || qi) return zi && qi;
  return X * q.Z == q.X * Z && Y * q.Z == q.Y * Z;
}

Bn254Point ProjPoint::to_affine(const char* purpose) const {
  Fp zi = Z.inverse();  // 0 for the identity
  Bn254Point r{purpose, X * zi, Y * zi, false};
  const u64 inf = Z.is_zero_flag();
  r.x.cmov(Fp::zero(), inf);
  r.y.cmov(Fp::zero(), inf);
  r.infinity = inf != 0;
  VEMO_VERIFY_CHECK(r.valid_vartime(), "affine point on the curve or the canonical identity");
  return r;
}

Bn254Point ProjPoint::to_affine_vartime(const char* purpose) const {
  if (Z.is_zero()) return Bn254Point{purpose, Fp{}, Fp{}, true};
  const Fp zi = inverse_vartime(Z);
  Bn254Point r{purpose, X * zi, Y * zi, false};
  VEMO_VERIFY_CHECK(r.valid_vartime(), "affine point on the curve or the canonical identity");
  return r;
}

Fp inverse_vartime(const Fp& a) { return a.inverse_vartime(); }

void batch_to_affine(const ProjPoint* in, std::size_t n, Bn254Point* out, const char* purpose) {
  std::unique_ptr<Fp[]> zs(new Fp[n]);
  for (std::size_t i = 0; i < n; ++i) zs[i] = in[i].Z;
  batch_inverse(zs.get(), n);
  // batch_inverse leaves 0 for a zero Z, so the identity comes out as
  // (0, 0) by itself and only its flag is set; no branch per element.
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = Bn254Point{purpose, in[i].X * zs[i], in[i].Y * zs[i], in[i].Z.is_zero_flag() != 0};
    VEMO_VERIFY_CHECK(out[i].valid_vartime(), "affine point on the curve or the canonical identity");
  }
}

}  // namespace vemo::curve
