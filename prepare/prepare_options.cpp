#include "prepare/prepare_options.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace prepare {

const std::string_view kUsage =
    "usage: emodul-prepare --force COLUMN --displacement COLUMN [OPTION]... EXPORT\n"
    "\n"
    "Turns a testing machine's export into a measurement file for emodul: a\n"
    "running number, the force in N and the displacement in mm per line, each\n"
    "value the export's decimal text with its point moved and its sign turned.\n"
    "EXPORT - reads standard input.\n"
    "\n"
    "  --force COLUMN          the force's column: a position from 1 or a header name\n"
    "  --displacement COLUMN   the displacement's column, likewise\n"
    "  --force-unit UNIT       N (default), kN or mN\n"
    "  --displacement-unit UNIT  mm (default), um (or \xc2\xb5m) or m\n"
    "  --negate LIST           force, displacement or force,displacement: turn the sign\n"
    "  --decimal-comma         the comma is the decimal sign, not a separator\n"
    "  --window LO:HI          keep the records up to the first maximum force whose\n"
    "                          force lies in [LO, HI] percent of that maximum\n"
    "  --allow-trailing        a line without numbers after the data ends it\n"
    "  -o, --output FILE       write FILE instead of standard output (- is standard output)\n"
    "  -h, --help              this text\n";

namespace {

struct Unit {
    std::string_view name;
    std::int64_t power;  // of ten, to N or mm
};

constexpr std::array kForceUnits{Unit{"N", 0}, Unit{"kN", 3}, Unit{"mN", -3}};
// The micro sign and the Greek small mu both stand for micro.
constexpr std::array kDisplacementUnits{Unit{"mm", 0}, Unit{"um", -3}, Unit{"\xc2\xb5m", -3},
                                        Unit{"\xce\xbcm", -3}, Unit{"m", 3}};

template <std::size_t N>
std::optional<std::int64_t> unit_power(std::string_view name, const std::array<Unit, N>& units) {
    for (const Unit& unit : units) {
        if (unit.name == name) {
            return unit.power;
        }
    }
    return std::nullopt;
}

std::optional<std::string> set_column(ColumnChoice& choice, std::string_view text) {
    if (text.empty()) {
        return "a column is a position from 1 or a header name, not empty";
    }
    if (text.find_first_not_of("0123456789") != std::string_view::npos) {
        choice.position = 0;
        choice.name = std::string(text);
        return std::nullopt;
    }
    constexpr std::size_t kMostColumns = 1'000'000;
    std::size_t position = 0;
    for (const char c : text) {
        position = position * 10 + static_cast<std::size_t>(c - '0');
        if (position > kMostColumns) {
            break;
        }
    }
    if (position == 0 || position > kMostColumns) {
        return "column positions count from 1 to " + std::to_string(kMostColumns) + ", not " + std::string(text);
    }
    choice.position = position;
    choice.name.clear();
    return std::nullopt;
}

std::optional<std::string> set_negation(ExportLayout& layout, std::string_view list) {
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        if (item == "force") {
            layout.force.negate = true;
        } else if (item == "displacement") {
            layout.displacement.negate = true;
        } else {
            return "--negate takes force, displacement or force,displacement, not '" + std::string(item) + "'";
        }
        if (comma == std::string_view::npos) {
            return std::nullopt;
        }
        list.remove_prefix(comma + 1);
    }
}

class Parser {
public:
    explicit Parser(std::span<const std::string_view> arguments) : arguments_(arguments) {}

    std::variant<PrepareOptions, UsageError> parse() {
        bool options_end = false;
        std::optional<std::string_view> export_path;
        for (next_ = 0; next_ < arguments_.size();) {
            const std::string_view argument = arguments_[next_++];
            if (options_end || argument == "-" || !argument.starts_with('-')) {
                if (export_path) {
                    return UsageError{"one export at a time: '" + std::string(*export_path) + "' and '" +
                                      std::string(argument) + "'"};
                }
                export_path = argument;
                continue;
            }
            if (argument == "--") {
                options_end = true;
                continue;
            }
            if (auto error = option(argument)) {
                return UsageError{*error};
            }
        }
        if (options_.help) {
            return options_;
        }
        if (!export_path) {
            return UsageError{"no export named"};
        }
        if (!force_given_ || !displacement_given_) {
            return UsageError{"both --force and --displacement are needed"};
        }
        if (options_.layout.force.position != 0 &&
            options_.layout.force.position == options_.layout.displacement.position) {
            return UsageError{"--force and --displacement name the same column"};
        }
        options_.export_path = std::string(*export_path);
        return options_;
    }

private:
    // One option, with its value from `--name=value` or the next argument.
    std::optional<std::string> option(std::string_view argument) {
        std::string_view name = argument;
        std::optional<std::string_view> value;
        if (const std::size_t equals = argument.find('='); argument.starts_with("--") && equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        ExportLayout& layout = options_.layout;
        if (name == "-h" || name == "--help" || name == "--decimal-comma" || name == "--allow-trailing") {
            if (value) {
                return std::string(name) + " takes no value";
            }
            options_.help = options_.help || name == "-h" || name == "--help";
            layout.decimal_sign = name == "--decimal-comma" ? ',' : layout.decimal_sign;
            layout.trailing_lines_allowed = layout.trailing_lines_allowed || name == "--allow-trailing";
            return std::nullopt;
        }
        static constexpr std::array kWithValue{"--force", "--displacement", "--force-unit", "--displacement-unit",
                                               "--negate", "--window", "-o", "--output"};
        if (std::find(kWithValue.begin(), kWithValue.end(), name) == kWithValue.end()) {
            return "unknown option '" + std::string(name) + "'";
        }
        if (!value) {
            if (next_ == arguments_.size()) {
                return std::string(name) + " needs a value";
            }
            value = arguments_[next_++];
        }
        if (name == "--force" || name == "--displacement") {
            (name == "--force" ? force_given_ : displacement_given_) = true;
            return set_column(name == "--force" ? layout.force : layout.displacement, *value);
        }
        if (name == "--force-unit" || name == "--displacement-unit") {
            const bool force = name == "--force-unit";
            const auto power = force ? unit_power(*value, kForceUnits) : unit_power(*value, kDisplacementUnits);
            if (!power) {
                return std::string(name) + " takes " + (force ? "N, kN or mN" : "mm, um (\xc2\xb5m) or m") +
                       ", not '" + std::string(*value) + "'";
            }
            (force ? layout.force : layout.displacement).power = *power;
            return std::nullopt;
        }
        if (name == "--negate") {
            return set_negation(layout, *value);
        }
        if (name == "--window") {
            std::string why;
            options_.window = parse_window(*value, why);
            options_.window_text = std::string(*value);
            return options_.window ? std::nullopt : std::optional<std::string>(why);
        }
        if (value->empty()) {
            return std::string(name) + " needs a file name";
        }
        options_.output_path = std::string(*value);
        return std::nullopt;
    }

    std::span<const std::string_view> arguments_;
    std::size_t next_ = 0;
    PrepareOptions options_;
    bool force_given_ = false;
    bool displacement_given_ = false;
};

}  // namespace

std::variant<PrepareOptions, UsageError> parse_options(std::span<const std::string_view> arguments) {
    return Parser(arguments).parse();
}

}  // namespace prepare
