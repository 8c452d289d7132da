#pragma once
// How a file name typed into a text field becomes the path that is opened and shown.

#include <optional>
#include <string>
#include <string_view>

namespace recio {

// Where the name is completed from: the home directory for "~/" and the working
// directory for relative names (both as the operating system reports them).
struct NameContext {
    std::optional<std::string_view> home;
    std::string_view working_directory;
};

// Takes at most 4096 bytes of the field, removes leading blanks and trailing
// blanks and zero bytes, replaces a leading "~" of "~/" by the home directory
// (drops it when there is none) and puts the working directory in front of a
// relative name. Nothing when the result would exceed 4096 bytes.
std::optional<std::string> resolve_file_name(std::string_view field, const NameContext& context);

}  // namespace recio
