#include "decimal/general_field_fast.hpp"

#include "decimal/decimal_characters.hpp"

#include <array>
#include <bit>
#include <cstdint>

namespace recio {
namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

// The widest field whose digits, and one more, fit a machine word.
constexpr int kMaxWidth = 17;
constexpr int kMaxScale = static_cast<int>(kPowersOfFive.size()) - 1;

// Where the part of the exact value below the last kept digit lies, in units of
// that digit's place.
enum class Rest : unsigned char { zero, below_half, half, above_half };

// |value| = (digits + rest) x 10^(exponent - width), digits of exactly `width`
// decimal digits.
struct Scaled {
    u64 digits = 0;
    int exponent = 0;
    Rest rest = Rest::zero;
};

// The rest after one more digit is dropped below an existing one.
constexpr Rest dropping(u64 digit, Rest below) {
    if (digit != 5) {
        return digit > 5 ? Rest::above_half
                         : (digit == 0 && below == Rest::zero ? Rest::zero : Rest::below_half);
    }
    return below == Rest::zero ? Rest::half : Rest::above_half;
}

// |value| scaled to `width` digits, or false outside the range this path handles.
bool scale_to_width(numeric::QuadReal value, int width, Scaled& out) {
    const int biased = numeric::biased_exponent(value);
    u128 significand =
        (static_cast<u128>(value.high & numeric::kHighFractionMask) << 64) | value.low;
    int binary_exponent = -16494;  // of the last significand bit
    if (biased != 0) {
        significand |= u128{1} << numeric::kFractionBits;
        binary_exponent = biased - numeric::kExponentBias - numeric::kFractionBits;
    }
    const u64 high = static_cast<u64>(significand >> 64);
    const u64 low = static_cast<u64>(significand);
    const int bits = high != 0 ? 128 - std::countl_zero(high) : 64 - std::countl_zero(low);
    // 10^(x-1) <= |value| < 10^(x+1), with floor(e * log10(2)) from a fixed-point
    // multiplier that is exact for the small binary exponents met here.
    const int top = bits - 1 + binary_exponent;
    const int x = static_cast<int>((static_cast<std::int64_t>(top) * 1292913986) >> 32) + 1;
    const int scale = width - x;  // |value| * 10^scale has width or width + 1 digits
    if (scale < 0 || scale > kMaxScale) {
        return false;
    }
    // |value| * 10^scale = significand * 5^scale * 2^(scale + binary_exponent).
    const int shift = -(scale + binary_exponent);
    if (shift < 1 || shift > 160) {
        return false;
    }
    const u128 low_product =
        static_cast<u128>(low) * kPowersOfFive[static_cast<std::size_t>(scale)];
    const u128 high_product =
        static_cast<u128>(high) * kPowersOfFive[static_cast<std::size_t>(scale)] +
        (low_product >> 64);
    // The 192-bit product as three words, least significant first.
    const std::array<u64, 3> product = {static_cast<u64>(low_product),
                                        static_cast<u64>(high_product),
                                        static_cast<u64>(high_product >> 64)};
    const auto bits_at = [&](int position) {  // 64 bits from `position` up
        const int word = position / 64;
        const int offset = position % 64;
        u64 result = word < 3 ? product[static_cast<std::size_t>(word)] >> offset : 0;
        if (offset != 0 && word + 1 < 3) {
            result |= product[static_cast<std::size_t>(word) + 1] << (64 - offset);
        }
        return result;
    };
    const auto bit = [&](int position) {
        return (product[static_cast<std::size_t>(position / 64)] >> (position % 64)) & 1;
    };
    const auto any_below = [&](int position) {  // any of the bits under `position`
        for (int word = 0; word * 64 < position; ++word) {
            const int count = position - word * 64;
            const u64 mask = count >= 64 ? ~u64{0} : (u64{1} << count) - 1;
            if ((product[static_cast<std::size_t>(word)] & mask) != 0) {
                return true;
            }
        }
        return false;
    };
    out.digits = bits_at(shift);
    const bool half_bit = bit(shift - 1) != 0;
    const bool below_half_bits = any_below(shift - 1);
    out.rest = half_bit ? (below_half_bits ? Rest::above_half : Rest::half)
                        : (below_half_bits ? Rest::below_half : Rest::zero);
    out.exponent = x;
    if (out.digits >= kPowersOfTen[static_cast<std::size_t>(width)]) {
        out.rest = dropping(out.digits % 10, out.rest);
        out.digits /= 10;
        ++out.exponent;
    }
    return true;
}

// digits / 10^drop rounded to nearest, ties to even, with `rest` below the digits.
constexpr u64 rounded(u64 digits, int drop, Rest rest) {
    if (drop == 0) {
        const bool up = rest == Rest::above_half || (rest == Rest::half && digits % 2 == 1);
        return digits + (up ? 1 : 0);
    }
    const u64 unit = kPowersOfTen[static_cast<std::size_t>(drop)];
    const u64 kept = digits / unit;
    const u64 cut = digits % unit;
    const u64 half = unit / 2;
    const bool up = cut > half || (cut == half && (rest != Rest::zero || kept % 2 == 1));
    return kept + (up ? 1 : 0);
}

// Writes right to left into the first `columns` bytes of the field.
class Writer {
public:
    Writer(std::span<char> field, int columns) : cursor_(field.data() + columns), room_(columns) {}
    void put(char c) {
        if (length_ < room_) {
            *--cursor_ = c;
        }
        ++length_;
    }
    void put_digits(u64 value, int count) {
        for (int i = 0; i < count; ++i) {
            put(static_cast<char>('0' + value % 10));
            value /= 10;
        }
    }
    void put_number(u64 value) {
        do {
            put(static_cast<char>('0' + value % 10));
            value /= 10;
        } while (value != 0);
    }
    // The zero before the point takes its column unless the column is missing or
    // a minus sign needs it.
    void put_leading_zero_and_sign(bool negative) {
        const int zero_column = length_ + 1;
        if (zero_column < room_ || (zero_column == room_ && !negative)) {
            put('0');
        }
        if (negative) {
            put('-');
        }
    }
    bool fits() const { return length_ <= room_; }

private:
    char* cursor_;
    int room_;
    int length_ = 0;
};

}  // namespace

bool format_ordinary_field(numeric::QuadReal value, int width, int digits, std::span<char> field) {
    constexpr int kFixedFormBlanks = 4;
    if (width > kMaxWidth || digits < 2 || digits >= width - 1 || width <= kFixedFormBlanks) {
        return false;
    }
    Scaled exact;
    if (!scale_to_width(value, width, exact)) {
        return false;
    }
    const bool negative = numeric::sign_bit(value);

    // The form follows from the value rounded to `width` digits.
    u64 decision = rounded(exact.digits, 0, exact.rest);
    int x = exact.exponent;
    if (decision == kPowersOfTen[static_cast<std::size_t>(width)]) {
        decision = kPowersOfTen[static_cast<std::size_t>(width) - 1];
        ++x;
    }
    bool exponent_form = false;
    int integer_digits = 0;
    if (x < -1 || x > digits) {
        exponent_form = true;
    } else {
        // The first `digits` digits are nines and the next one is five or more.
        const u64 leading = decision / kPowersOfTen[static_cast<std::size_t>(width - digits - 1)];
        const bool carries = leading >= kPowersOfTen[static_cast<std::size_t>(digits) + 1] - 5;
        exponent_form = carries ? x >= digits : x == -1;
        integer_digits = carries ? x + 1 : x;
    }

    if (exponent_form) {
        u64 mantissa = rounded(exact.digits, width - digits, exact.rest);
        int y = exact.exponent;
        if (mantissa == kPowersOfTen[static_cast<std::size_t>(digits)]) {
            mantissa = kPowersOfTen[static_cast<std::size_t>(digits) - 1];
            ++y;
        }
        if (y < -99 || y > 99) {
            return false;
        }
        Writer text(field, width);
        text.put_digits(static_cast<u64>(y < 0 ? -y : y), 2);
        text.put(y < 0 ? '-' : '+');
        text.put('E');
        text.put_digits(mantissa, digits);
        text.put('.');
        text.put_leading_zero_and_sign(negative);
        if (!text.fits()) {
            return false;
        }
        return true;
    }

    const int decimals = digits - integer_digits;
    const int kept = exact.exponent + decimals;  // digits of the rounded number
    if (kept < 0 || kept > width) {
        return false;
    }
    const u64 number = rounded(exact.digits, width - kept, exact.rest);
    const u64 unit = kPowersOfTen[static_cast<std::size_t>(decimals)];
    Writer text(field, width - kFixedFormBlanks);
    text.put_digits(number % unit, decimals);
    text.put('.');
    if (integer_digits > 0) {
        text.put_number(number / unit);
        if (negative) {
            text.put('-');
        }
    } else {
        text.put_leading_zero_and_sign(negative);
    }
    return text.fits();
}

}  // namespace recio
