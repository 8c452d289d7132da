// emodul-prepare: turns a testing machine's export into a measurement file that
// emodul reads as intended. Exit status 0, 1 for an export it refuses or a file
// it cannot read or write, 2 for a wrong command line.

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "failure/write_fully.hpp"
#include "prepare/prepared_file.hpp"
#include "prepare/prepare_options.hpp"
#include "prepare/whole_files.hpp"

namespace {

constexpr std::string_view kProgram = "emodul-prepare: ";

void say(std::string_view text) {
    std::string line(kProgram);
    line += text;
    line += '\n';
    recio::write_fully(2, line);
}

std::string display_name(const std::string& path) {
    return path == "-" ? std::string("standard input") : path;
}

int run(std::span<const std::string_view> arguments) {
    const auto parsed = prepare::parse_options(arguments);
    if (const auto* error = std::get_if<prepare::UsageError>(&parsed)) {
        say(error->message);
        recio::write_fully(2, "Try 'emodul-prepare --help' for more information.\n");
        return 2;
    }
    const auto& options = std::get<prepare::PrepareOptions>(parsed);
    if (options.help) {
        return recio::write_fully(1, prepare::kUsage) == 0 ? 0 : 1;
    }
    const std::string name = display_name(options.export_path);
    const auto content = prepare::read_whole_file(options.export_path);
    if (const int* error = std::get_if<int>(&content)) {
        say("cannot read '" + name + "': " + std::strerror(*error));
        return 1;
    }
    const auto prepared = prepare::prepare_export(std::get<std::string>(content), options);
    if (const auto* refusal = std::get_if<prepare::ExportError>(&prepared)) {
        std::string where = name;
        if (refusal->line != 0) {
            where += ':';
            where += std::to_string(refusal->line);
        }
        say(where + ": " + refusal->message);
        return 1;
    }
    const auto& file = std::get<prepare::PreparedFile>(prepared);
    if (options.output_path.empty() || options.output_path == "-") {
        if (const int error = recio::write_fully(1, file.text); error != 0) {
            say(std::string("cannot write standard output: ") + std::strerror(error));
            return 1;
        }
    } else if (const int error = prepare::write_whole_file(options.output_path, file.text); error != 0) {
        say("cannot write '" + options.output_path + "': " + std::strerror(error));
        return 1;
    }
    for (const std::string& line : file.summary) {
        say(name + ": " + line);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    try {
        return run(arguments);
    } catch (const std::bad_alloc&) {
        say("out of memory");
        return 1;
    }
}
