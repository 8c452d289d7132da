#include "units/file_digest.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace recio {
namespace {

// Odd constants with well-mixed bits (fractional digits of sqrt(2), sqrt(3),
// sqrt(5), sqrt(7) and of the golden ratio).
constexpr std::uint64_t kLaneFactors[4] = {0x6A09E667F3BCC909, 0xBB67AE8584CAA73B,
                                           0x3C6EF372FE94F82B, 0xA54FF53A5F1D36F1};
constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15;

constexpr std::uint64_t rotate(std::uint64_t x, int by) {
    return (x << by) | (x >> (64 - by));
}

// Spreads every input bit over the whole word.
constexpr std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 31;
    x *= 0xD6E8FEB86659FD93;
    x ^= x >> 32;
    x *= 0xD6E8FEB86659FD93;
    return x ^ (x >> 32);
}

std::uint64_t word_at(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

}  // namespace

FileDigest::FileDigest(std::uint64_t first_block) : block_(first_block) {
    start_block();
}

void FileDigest::start_block() {
    in_block_ = 0;
    for (int lane = 0; lane < 4; ++lane) {
        lanes_[lane] = mix(block_ * kGolden + kLaneFactors[lane]);
    }
}

void FileDigest::mix_stripe(std::uint64_t (&lanes)[4], const char* stripe) {
    for (int lane = 0; lane < 4; ++lane) {
        lanes[lane] = rotate((lanes[lane] ^ word_at(stripe + 8 * lane)) * kLaneFactors[lane], 29);
    }
}

void FileDigest::take_stripe(const char* stripe) {
    mix_stripe(lanes_, stripe);
    in_block_ += kStripe;
    if (in_block_ == kBlock) {
        finished_ = finished_ + block_hash();
        ++block_;
        start_block();
    }
}

Digest FileDigest::block_hash() const {
    const std::uint64_t taken = in_block_ + stashed_;
    const std::uint64_t a = mix(lanes_[0] ^ rotate(lanes_[2], 17) ^ taken);
    const std::uint64_t b = mix(lanes_[1] ^ rotate(lanes_[3], 41) ^ block_);
    return {mix(a + b * kGolden), mix(b ^ rotate(a, 23))};
}

void FileDigest::feed(std::span<const char> bytes) {
    length_ += bytes.size();
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    if (stashed_ > 0) {
        const std::size_t taken = std::min(left, kStripe - stashed_);
        std::memcpy(stash_ + stashed_, next, taken);
        stashed_ += taken;
        next += taken;
        left -= taken;
        if (stashed_ < kStripe) {
            return;
        }
        stashed_ = 0;
        take_stripe(stash_);
    }
    for (; left >= kStripe; next += kStripe, left -= kStripe) {
        take_stripe(next);
    }
    std::memcpy(stash_, next, left);
    stashed_ = left;
}

Digest FileDigest::value() const {
    if (in_block_ == 0 && stashed_ == 0) {
        return finished_;
    }
    // The block begun, its last stripe filled up with zeros; its length, which
    // the block's hash takes in, tells it from a block that holds those zeros.
    FileDigest rest = *this;
    if (stashed_ > 0) {
        std::memset(rest.stash_ + stashed_, 0, kStripe - stashed_);
        mix_stripe(rest.lanes_, rest.stash_);
    }
    return finished_ + rest.block_hash();
}

std::optional<Digest> digest_file_range(int descriptor, std::uint64_t first_block,
                                        std::uint64_t end) {
    // Read in pieces that stay in the cache and take few fresh pages, which on
    // some virtual machines cost more than the copy into them.
    constexpr std::size_t kPiece = std::size_t{128} << 10;
    const std::unique_ptr<char[]> block(new (std::nothrow) char[kPiece]);
    if (!block) {
        return std::nullopt;
    }
    FileDigest digest(first_block);
    for (std::uint64_t at = first_block * FileDigest::kBlock; at < end;) {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end - at));
        const ssize_t got = ::pread(descriptor, block.get(), wanted, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return std::nullopt;
        }
        digest.feed({block.get(), static_cast<std::size_t>(got)});
        at += static_cast<std::uint64_t>(got);
    }
    return digest.value();
}

}  // namespace recio
