// The x86-64 engine of the field arithmetic (field.hpp): add and subtract
// with carry by the carry-flag intrinsics, the Montgomery multiplication in
// mulx/adcx/adox assembly, and the CPUID check that decides at load time
// whether this processor runs it.
//
// Included by field.hpp on x86-64 only (VEMO_FIELD_X86_64); other targets
// use the portable C there. Everything here is constant time: fixed
// instruction streams, no branch or memory index on the values.
#pragma once

#if !defined(__x86_64__)
#error "curve/field_x86_64.hpp holds x86-64 assembly; include curve/field.hpp, which uses portable C on this target"
#endif

#include <cstdint>

#include <cpuid.h>
#include <x86intrin.h>

namespace vemo::curve {

using u64 = std::uint64_t;

// Add with carry and subtract with borrow; the carry and borrow are 0 or 1.
// The carry-flag intrinsics compile to adc/sbb chains.
inline u64 addc(u64 a, u64 b, u64& carry) {
  unsigned long long out;
  carry = _addcarry_u64((unsigned char)carry, a, b, &out);
  return out;
}
inline u64 subb(u64 a, u64 b, u64& borrow) {
  unsigned long long out;
  borrow = _subborrow_u64((unsigned char)borrow, a, b, &out);
  return out;
}

// Montgomery multiplication with mulx/adcx/adox: two independent carry
// chains per row. The five accumulator registers rotate through the rows
// so no limb is moved; after four rows the result sits in t4, t0, t1, t2
// (t3 is zero) and is below 2m. Constant time: a fixed instruction stream.
__attribute__((always_inline)) inline void mont_mul_adx(u64 out[4], const u64* a, const u64* b, const u64* q) {
  // Eleven registers: five accumulators, two product halves, rax, rdx and
  // the pointers to a and b, addressed with fixed offsets. Memory operands
  // for a and b would let the compiler spend two registers on each address,
  // which a build that keeps the frame pointer (every sanitizer build)
  // cannot afford. The modulus and its inverse are one constant array,
  // addressed relative to the instruction pointer.
  u64 t0 = 0, t1 = 0, t2 = 0, t3 = 0, t4 = 0, lo, hi;
  asm(
      "movq 0(%[b]), %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq 0(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "mulxq 8(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "mulxq 16(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq 24(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "movq $0, %[t4]\n\t"
      "adcxq %[hi], %[t4]\n\t"
      "adoxq %%rax, %[t4]\n\t"
      "movq %[t0], %%rdx\n\t"
      "imulq %[inv], %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq %[q0], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "mulxq %[q1], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "mulxq %[q2], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq %[q3], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t4]\n\t"
      "adoxq %%rax, %[t4]\n\t"
      "movq 8(%[b]), %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq 0(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "mulxq 8(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq 16(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t4]\n\t"
      "mulxq 24(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t4]\n\t"
      "movq $0, %[t0]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "adoxq %%rax, %[t0]\n\t"
      "movq %[t1], %%rdx\n\t"
      "imulq %[inv], %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq %[q0], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "mulxq %[q1], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq %[q2], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t4]\n\t"
      "mulxq %[q3], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t4]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "adoxq %%rax, %[t0]\n\t"
      "movq 16(%[b]), %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq 0(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq 8(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t4]\n\t"
      "mulxq 16(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t4]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "mulxq 24(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "movq $0, %[t1]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "adoxq %%rax, %[t1]\n\t"
      "movq %[t2], %%rdx\n\t"
      "imulq %[inv], %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq %[q0], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq %[q1], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t4]\n\t"
      "mulxq %[q2], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t4]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "mulxq %[q3], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "adoxq %%rax, %[t1]\n\t"
      "movq 24(%[b]), %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq 0(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t4]\n\t"
      "mulxq 8(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t4]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "mulxq 16(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "mulxq 24(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "movq $0, %[t2]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "adoxq %%rax, %[t2]\n\t"
      "movq %[t3], %%rdx\n\t"
      "imulq %[inv], %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq %[q0], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t4]\n\t"
      "mulxq %[q1], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t4]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "mulxq %[q2], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "mulxq %[q3], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "adoxq %%rax, %[t2]\n\t"
      : [t0] "+&r"(t0), [t1] "+&r"(t1), [t2] "+&r"(t2), [t3] "+&r"(t3), [t4] "+&r"(t4), [lo] "=&r"(lo), [hi] "=&r"(hi)
      : [a] "r"(a), [b] "r"(b), [q0] "m"(q[0]), [q1] "m"(q[1]), [q2] "m"(q[2]), [q3] "m"(q[3]), [inv] "m"(q[4])
#ifdef __clang__
      // clang gives every memory operand a register of its own, which it
      // does not have here: a memory clobber orders the stores instead.
      : "rax", "rdx", "cc", "memory");
#else
        // What the asm reads through the two pointers, so stores to it stay
        // before it (GCC addresses these through the same registers).
        , "m"(*(const u64(*)[4])a), "m"(*(const u64(*)[4])b)
      : "rax", "rdx", "cc");
#endif
  out[0] = t4;
  out[1] = t0;
  out[2] = t1;
  out[3] = t2;
  (void)t3;
}

// Montgomery squaring with mulx/adcx/adox: the full 512-bit square first
// (six cross products, doubled, plus the four squares: ten mulx against the
// product's sixteen), then the Montgomery reduction of its low half alone,
// and the high half added last. The low half L < 2^256 reduces to
// (L + M m) / 2^256 <= m; the high half is below a^2 / 2^256, under m / 4
// for a below m and under m for a below 2m (4m < 2^256), so the sum is below
// 2m like the product's. The reduction of the low half needs only the
// square's first limbs, so it overlaps the rest of the square. Constant
// time: a fixed instruction stream.
//
// q holds m, -m^-1 mod 2^64 and the high word of -m^-1 mod 2^128.
__attribute__((always_inline)) inline void mont_sqr_adx(u64 out[4], const u64* a, const u64* q) {
  // Twelve registers, as few as a build that keeps the frame pointer (every
  // sanitizer build) can give: t0..t6, two product halves, z (zero for the
  // square, the second multiplier for the reduction), rdx and the pointer to
  // a, which holds t7 once the last limb is read. No zero register in the
  // reduction: test clears the carry flags. The modulus and its inverses are
  // addressed relative to the instruction pointer.
  u64 t0, t1, t2, t3, t4, t5, t6, lo, hi, z;
  const u64* ap = a;
  asm(
      // Cross products a_i a_j (i < j) into t1..t6; z is zero.
      "movq 0(%[a]), %%rdx\n\t"
      "mulxq 8(%[a]), %[t1], %[t2]\n\t"
      "mulxq 16(%[a]), %[lo], %[t3]\n\t"
      "mulxq 24(%[a]), %[hi], %[t4]\n\t"
      "xorl %k[z], %k[z]\n\t"
      "adcxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "adcxq %[z], %[t4]\n\t"
      "movq 8(%[a]), %%rdx\n\t"
      "mulxq 16(%[a]), %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adoxq %[hi], %[t4]\n\t"
      "mulxq 24(%[a]), %[lo], %[t5]\n\t"
      "adcxq %[lo], %[t4]\n\t"
      "adcxq %[z], %[t5]\n\t"
      "adoxq %[z], %[t5]\n\t"
      "movq 16(%[a]), %%rdx\n\t"
      "mulxq 24(%[a]), %[lo], %[t6]\n\t"
      "addq %[lo], %[t5]\n\t"
      "adcq %[z], %[t6]\n\t"
      // Doubled (carry chain) with the squares a_i^2 added (overflow chain).
      "movq 0(%[a]), %%rdx\n\t"
      "mulxq %%rdx, %[t0], %[hi]\n\t"
      "testq %[z], %[z]\n\t"
      "adcxq %[t1], %[t1]\n\t"
      "adoxq %[hi], %[t1]\n\t"
      "movq 8(%[a]), %%rdx\n\t"
      "mulxq %%rdx, %[lo], %[hi]\n\t"
      "adcxq %[t2], %[t2]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[t3], %[t3]\n\t"
      "adoxq %[hi], %[t3]\n\t"
      "movq 16(%[a]), %%rdx\n\t"
      "mulxq %%rdx, %[lo], %[hi]\n\t"
      "adcxq %[t4], %[t4]\n\t"
      "adoxq %[lo], %[t4]\n\t"
      "adcxq %[t5], %[t5]\n\t"
      "adoxq %[hi], %[t5]\n\t"
      // The last limb read, the pointer register holds t7 from here on.
      "movq 24(%[a]), %%rdx\n\t"
      "mulxq %%rdx, %[lo], %[a]\n\t"
      "adcxq %[t6], %[t6]\n\t"
      "adoxq %[lo], %[t6]\n\t"
      "adcxq %[z], %[a]\n\t"
      "adoxq %[z], %[a]\n\t"
      // Reduction of t0..t3. Each row clears its low limb, whose register then
      // takes the next limb up: that register is zero when the row's two
      // pending carries reach it (adox of itself, then adcx of the high word).
      // The multipliers come two at a time, m = (t_i + 2^64 t_i+1) (-m^-1) mod
      // 2^128 (rdx the low word, z the high), so the second row of a pair does
      // not wait for the first. test clears both carry flags.
      "movq %[t0], %%rdx\n\t"
      "mulxq %[inv], %%rdx, %[hi]\n\t"
      "movq %[t0], %[z]\n\t"
      "imulq %[inv1], %[z]\n\t"
      "addq %[hi], %[z]\n\t"
      "movq %[t1], %[hi]\n\t"
      "imulq %[inv], %[hi]\n\t"
      "addq %[hi], %[z]\n\t"
      "testq %[lo], %[lo]\n\t"
      "mulxq %[q0], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "mulxq %[q1], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "mulxq %[q2], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq %[q3], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adoxq %[t0], %[t0]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "movq %[z], %%rdx\n\t"
      "testq %[lo], %[lo]\n\t"
      "mulxq %[q0], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "mulxq %[q1], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq %[q2], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "mulxq %[q3], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adoxq %[t1], %[t1]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "movq %[t2], %%rdx\n\t"
      "mulxq %[inv], %%rdx, %[hi]\n\t"
      "movq %[t2], %[z]\n\t"
      "imulq %[inv1], %[z]\n\t"
      "addq %[hi], %[z]\n\t"
      "movq %[t3], %[hi]\n\t"
      "imulq %[inv], %[hi]\n\t"
      "addq %[hi], %[z]\n\t"
      "testq %[lo], %[lo]\n\t"
      "mulxq %[q0], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      "mulxq %[q1], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "mulxq %[q2], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "mulxq %[q3], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adoxq %[t2], %[t2]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "movq %[z], %%rdx\n\t"
      "testq %[lo], %[lo]\n\t"
      "mulxq %[q0], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t3]\n\t"
      "adcxq %[hi], %[t0]\n\t"
      "mulxq %[q1], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t0]\n\t"
      "adcxq %[hi], %[t1]\n\t"
      "mulxq %[q2], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t1]\n\t"
      "adcxq %[hi], %[t2]\n\t"
      "mulxq %[q3], %[lo], %[hi]\n\t"
      "adoxq %[lo], %[t2]\n\t"
      "adoxq %[t3], %[t3]\n\t"
      "adcxq %[hi], %[t3]\n\t"
      // The reduced low half (t0..t3) plus the high half (t4..t6, t7).
      "addq %[t4], %[t0]\n\t"
      "adcq %[t5], %[t1]\n\t"
      "adcq %[t6], %[t2]\n\t"
      "adcq %[a], %[t3]\n\t"
      : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5),
        [t6] "=&r"(t6), [lo] "=&r"(lo), [hi] "=&r"(hi), [z] "=&r"(z), [a] "+&r"(ap)
      : [q0] "m"(q[0]), [q1] "m"(q[1]), [q2] "m"(q[2]), [q3] "m"(q[3]), [inv] "m"(q[4]), [inv1] "m"(q[5])
#ifdef __clang__
      : "rdx", "cc", "memory");
#else
        , "m"(*(const u64(*)[4])a)
      : "rdx", "cc");
#endif
  out[0] = t0;
  out[1] = t1;
  out[2] = t2;
  out[3] = t3;
}

// Whether this processor has mulx (BMI2) and adcx/adox (ADX): CPUID leaf 7,
// read directly (clang's __builtin_cpu_supports does not know "adx").
inline bool cpu_has_bmi2_adx() {
  unsigned a, b, c, d;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return (b & bit_BMI2) && (b & bit_ADX);
}
inline const bool kHaveAdx = cpu_has_bmi2_adx();

}  // namespace vemo::curve
