// The Python-facing work functions, grouped by area. Each takes and returns
// C++ values only; the binding layer converts arguments and results.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "values.hpp"

namespace vemo::py::work {

// Commitments, keys and tokens.
std::string curve_name();
Outcome<RandR> gen_r();
CommitV commit(std::int32_t val, const RandR& r, const GHV& gh);
Outcome<std::string> print_commit(const CommitV& com);
CommitV add(const CommitV& l, const CommitV& r);
CommitV sub(const CommitV& l, const CommitV& r);
Outcome<std::string> add_value_commits(std::string_view l, std::string_view r);
Outcome<std::string> sub_value_commits(std::string_view l, std::string_view r);
Outcome<CommitV> from_str(std::string_view s);
Outcome<TokenV> to_token_from_str(std::string_view s);
GHV gen_GH();
Outcome<PbSkV> gen_pb_sk(const GHV& gh);
PbSkV regen_pb_sk(const GHV& gh, const RandR& sk);
Outcome<RandR> to_scalar_from_str(std::string_view s);
TokenV add_token(const TokenV& l, const TokenV& r);
TokenV sub_token(const TokenV& l, const TokenV& r);
CommitV sub_commit_token(const CommitV& c, const TokenV& t);
CommitV add_commit_token(const CommitV& c, const TokenV& t);
Outcome<TokenV> to_token_from_pk(std::string_view pk, const RandR& r);
GHV gen_new_GH(const CommitV& g, const CommitV& h);
Outcome<CommitV> from_coords(std::string_view x, std::string_view y);

// Writes text to the process's standard output (file descriptor 1).
void write_stdout(const std::string& text);

}  // namespace vemo::py::work
