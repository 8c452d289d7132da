#pragma once
// From the text of an export to the text of a measurement file: the records
// read, the loading window applied, the kept records written as emodul reads
// them, and a summary for the operator.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "prepare/export_reading.hpp"
#include "prepare/prepare_options.hpp"

namespace prepare {

struct PreparedFile {
    std::string text;                  // a record per line: number, force in N, displacement in mm
    std::vector<std::string> summary;  // lines for standard error
};

std::variant<PreparedFile, ExportError> prepare_export(std::string_view export_text, const PrepareOptions& options);

}  // namespace prepare
