#pragma once
// The compiler's own IEEE binary128 type, chosen here and nowhere else, and the
// bit casts between it and QuadReal. The general path of the arithmetic, the
// differential checks and the oracles all compute on this type.

#include <bit>
#include <cfloat>

#include "numeric/constants.hpp"
#include "numeric/precision.hpp"

namespace numeric {

#if defined(__x86_64__)
// x86-64 keeps long double for the 80-bit x87 format; binary128 is __float128.
using Binary128 = __float128;
#elif LDBL_MANT_DIG == 113
// arm64, s390x, riscv64, and ppc64le where long double is the IEEE format.
using Binary128 = long double;
#else
#error \
    "emodul needs the compiler's IEEE binary128 arithmetic: __float128 on x86-64, or a long double with 113 significant bits (arm64, s390x, riscv64, ppc64le with IEEE long double). This target has neither."
#endif

// The compiler proves here that QuadReal's words lie where the target keeps the
// two halves of its binary128 values, for either byte order.
static_assert(sizeof(Binary128) == sizeof(QuadReal));
static_assert(std::bit_cast<QuadReal>(static_cast<Binary128>(1)) == kOne);
static_assert(std::bit_cast<QuadReal>(static_cast<Binary128>(-24)) ==
              QuadReal::from_words(0xC003'8000'0000'0000ULL, 0));
static_assert(std::bit_cast<QuadReal>(static_cast<Binary128>(1) +
                                      static_cast<Binary128>(0x1p-112)) ==
              QuadReal::from_words(0x3FFF'0000'0000'0000ULL, 1));

constexpr Binary128 to_binary128(QuadReal x) {
    return std::bit_cast<Binary128>(x);
}
constexpr QuadReal from_binary128(Binary128 x) {
    return std::bit_cast<QuadReal>(x);
}

}  // namespace numeric
