#pragma once
// The free-form reader: values separated by blanks, commas, slashes and record
// ends, in any layout, with null values, repeat forms, parenthesised pairs, quoted
// strings and logical constants.

#include <cstddef>
#include <span>

#include "numeric/precision.hpp"
#include "units/unit_connection.hpp"
#include "units/unit_failure.hpp"

namespace recio {

enum class ReadOutcome : bool { completed, end_of_file };

// One read request: starts at the next record of `unit` and serves `items` in
// order from one continuous pass over the input, giving each a value or leaving
// it unchanged (a null value, a slash, a null repeat). The rest of the last
// record used is abandoned. End of file returns ReadOutcome::end_of_file only to
// a caller with an end exit; every failure ends the process.
ReadOutcome read_values(UnitConnection& unit, std::span<numeric::QuadReal* const> items,
                        EndExit end_exit);

// One column of a series of read requests: request r gives its item of this
// column to first[r * stride]; with stride 0 every request gives it to `first`.
// A column whose `first` is nullptr keeps nothing; its values are still read,
// and a value that cannot be converted is still an error.
struct ItemColumn {
    numeric::QuadReal* first;
    std::size_t stride;
};

// `rows` read requests of one item from each column, one after another, exactly as that many calls
// of read_values would make them, but quicker: rows of plain numbers in records already read take
// no request of their own. Returns the number of requests completed, fewer than `rows` only when
// one met the end of file and `end_exit` is present.
std::size_t read_rows(UnitConnection& unit, std::span<const ItemColumn> columns, std::size_t rows,
                      EndExit end_exit);

// Up to `rows` requests as read_rows makes them, as long as each finds a record of
// plain numbers (signs, digits, a decimal point; blanks, tabs or one comma
// between them) that ends with a line feed and gives every column its value: each
// such request reads exactly one record. Stops before the first record of any
// other kind, leaving the unit at its start, and returns the number of requests
// made. Never fails on the records it stops at; read failures end the process.
std::size_t read_plain_rows(UnitConnection& unit, std::span<const ItemColumn> columns,
                            std::size_t rows);

// The rows of plain numbers among whole records in bytes [begin, end), as
// read_plain_rows takes them from a unit's buffer: up to `rows` rows, giving row
// r's items to the columns' element first_row + r, each row one record that ends
// with a line feed before `end`. Stops before the first record of another kind;
// a row stopped may already have given values to some of its items (a request
// that reads its record gives them the same). The kInputPadding bytes behind
// `end` must be readable. Safe to call on two threads for separate stretches
// and rows.
struct PlainRowsTaken {
    std::size_t rows;
    const char* stop;  // the start of the first record not taken
};
PlainRowsTaken take_plain_rows(const char* begin, const char* end,
                               std::span<const ItemColumn> columns, std::size_t first_row,
                               std::size_t rows);

// The same request with every value taken by the full grammar, none by the
// fast path for plain numbers: for checks that the two paths agree.
ReadOutcome read_values_by_full_grammar(UnitConnection& unit,
                                        std::span<numeric::QuadReal* const> items,
                                        EndExit end_exit);

}  // namespace recio
