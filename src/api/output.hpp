// Where the diagnostic functions' texts go: the process's standard output,
// written straight to file descriptor 1, past any buffered stream.
//
// The writer is a hook. Without Python (the C++ tests, the constant-time
// check) the default writes the text alone; an extension installs, once at
// import and before any call can run, a writer that also takes the
// interpreter lock, so that the lines of concurrent calls never interleave.
#pragma once

#include <string>

namespace vemo::api {

using StdoutWriter = void (*)(const std::string& text);

// Writes all of text to fd, retrying short and interrupted writes. A closed
// descriptor loses the text, nothing else.
void write_all(int fd, const std::string& text);

// Writes text to standard output through the installed writer.
void write_stdout(const std::string& text);

// Installs the writer that write_stdout uses (null: the default). Not
// thread-safe: call it before any work runs.
void set_stdout_writer(StdoutWriter writer);

}  // namespace vemo::api
