#pragma once
// The export comes in whole and the prepared file goes out whole: a refused
// export writes nothing, and a failed write leaves no half file behind.

#include <string>
#include <string_view>
#include <variant>

namespace prepare {

// The whole content of `path` ("-": standard input), or the error number.
std::variant<std::string, int> read_whole_file(const std::string& path);

// Writes `bytes` as the new content of `path`. A regular file (or a new one) is
// written beside it under a temporary name and then renamed over it, so that
// it holds either its old or its new content; a device, pipe or symbolic link
// is written through. Returns 0 or the error number.
int write_whole_file(const std::string& path, std::string_view bytes);

}  // namespace prepare
