#include "edited/edit_format.hpp"

#include <algorithm>
#include <array>
#include <cassert>

#include "decimal/general_field.hpp"
#include "units/record_input.hpp"
#include "units/record_output.hpp"
#include "units/unit_failure.hpp"

namespace recio {
namespace {

// Every record of the program's formats is a few dozen bytes; the statement builds
// it in place and checks the bound.
constexpr std::size_t kMaxRecordLength = 256;

// One record of an output statement, built in place in a caller's bytes.
class RecordBuilder {
public:
    explicit RecordBuilder(std::span<char> bytes) : bytes_(bytes) {}

    std::span<char> extend(std::size_t width) {
        assert(length_ + width < bytes_.size());
        const std::span<char> area = bytes_.subspan(length_, width);
        length_ += width;
        return area;
    }
    void append(std::string_view text) {
        std::copy(text.begin(), text.end(), extend(text.size()).begin());
    }
    void set_no_record_end() { no_record_end_ = true; }

    // The finished record, with its line feed unless the format left it open.
    std::string_view finish() {
        if (!no_record_end_) {
            extend(1)[0] = '\n';
        }
        return {bytes_.data(), length_};
    }

private:
    std::span<char> bytes_;
    std::size_t length_ = 0;
    bool no_record_end_ = false;
};

// Where the items of one record stopped: at a record break (the statement goes on
// with the next record), at the end of the format, or at a field with no value
// left, which ends the statement.
enum class RecordEnd { record_break, statement_end };

// Builds one record from the items of `format` from `item` on, taking values from
// `next_value` on; `item` is left behind the record break, if one ended it.
RecordEnd build_record(EditFormat format, std::size_t& item,
                       std::span<const numeric::QuadReal> values, std::size_t& next_value,
                       RecordBuilder& record) {
    for (; item < format.size(); ++item) {
        const EditItem& current = format[item];
        switch (current.kind) {
            case EditItemKind::record_break:
                ++item;
                return RecordEnd::record_break;
            case EditItemKind::literal:
                record.append(current.text);
                break;
            case EditItemKind::no_record_end:
                record.set_no_record_end();
                break;
            case EditItemKind::general_field:
                for (int i = 0; i < current.repeat; ++i) {
                    if (next_value == values.size()) {
                        return RecordEnd::statement_end;
                    }
                    format_general_field(values[next_value++], current.width, current.digits,
                                         record.extend(static_cast<std::size_t>(current.width)));
                }
                break;
        }
    }
    return RecordEnd::statement_end;
}

}  // namespace

void write_edited(UnitConnection& unit, EditFormat format,
                  std::span<const numeric::QuadReal> values) {
    std::array<char, kMaxRecordLength> bytes;
    std::size_t item = 0;
    std::size_t next_value = 0;
    RecordEnd end = RecordEnd::record_break;
    while (end == RecordEnd::record_break) {
        RecordBuilder record(bytes);
        end = build_record(format, item, values, next_value, record);
        write_record(unit, record.finish());
    }
}

void prepare_edited_record(EditFormat format, std::span<const numeric::QuadReal> values,
                           PreparedRecord& record) {
    RecordBuilder builder(record.bytes);
    std::size_t item = 0;
    std::size_t next_value = 0;
    [[maybe_unused]] const RecordEnd end = build_record(format, item, values, next_value, builder);
    assert(end == RecordEnd::statement_end);
    record.length = builder.finish().size();
}

void write_prepared_record(UnitConnection& unit, const PreparedRecord& record) {
    write_record(unit, std::string_view(record.bytes.data(), record.length));
}

void read_text_field(UnitConnection& unit, std::span<char> field) {
    const auto record = next_record(unit);
    if (!record) {
        fail_on_unit(Condition::end_of_file, unit);
    }
    const std::size_t taken = std::min(record->size(), field.size());
    std::copy_n(record->begin(), taken, field.begin());
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(taken), field.end(), ' ');
}

}  // namespace recio
