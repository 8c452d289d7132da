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
#else
void set_processor_controls() {}
#endif

}  // namespace

void set_floating_environment() {
    std::fesetround(FE_TONEAREST);
    set_processor_controls();
}

}  // namespace numeric
