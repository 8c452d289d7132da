#pragma once
// How a fuzz oracle reports a fault: the message on standard error, then abort,
// which libFuzzer records as a crash together with the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzsupport {

[[noreturn]] inline void fail(const char* file, int line, const std::string& message) {
    std::fprintf(stderr, "\n%s:%d: oracle failed: %s\n", file, line, message.c_str());
    std::abort();
}

}  // namespace fuzzsupport

// The message is only formed when the check fails.
#define FUZZ_CHECK(condition, message)                          \
    do {                                                        \
        if (!(condition)) {                                     \
            ::fuzzsupport::fail(__FILE__, __LINE__, (message)); \
        }                                                       \
    } while (false)
