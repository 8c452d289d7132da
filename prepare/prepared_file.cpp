#include "prepare/prepared_file.hpp"

#include <numeric>

#include "prepare/loading_window.hpp"

namespace prepare {

namespace {

std::string records(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

std::string measurement_text(std::span<const PreparedRecord> records, const std::vector<std::size_t>& kept) {
    std::string text;
    std::size_t number = 0;
    for (const std::size_t i : kept) {
        text += std::to_string(++number);
        text += ' ';
        append_plain(text, records[i].force);
        text += ' ';
        append_plain(text, records[i].displacement);
        text += '\n';
    }
    return text;
}

}  // namespace

std::variant<PreparedFile, ExportError> prepare_export(std::string_view export_text, const PrepareOptions& options) {
    auto read = read_export(export_text, options.layout);
    if (auto* error = std::get_if<ExportError>(&read)) {
        return std::move(*error);
    }
    const ExportReading& reading = std::get<ExportReading>(read);
    const std::vector<PreparedRecord>& all = reading.records;

    PreparedFile file;
    file.summary.push_back(records(all.size()) + " read, lines " + std::to_string(all.front().line) + " to " +
                           std::to_string(all.back().line) + "; force from column " +
                           std::to_string(reading.force_column) + ", displacement from column " +
                           std::to_string(reading.displacement_column));
    if (reading.trailing_lines != 0) {
        file.summary.push_back(std::to_string(reading.trailing_lines) + " trailing line(s) from line " +
                               std::to_string(reading.first_trailing_line) + " on left out");
    }
    const std::size_t maximum = first_maximum(all);
    file.summary.push_back("maximum force " + plain(all[maximum].force) + " N in record " +
                           std::to_string(maximum + 1) + " (line " + std::to_string(all[maximum].line) + "), at " +
                           plain(all[maximum].displacement) + " mm");

    std::vector<std::size_t> kept;
    if (!options.window) {
        kept.resize(all.size());
        std::iota(kept.begin(), kept.end(), std::size_t{0});
        file.summary.push_back("no window: all " + records(all.size()) + " kept");
    } else {
        static const DecimalText zero{false, "0", {}, 0};
        if (compare(all[maximum].force, zero) <= 0) {
            return ExportError{all[maximum].line, "the maximum force is " + plain(all[maximum].force) +
                                                      " N; a window needs a maximum above zero"
                                                      " (is the force to be negated?)"};
        }
        const WindowBounds bounds = window_bounds(*options.window, all[maximum].force);
        kept = records_in_window(all, maximum, bounds);
        const std::string range = "force from " + plain(bounds.low.view()) + " to " + plain(bounds.high.view()) + " N";
        if (kept.empty()) {
            return ExportError{0, "the window " + options.window_text + " (" + range + ") keeps no record"};
        }
        file.summary.push_back("window " + options.window_text + " % of the maximum, " + range + ": " +
                               records(kept.size()) + " of the " + std::to_string(maximum + 1) +
                               " up to the maximum kept");
    }
    file.text = measurement_text(all, kept);
    return file;
}

}  // namespace prepare
