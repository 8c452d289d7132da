#pragma once
// The one way this program writes bytes to a descriptor: records, diagnostics and
// signal lines alike. Safe inside a signal handler.

#include <cstddef>
#include <string_view>

namespace recio {

// Writes all of `bytes`, continuing after a partial write and an interrupted one.
// Returns 0, or the error number of the write that failed (EIO for a write that
// wrote nothing).
int write_fully(int descriptor, std::string_view bytes);

// The same, telling in `passed` how many bytes the system took, also when it
// then refused the rest.
int write_fully(int descriptor, std::string_view bytes, std::size_t& passed);

}  // namespace recio
