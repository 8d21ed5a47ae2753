// The strict suite's byte forms (docs/strict.md, "Encodings") and its error
// type. Decoding is strict: exactly one encoding per value, so a proof has
// exactly one byte string. Every failure is an Error whose message names
// the item and what is wrong with it; the Python surface raises it as
// ValueError. Decoding reads public data only.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "curve/point.hpp"
#include "curve/result.hpp"
#include "curve/scalar.hpp"

namespace vemo::strict {

// A failure of the suite: malformed bytes, a refused statement. Never a
// panic.
struct Error {
  std::string message;
};

template <class T>
using Expected = Result<T, Error>;

inline Err<Error> error(std::string message) { return Err{Error{std::move(message)}}; }

inline constexpr std::size_t kPointBytes = 32;
inline constexpr std::size_t kScalarBytes = 32;

enum class Identity { refused, allowed };

// 32 bytes: x big-endian, 0x80 on the first byte for the larger y; the
// identity as 0x40 and 31 zero bytes.
std::array<unsigned char, kPointBytes> encode_point(const curve::Point& p);
std::array<unsigned char, kScalarBytes> encode_scalar(const curve::Scalar& s);

// `what` names the item in messages ("proof: A", "key 2").
Expected<curve::Point> decode_point_vartime(std::string_view what, const unsigned char* b, std::size_t n,
                                            Identity identity);
Expected<curve::Scalar> decode_scalar_vartime(std::string_view what, const unsigned char* b, std::size_t n);

// A point of a statement given by the caller: refused when it is the
// identity and the statement has no meaning for it.
Expected<curve::Point> checked_point(std::string_view what, const curve::Point& p, Identity identity);

// Reads fixed-size items off a proof's bytes, front to back; finish()
// refuses trailing bytes. The proof's length is known from its parameters
// before reading, so a wrong length is refused first, with both lengths.
class ProofReader {
 public:
  ProofReader(std::string_view kind, std::string_view bytes) : kind_(kind), bytes_(bytes) {}
  Expected<bool> expect_length(std::size_t n) const;
  Expected<curve::Point> point(std::string_view what);
  Expected<curve::Scalar> scalar(std::string_view what);

 private:
  std::string kind_;
  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace vemo::strict
