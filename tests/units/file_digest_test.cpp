// The digest that proves a file still holds the bytes read from it earlier.

#include <gtest/gtest.h>

#include <string>

#include "units/file_digest.hpp"

namespace {

using recio::Digest;
using recio::FileDigest;

std::string text_of(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; text.size() < length; ++i) {
        text += std::to_string(i) + " 2.5 0.01\n";
    }
    text.resize(length);
    return text;
}

Digest digest_in_pieces(const std::string& text, std::size_t piece, std::uint64_t first_block = 0) {
    FileDigest digest(first_block);
    for (std::size_t at = 0; at < text.size(); at += piece) {
        digest.feed(std::string_view(text).substr(at, piece));
    }
    EXPECT_EQ(digest.length(), text.size());
    return digest.value();
}

TEST(FileDigest, DoesNotDependOnHowTheBytesArrive) {
    const std::string text = text_of(3 * FileDigest::kBlock + 1234);
    const Digest whole = digest_in_pieces(text, text.size());
    for (const std::size_t piece : {1, 7, 31, 32, 33, 65536, 100000}) {
        EXPECT_EQ(digest_in_pieces(text, piece), whole) << piece;
    }
    // Two halves split at a block add up to the whole.
    const std::size_t split = 2 * FileDigest::kBlock;
    EXPECT_EQ(digest_in_pieces(text.substr(0, split), 4096) +
                  digest_in_pieces(text.substr(split), 4096, 2),
              whole);
}

TEST(FileDigest, ChangesWithEveryKindOfEdit) {
    const std::string text = text_of(FileDigest::kBlock + 5000);
    const Digest original = digest_in_pieces(text, 65536);
    std::string swapped_records = text;  // two records of equal length trade places
    std::swap_ranges(swapped_records.begin() + 100, swapped_records.begin() + 109,
                     swapped_records.begin() + 200);
    std::string swapped_blocks = text.substr(FileDigest::kBlock / 2) + text.substr(0, FileDigest::kBlock / 2);
    std::string one_bit = text;
    one_bit[FileDigest::kBlock + 17] ^= 1;
    const std::string edits[] = {swapped_records, swapped_blocks, one_bit, text + '\0',
                                 text.substr(0, text.size() - 1), std::string(text.size(), '\0')};
    for (const std::string& edited : edits) {
        EXPECT_NE(digest_in_pieces(edited, 65536), original);
    }
    EXPECT_NE(digest_in_pieces("", 1), digest_in_pieces(std::string(32, '\0'), 1));
}

}  // namespace
