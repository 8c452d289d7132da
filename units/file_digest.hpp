#pragma once
// A digest of a file's bytes, to tell whether bytes read from one opening of a
// file are still what a later opening finds, without keeping them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace recio {

struct Digest {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    bool operator==(const Digest&) const = default;
};

// Digests of adjoining stretches add up to the digest of the whole.
inline Digest operator+(const Digest& a, const Digest& b) {
    return {a.first + b.first, a.second + b.second};
}

// The bytes of a file from a block boundary on, fed in file order in pieces of
// any length. The file is taken in blocks of kBlock bytes; each block is hashed on
// four 64-bit multiply-rotate lanes seeded with its number, and the digest is the
// sum of the blocks' 128-bit hashes. So the digest of a stretch is the sum of the
// digests of its parts, which lets two threads check the halves of a file, and a
// block that moved, or bytes swapped within one, change it. It is meant to catch
// any change a person or program makes to a file, not to resist one made to
// collide with it.
class FileDigest {
public:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;

    explicit FileDigest(std::uint64_t first_block = 0);

    void feed(std::span<const char> bytes);
    // Bytes fed so far.
    std::uint64_t length() const { return length_; }
    // The digest of everything fed; more may be fed after.
    Digest value() const;

private:
    static constexpr std::size_t kStripe = 32;

    static void mix_stripe(std::uint64_t (&lanes)[4], const char* stripe);
    void start_block();
    void take_stripe(const char* stripe);
    Digest block_hash() const;

    std::uint64_t block_ = 0;   // number of the block being hashed
    std::uint64_t length_ = 0;  // bytes fed
    std::size_t in_block_ = 0;  // bytes of the current block taken, whole stripes
    std::uint64_t lanes_[4] = {};
    char stash_[kStripe] = {};  // a stripe begun
    std::size_t stashed_ = 0;
    Digest finished_;  // sum of the finished blocks' hashes
};

// The digest of the bytes [first_block * FileDigest::kBlock, end) of the file open
// on `descriptor`, read where they stand without moving its position. Nothing
// when they cannot all be read: a refused read, a file that ends before `end`, or
// no memory to read into.
std::optional<Digest> digest_file_range(int descriptor, std::uint64_t first_block,
                                        std::uint64_t end);

}  // namespace recio
