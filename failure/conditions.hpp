#pragma once
// The numbered conditions this program can meet. The number of a severe condition
// is also the exit status of the process that it ends.

#include <cstddef>
#include <cstdint>

namespace recio {

enum class Condition : std::uint16_t {
    permission_denied = 9,
    end_of_file = 24,
    close_error = 28,
    file_not_found = 29,
    open_failure = 30,
    write_error = 38,
    read_error = 39,
    insufficient_memory = 41,
    no_such_device = 42,
    file_name_error = 43,
    write_to_read_only = 47,
    syntax_error = 59,
    input_conversion_error = 64,
    floating_invalid = 65,
    integer_overflow = 70,
    integer_divide_by_zero = 71,
    floating_overflow = 72,
    floating_divide_by_zero = 73,
    floating_underflow = 74,
    floating_point_exception = 75,
    interrupted = 69,
    abort_signal = 76,
    killed = 78,
    quit = 79,
    file_buffer_memory = 98,
    record_length_syntax = 99,
    array_index_out_of_bounds = 138,
    floating_inexact = 140,
    illegal_instruction = 168,
    segmentation_fault = 174,
    array_size_overflow = 179,
};

// The longest file name any layer hands to the failure path, kept in place there
// because a diagnostic may be written from a signal handler.
inline constexpr std::size_t kMaxFileNameLength = 4096;

constexpr int number_of(Condition condition) {
    return static_cast<int>(condition);
}

}  // namespace recio
