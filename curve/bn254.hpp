// The constants of BN254 G1 in one table: y^2 = x^3 + b over Fp, b = 3,
// a group of prime order r, cofactor 1.
//
// Every value is a canonical integer (below its modulus) in four
// little-endian 64-bit limbs, constexpr: nothing here is parsed or computed
// at run time, and code that needs a value in Montgomery form converts it
// once (Field::from_raw_reduce). tests/cpp/test_bn254.cpp derives each
// value from its definition, so a wrong digit fails a test rather than a
// proof. The header depends on nothing of the library, so that the field
// parameters (field.hpp) can refer to it.
#pragma once

#include <array>
#include <cstdint>

namespace vemo::curve::bn254 {

using Limbs = std::array<std::uint64_t, 4>;

// ---- the base field Fp ----
// p, the modulus of the coordinates.
inline constexpr Limbs kFpModulus = {0x3c208c16d87cfd47ULL, 0x97816a916871ca8dULL, 0xb85045b68181585dULL,
                                     0x30644e72e131a029ULL};
// Montgomery constants: R = 2^256 mod p (the form of 1), R^2 mod p (the
// factor that moves an integer into the form), -p^-1 mod 2^64.
inline constexpr Limbs kFpMontR = {0xd35d438dc58f0d9dULL, 0x0a78eb28f5c70b3dULL, 0x666ea36f7879462cULL,
                                   0x0e0a77c19a07df2fULL};
inline constexpr Limbs kFpMontR2 = {0xf32cfc5b538afa89ULL, 0xb5e71911d44501fbULL, 0x47ab1eff0a417ff6ULL,
                                    0x06d89f71cab8351fULL};
inline constexpr std::uint64_t kFpMontInv = 0x87d20782e4866389ULL;
// (p + 1) / 4: p = 3 mod 4, so a^((p+1)/4) is a square root of a whenever
// a has one.
inline constexpr Limbs kSqrtExp = {0x4f082305b61f3f52ULL, 0x65e05aa45a1c72a3ULL, 0x6e14116da0605617ULL,
                                   0x0c19139cb84c680aULL};

// ---- the scalar field Fr ----
// r, the group order.
inline constexpr Limbs kFrModulus = {0x43e1f593f0000001ULL, 0x2833e84879b97091ULL, 0xb85045b68181585dULL,
                                     0x30644e72e131a029ULL};
// R = 2^256 mod r, R^2 mod r, -r^-1 mod 2^64.
inline constexpr Limbs kFrMontR = {0xac96341c4ffffffbULL, 0x36fc76959f60cd29ULL, 0x666ea36f7879462eULL,
                                   0x0e0a77c19a07df2fULL};
inline constexpr Limbs kFrMontR2 = {0x1bb8e645ae216da7ULL, 0x53fe3ab1e35c59e3ULL, 0x8c49833d53bb8085ULL,
                                    0x0216d0b17f4e44a5ULL};
inline constexpr std::uint64_t kFrMontInv = 0xc2e1f593efffffffULL;
// (r - 1) / 2: scalars above it are read as negative in the GLV halves.
inline constexpr Limbs kHalfOrder = {0xa1f0fac9f8000000ULL, 0x9419f4243cdcb848ULL, 0xdc2822db40c0ac2eULL,
                                     0x183227397098d014ULL};

// ---- the curve ----
// b and 3b (the complete formulas multiply by 3b).
inline constexpr std::uint64_t kB = 3;
inline constexpr std::uint64_t kB3 = 3 * kB;
// The generator G = (1, 2).
inline constexpr Limbs kGx = {1, 0, 0, 0};
inline constexpr Limbs kGy = {2, 0, 0, 0};

// ---- the GLV endomorphism ----
// beta, a primitive cube root of unity in Fp, and lambda, one in Fr, paired
// so that (x, y) -> (beta x, y) is multiplication by lambda.
inline constexpr Limbs kBeta = {0x5763473177fffffeULL, 0xd4f263f1acdb5c4fULL, 0x59e26bcea0d48bacULL, 0};
inline constexpr Limbs kLambda = {0x8b17ea66b99c90ddULL, 0x5bfc41088d8daaa7ULL, 0xb3c4d79d41a91758ULL, 0};
// A reduced basis (a1, b1), (a2, b2) of the lattice {(x, y) : x + y lambda
// = 0 mod r}, with b1 < 0 stored as -b1 and a1 b2 - a2 b1 = r; and the
// rounding constants g1 = round(2^256 b2 / r), g2 = round(2^256 (-b1) / r)
// that find the lattice point nearest to (k, 0).
inline constexpr Limbs kGlvA1 = {0x89d3256894d213e3ULL, 0, 0, 0};
inline constexpr Limbs kGlvMinusB1 = {0x8211bbeb7d4f1128ULL, 0x6f4d8248eeb859fcULL, 0, 0};
inline constexpr Limbs kGlvA2 = {0x0be4e1541221250bULL, 0x6f4d8248eeb859fdULL, 0, 0};
inline constexpr Limbs kGlvB2 = {0x89d3256894d213e3ULL, 0, 0, 0};
inline constexpr Limbs kGlvG1 = {0xd91d232ec7e0b3d7ULL, 0x0000000000000002ULL, 0, 0};
inline constexpr Limbs kGlvG2 = {0x7a7bd9d4391eb18eULL, 0x4ccef014a773d2cfULL, 0x0000000000000002ULL, 0};

// ---- the Shallue-van de Woestijne map with Z = 1 (hash_to_curve.cpp) ----
// c1 = g(Z) = Z^3 + b, c2 = -Z / 2, c3 = the even square root of
// -g(Z) (3 Z^2), c4 = -4 g(Z) / (3 Z^2), all in Fp.
inline constexpr Limbs kSvdwC1 = {4, 0, 0, 0};
inline constexpr Limbs kSvdwC2 = {0x9e10460b6c3e7ea3ULL, 0xcbc0b548b438e546ULL, 0xdc2822db40c0ac2eULL,
                                  0x183227397098d014ULL};
inline constexpr Limbs kSvdwC3 = {0x5d8d1cc5dffffffaULL, 0x53c98fc6b36d713dULL, 0x6789af3a83522eb3ULL,
                                  0x0000000000000001ULL};
inline constexpr Limbs kSvdwC4 = {0x69602eb24829a9bdULL, 0xdd2b2385cd7b4384ULL, 0xe81ac1e7808072c9ULL,
                                  0x10216f7ba065e00dULL};

}  // namespace vemo::curve::bn254
