#pragma once
// Compares texts that may be long, such as the plot file of a long series. When
// they differ, it reports their sizes and the first line that differs, never the
// whole texts: gtest's own comparison of two strings with line feeds computes a
// line diff whose memory grows with the product of their line counts (gigabytes
// for two plot files of 70,000 rows).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace testsupport {

// EXPECT_PRED_FORMAT2(testsupport::SameText, got, expected)
inline ::testing::AssertionResult SameText(const char* got_expression,
                                           const char* expected_expression, std::string_view got,
                                           std::string_view expected) {
    if (got == expected) {
        return ::testing::AssertionSuccess();
    }
    const auto at = static_cast<std::size_t>(
        std::mismatch(got.begin(), got.begin() + std::min(got.size(), expected.size()),
                      expected.begin())
            .first -
        got.begin());
    const std::size_t start = at == 0 ? 0 : got.rfind('\n', at - 1) + 1;  // npos + 1 is 0
    const auto line_at = [start](std::string_view text) {
        return ::testing::PrintToString(
            std::string(text.substr(start, text.find('\n', start) - start).substr(0, 200)));
    };
    const auto lines = [](std::string_view text) {
        return std::count(text.begin(), text.end(), '\n');
    };
    return ::testing::AssertionFailure()
           << got_expression << " (" << got.size() << " bytes, " << lines(got) << " lines) and "
           << expected_expression << " (" << expected.size() << " bytes, " << lines(expected)
           << " lines) differ first in line "
           << std::count(got.begin(), got.begin() + start, '\n') + 1 << ":\n  " << line_at(got)
           << "\n  " << line_at(expected);
}

}  // namespace testsupport
