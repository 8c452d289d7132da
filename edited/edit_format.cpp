#include "edited/edit_format.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "decimal/general_field.hpp"
#include "units/record_input.hpp"
#include "units/record_output.hpp"
#include "units/unit_failure.hpp"

namespace recio {
namespace {

// Every record of the program's formats is a few dozen bytes; the statement builds
// it in place and checks the bound.
constexpr std::size_t kMaxRecordLength = 256;

class OutputRecord {
public:
    void append(std::string_view bytes) {
        assert(length_ + bytes.size() < kMaxRecordLength);
        std::memcpy(bytes_.data() + length_, bytes.data(), bytes.size());
        length_ += bytes.size();
    }
    std::span<char> extend(std::size_t width) {
        assert(length_ + width < kMaxRecordLength);
        const std::span<char> area(bytes_.data() + length_, width);
        length_ += width;
        return area;
    }
    void set_no_record_end() { no_record_end_ = true; }

    // Hands the record to the operating system and starts an empty one.
    void write(UnitConnection& unit) {
        if (!no_record_end_) {
            bytes_[length_++] = '\n';
        }
        write_record(unit, std::string_view(bytes_.data(), length_));
        length_ = 0;
        no_record_end_ = false;
    }

private:
    std::array<char, kMaxRecordLength> bytes_;  // filled as far as length_ says
    std::size_t length_ = 0;
    bool no_record_end_ = false;
};

}  // namespace

void write_edited(UnitConnection& unit, EditFormat format,
                  std::span<const numeric::QuadReal> values) {
    OutputRecord record;
    std::size_t next_value = 0;
    for (const EditItem& item : format) {
        switch (item.kind) {
            case EditItemKind::record_break:
                record.write(unit);
                break;
            case EditItemKind::literal:
                record.append(item.text);
                break;
            case EditItemKind::no_record_end:
                record.set_no_record_end();
                break;
            case EditItemKind::general_field:
                for (int i = 0; i < item.repeat; ++i) {
                    if (next_value == values.size()) {
                        // Out of values: the statement ends at this field.
                        record.write(unit);
                        return;
                    }
                    format_general_field(values[next_value++], item.width, item.digits,
                                         record.extend(static_cast<std::size_t>(item.width)));
                }
                break;
        }
    }
    record.write(unit);
}

void prepare_edited_record(EditFormat format, std::span<const numeric::QuadReal> values,
                           PreparedRecord& record) {
    std::size_t length = 0;
    std::size_t next_value = 0;
    bool record_end = true;
    const auto room = [&](std::size_t width) {
        assert(length + width < PreparedRecord::kCapacity);
        const std::span<char> area(record.bytes.data() + length, width);
        length += width;
        return area;
    };
    for (const EditItem& item : format) {
        assert(item.kind != EditItemKind::record_break);
        if (item.kind == EditItemKind::literal) {
            const auto area = room(item.text.size());
            std::copy(item.text.begin(), item.text.end(), area.begin());
        } else if (item.kind == EditItemKind::no_record_end) {
            record_end = false;
        } else if (item.kind == EditItemKind::general_field) {
            // As in write_edited, a field without a value left ends the statement.
            bool out_of_values = false;
            for (int i = 0; i < item.repeat && !out_of_values; ++i) {
                out_of_values = next_value == values.size();
                if (!out_of_values) {
                    format_general_field(values[next_value++], item.width, item.digits,
                                         room(static_cast<std::size_t>(item.width)));
                }
            }
            if (out_of_values) {
                break;
            }
        }
    }
    if (record_end) {
        room(1)[0] = '\n';
    }
    record.length = length;
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
