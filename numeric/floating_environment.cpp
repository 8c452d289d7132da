#include "numeric/floating_environment.hpp"

#include <cfenv>
#include <cstdint>

namespace numeric {
namespace {

#if defined(__x86_64__) || defined(__i386__)
// SSE control: exception masks in bits 7..12, rounding in 13..14 (00 = nearest),
// flush-to-zero in bit 15 and denormals-are-zero in bit 6.
constexpr std::uint32_t kMxcsrAllMasks = 0x1F80U;
constexpr std::uint32_t kMxcsrRoundingAndFlushBits = 0xE040U;

// x87 control word: exception masks in bits 0..5, rounding in 10..11.
constexpr std::uint16_t kX87AllMasks = 0x003FU;
constexpr std::uint16_t kX87RoundingBits = 0x0C00U;

void set_processor_controls() {
    std::uint32_t mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr = (mxcsr | kMxcsrAllMasks) & ~kMxcsrRoundingAndFlushBits;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));

    std::uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = static_cast<std::uint16_t>((control | kX87AllMasks) & ~kX87RoundingBits);
    __asm__ volatile("fldcw %0" : : "m"(control));
}
#elif defined(__aarch64__)
// FPCR: the alternate behaviours in bits 0..2 where a processor has them (bit 0
// flushes subnormal inputs to zero), trap enables in bits 8..12 and 15 (a set bit
// traps), flush-to-zero for half precision in bit 19, rounding in 22..23 (00 =
// nearest), flush-to-zero in bit 24 and default-NaN mode in bit 25. Cleared,
// every exception is masked and subnormals and NaNs behave as IEEE 754 says.
constexpr std::uint64_t kFpcrClearedBits = 0x03C8'9F07U;

void set_processor_controls() {
    std::uint64_t fpcr = 0;
    __asm__ volatile("mrs %0, fpcr" : "=r"(fpcr));
    fpcr &= ~kFpcrClearedBits;
    __asm__ volatile("msr fpcr, %0" : : "r"(fpcr));
}
#elif defined(__s390x__)
// FPC: the IEEE exception masks in its top six bits (a set bit traps) and the
// binary rounding mode in the lowest three (000 = nearest, ties to even). The
// binary128 operations run in the processor here, so this is their rounding.
// There is no flush-to-zero mode.
constexpr std::uint32_t kFpcTrapMasks = 0xFC00'0000U;
constexpr std::uint32_t kFpcBinaryRounding = 0x0000'0007U;

void set_processor_controls() {
    std::uint32_t fpc = 0;
    __asm__ volatile("efpc %0" : "=d"(fpc));
    fpc &= ~(kFpcTrapMasks | kFpcBinaryRounding);
    __asm__ volatile("sfpc %0" : : "d"(fpc));
}
#else
// Elsewhere the library's default environment is the one we need: round to
// nearest and every exception masked (riscv64 has neither traps nor flushing).
void set_processor_controls() {
    std::fesetenv(FE_DFL_ENV);
}
#endif

}  // namespace

void set_floating_environment() {
    std::fesetround(FE_TONEAREST);
    set_processor_controls();
}

}  // namespace numeric
