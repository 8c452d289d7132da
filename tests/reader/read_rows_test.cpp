#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "numeric/constants.hpp"
#include "reader/free_form_input.hpp"
#include "reader/plain_number.hpp"
#include "units/units.hpp"

namespace {

using numeric::QuadReal;

// Never produced by the reader: an item that still holds it was left alone.
constexpr QuadReal kUntouched = QuadReal::from_words(0x7FFF000000000000ULL, 0xBEEFULL);

struct Read {
    std::vector<std::vector<QuadReal>> rows;  // the items of each completed request
    bool operator==(const Read&) const = default;
};

std::string scratch_file(const std::string& text) {
    char name[] = "/tmp/emodul-rows-XXXXXX";
    const int descriptor = ::mkstemp(name);
    EXPECT_GE(descriptor, 0);
    ::close(descriptor);
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

// Requests of `width` items until the end of the file, one by one.
Read one_by_one(const std::string& path, std::size_t width) {
    Read read;
    recio::UnitConnection& unit = recio::open_file_unit(path);
    while (true) {
        std::vector<QuadReal> items(width, kUntouched);
        std::vector<QuadReal*> pointers;
        for (QuadReal& item : items) {
            pointers.push_back(&item);
        }
        if (recio::read_values(unit, pointers, recio::EndExit::present) ==
            recio::ReadOutcome::end_of_file) {
            break;
        }
        read.rows.push_back(items);
    }
    recio::close_file_unit();
    return read;
}

// The same requests through read_rows, `batch` rows a call; the columns in
// `dropped` keep nothing and are compared as untouched.
Read by_rows(const std::string& path, std::size_t width, std::size_t batch, std::uint32_t dropped) {
    Read read;
    recio::UnitConnection& unit = recio::open_file_unit(path);
    while (true) {
        std::vector<QuadReal> items(batch * width, kUntouched);
        std::vector<recio::ItemColumn> columns;
        for (std::size_t j = 0; j < width; ++j) {
            columns.push_back({(dropped >> j) & 1U ? nullptr : &items[j], width});
        }
        const std::size_t done = recio::read_rows(unit, columns, batch, recio::EndExit::present);
        for (std::size_t r = 0; r < done; ++r) {
            read.rows.emplace_back(items.begin() + static_cast<std::ptrdiff_t>(r * width),
                                   items.begin() + static_cast<std::ptrdiff_t>((r + 1) * width));
        }
        if (done < batch) {
            break;
        }
    }
    recio::close_file_unit();
    return read;
}

// Rows of plain numbers mixed with values that are not plain (nulls, slashes,
// repeats, logical constants, pairs, exponents, a last record without a line
// feed), read as rows of one to ten items, several rows a call, some columns kept
// and some not: the rows read exactly as the same requests made one by one.
TEST(ReadRows, ReadLikeTheSameRequestsOneByOne) {
    std::string wide;
    for (int i = 1; i <= 40; ++i) {
        wide += std::to_string(i) + ".25 ";
        if (i % 13 == 0) {
            wide += "\r\n";
        }
    }
    const std::string texts[] = {
        "   1   12.5000   0.0206\n   2   -13.2500   +0.0216\n   3 4 5\n",
        "1\t2.5,3.25\r\n4 ,5.5 6.75 1e3 +7\n7,,8 9\n\n10 11 12",
        "1 2 3\n4 5\n6\n7 8 9 10\n/\n11 2*3.5\n12 T .5\n13 (1,2) 14\n",
        "1 2 3\n,1,2.5,1.25\n ,4 5 6\n2 3 4\n",  // a leading comma is a null value
        "-0.000000000000000001 12345678.12345678901 1.5\n1234567890123456789 .5 5.\n",
        wide,
    };
    for (const std::string& text : texts) {
        const std::string path = scratch_file(text);
        for (const std::size_t width : {1, 2, 3, 10}) {
            Read expected = one_by_one(path, width);
            for (const std::size_t batch : {1, 3, 64}) {
                for (const std::uint32_t dropped : {0U, 1U, 5U}) {
                    SCOPED_TRACE(text + " width " + std::to_string(width) + " batch " +
                                 std::to_string(batch) + " dropped " + std::to_string(dropped));
                    Read kept = expected;
                    for (auto& row : kept.rows) {
                        for (std::size_t j = 0; j < width; ++j) {
                            row[j] = (dropped >> j) & 1U ? kUntouched : row[j];
                        }
                    }
                    EXPECT_EQ(by_rows(path, width, batch, dropped), kept);
                }
            }
        }
        std::remove(path.c_str());
    }
}

// The line-feed count sixteen bytes at a time, against a byte at a time: texts
// around the vector's width, lanes that see a line feed in every chunk for longer
// than a byte can count, and starts off the vector's alignment.
TEST(CountLineFeeds, AgreesWithCountingByteByByte) {
    std::mt19937_64 random(20261209);
    std::string mixed(20000, 'x');
    for (char& c : mixed) {
        c = random() % 5 == 0 ? '\n' : '7';
    }
    const struct {
        std::string text;
        std::size_t from;
    } cases[] = {{"", 0},
                 {"\n", 0},
                 {std::string(15, '\n'), 0},
                 {std::string(16, '\n'), 0},
                 {std::string(17, '\n'), 1},
                 {std::string(255 * 16, '\n'), 0},
                 {std::string(256 * 16 + 3, '\n'), 0},
                 {std::string(9000, '\n'), 5},
                 {mixed, 0},
                 {mixed, 11}};
    for (const auto& c : cases) {
        const char* const begin = c.text.data() + c.from;
        const char* const end = c.text.data() + c.text.size();
        EXPECT_EQ(recio::count_line_feeds(begin, end),
                  static_cast<std::size_t>(std::count(begin, end, '\n')))
            << c.text.size() << " bytes from " << c.from;
    }
}

}  // namespace
