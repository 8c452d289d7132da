#include "units/name_rule.hpp"

#include "units/unit_connection.hpp"

namespace recio {

std::optional<std::string> resolve_file_name(std::string_view field, const NameContext& context) {
    std::string_view name = field.substr(0, kMaxFileNameLength);
    const std::size_t first = name.find_first_not_of(' ');
    name = first == std::string_view::npos ? std::string_view{} : name.substr(first);
    const std::size_t last = name.find_last_not_of(std::string_view(" \0", 2));
    name = last == std::string_view::npos ? std::string_view{} : name.substr(0, last + 1);

    std::string resolved;
    if (name.starts_with("~/")) {
        resolved.append(context.home.value_or(std::string_view{}));
        name.remove_prefix(1);
    }
    resolved.append(name);
    if (!resolved.starts_with('/')) {
        std::string directory(context.working_directory);
        if (!directory.ends_with('/')) {
            directory.push_back('/');
        }
        resolved.insert(0, directory);
    }
    if (resolved.size() > kMaxFileNameLength) {
        return std::nullopt;
    }
    return resolved;
}

}  // namespace recio
