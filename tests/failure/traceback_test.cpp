// The traceback's layout and its walk over chains of frame links, checked on
// chains built in memory by the tests, so that every way a walk can end is
// reached on purpose.

#include "failure/traceback.hpp"

#include <gtest/gtest.h>
#include <ucontext.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "failure/text_buffer.hpp"

namespace {

using recio::ImageDescription;
using recio::TextBuffer;
using recio::TraceForm;
using recio::TraceStart;

std::string padded(std::string text, std::size_t width) {
    text.resize(width, ' ');
    return text;
}

// A non-position-independent program: run-time and link-time addresses agree.
const ImageDescription kFixedImage{"emodul", 0x400000, 0x480000, 0};
// A position-independent one, loaded at 0x5555'0000'0000.
const ImageDescription kMovedImage{"a_very_long_program_name", 0x5555'0000'0000, 0x5555'0001'0000,
                                   0x5555'0000'0000};

// The line of a frame in the plain form, put together field by field.
std::string frame_line(const std::string& image, const std::string& address) {
    return padded(image, 17) + "  " + address + "  " + padded("Unknown", 17) + "  " + "   Unknown" +
           "  " + "Unknown\n";
}

const std::string kHeading = padded("Image", 19) + padded("PC", 10) + padded("Routine", 19) +
                             padded("Line", 12) + padded("Source", 19) + "\n";

std::string traceback(TraceStart start, const ImageDescription& image,
                      TraceForm form = TraceForm::plain, std::size_t capacity = 16384,
                      const ucontext_t* context = nullptr) {
    std::vector<char> storage(capacity);
    TextBuffer text(storage);
    recio::append_traceback(text, start, image, form, context);
    return std::string(text.view());
}

// Frames laid out in one array, each a link and a return address where this
// processor keeps them, and each above the one before, the way a stack holds them.
struct FakeStack {
    static constexpr std::size_t kSpacing = 2 * (recio::kReturnAddressSlot + 1);
    alignas(16) std::array<std::uintptr_t, 16 * kSpacing + 1> words{};

    std::uintptr_t frame(std::size_t index) const {
        return reinterpret_cast<std::uintptr_t>(&words[kSpacing * index]);
    }
    void set(std::size_t index, std::uintptr_t link, std::uintptr_t return_address) {
        words[kSpacing * index] = link;
        words[kSpacing * index + recio::kReturnAddressSlot] = return_address;
    }
};

TEST(Traceback, HeadingIs79CharactersAndALineEnd) {
    EXPECT_EQ(recio::kTracebackHeading, kHeading);
    EXPECT_EQ(kHeading.size(), 80u);
}

TEST(Traceback, FrameLineLayout) {
    struct Case {
        const ImageDescription* image;
        std::uintptr_t address;
        std::string line;
    };
    const Case cases[] = {
        {&kFixedImage, 0x401234, frame_line("emodul", "00401234")},
        {&kFixedImage, 0x47ffff, frame_line("emodul", "0047FFFF")},
        // Outside the image: no image name, and only the low 32 bits fit.
        {&kFixedImage, 0x480000, frame_line("Unknown", "00480000")},
        {&kFixedImage, 0x7f12'3456'789a, frame_line("Unknown", "3456789A")},
        // Inside a moved image: the link-time address; the name cut to 17.
        {&kMovedImage, 0x5555'0000'1c2d, frame_line("a_very_long_progr", "00001C2D")},
        {&kMovedImage, 0x5555'0001'0000, frame_line("Unknown", "00010000")},
    };
    for (const Case& c : cases) {
        char storage[256];
        TextBuffer text(storage);
        recio::append_frame_line(text, *c.image, c.address);
        EXPECT_EQ(text.view(), c.line);
        EXPECT_EQ(text.view().substr(17, 2), "  ");
    }
}

TEST(Traceback, WalksTheChainInnermostFirstToAZeroLink) {
    FakeStack stack;
    stack.set(0, stack.frame(1), 0x401100);
    stack.set(1, stack.frame(3), 0x401200);
    stack.set(3, 0, 0x401300);
    stack.set(4, stack.frame(5), 0x401400);  // beyond the zero link: never reached
    EXPECT_EQ(traceback({0x401000, stack.frame(0)}, kFixedImage),
              kHeading + frame_line("emodul", "00401000") + frame_line("emodul", "00401100") +
                  frame_line("emodul", "00401200") + frame_line("emodul", "00401300"));
}

TEST(Traceback, ZeroReturnAddressIsTheOutermostFrame) {
    FakeStack stack;
    stack.set(0, stack.frame(1), 0x401100);
    stack.set(1, stack.frame(2), 0);
    stack.set(2, 0, 0x401300);
    EXPECT_EQ(traceback({0x401000, stack.frame(0)}, kFixedImage),
              kHeading + frame_line("emodul", "00401000") + frame_line("emodul", "00401100"));
}

TEST(Traceback, StartWithoutFrameShowsOnlyTheStart) {
    EXPECT_EQ(traceback({0x401000, 0}, kFixedImage), kHeading + frame_line("emodul", "00401000"));
}

TEST(Traceback, StopsAfterAReturnIntoCodeOutsideTheImage) {
    // The C library's start routine keeps no frame links: its "link" is any
    // value, here an unreadable one, and must not be followed.
    FakeStack stack;
    stack.set(0, stack.frame(1), 0x401100);
    stack.set(1, 1, 0x7f00'1234'5678);
    EXPECT_EQ(traceback({0x401000, stack.frame(0)}, kFixedImage),
              kHeading + frame_line("emodul", "00401000") + frame_line("emodul", "00401100") +
                  frame_line("Unknown", "12345678"));
}

TEST(Traceback, CorruptChainEndsAbnormally) {
    const std::string start_lines =
        kHeading + frame_line("emodul", "00401000") + frame_line("emodul", "00401100");
    const std::string abnormal = "\nStack trace terminated abnormally.\n";
    struct Case {
        const char* what;
        std::uintptr_t (*link)(const FakeStack&);
    };
    const Case cases[] = {
        {"unreadable", [](const FakeStack&) { return ~std::uintptr_t{0xFFF}; }},
        {"unmapped low page", [](const FakeStack&) { return std::uintptr_t{16}; }},
        {"to itself", [](const FakeStack& s) { return s.frame(1); }},
        {"downwards", [](const FakeStack& s) { return s.frame(0); }},
        {"misaligned", [](const FakeStack& s) { return s.frame(2) + 1; }},
    };
    for (const Case& c : cases) {
        FakeStack stack;
        stack.set(0, stack.frame(1), 0x401100);
        stack.set(1, c.link(stack), 0x401200);
        stack.set(2, 0, 0x401300);
        EXPECT_EQ(traceback({0x401000, stack.frame(0)}, kFixedImage),
                  start_lines + frame_line("emodul", "00401200") + abnormal)
            << c.what;
    }
    // Even the first frame may be unreadable.
    EXPECT_EQ(traceback({0x401000, 16}, kFixedImage),
              kHeading + frame_line("emodul", "00401000") + abnormal);
}

TEST(Traceback, StopsWithWholeLinesWhenTheBufferIsFull) {
    FakeStack stack;
    for (std::size_t i = 0; i < 15; ++i) {
        stack.set(i, stack.frame(i + 1), 0x401100 + 0x100 * i);
    }
    stack.set(15, 0, 0x402000);
    const std::size_t line_size = frame_line("emodul", "00000000").size();
    // Room for the heading, two lines and part of a third.
    const std::string text = traceback({0x401000, stack.frame(0)}, kFixedImage, TraceForm::plain,
                                       kHeading.size() + 2 * line_size + line_size / 2);
    EXPECT_EQ(text, kHeading + frame_line("emodul", "00401000") + frame_line("emodul", "00401100"));
}

TEST(Traceback, VerboseFormListsEachFrameAsABlock) {
    FakeStack stack;
    stack.set(0, 0, 0x7f00'1234'5678);
    const std::string text = traceback({0x401000, stack.frame(0)}, kFixedImage, TraceForm::verbose);
    EXPECT_EQ(text,
              "\nTraceback symbolic or hex stack dump follows:\n\n"
              "--------- Frame # 0\n"
              "Image:    emodul\n"
              "Address:  00401000  (run-time address 0000000000401000)\n"
              "Routine:  Unknown\nSource:   Unknown\nLine:     Unknown\n\n"
              "--------- Frame # 1\n"
              "Image:    Unknown\n"
              "Address:  12345678  (run-time address 00007F0012345678)\n"
              "Routine:  Unknown\nSource:   Unknown\nLine:     Unknown\n\n");
}

TEST(Traceback, VerboseFormOfASignalBeginsWithTheProcessorState) {
    ucontext_t context;
    std::memset(&context, 0, sizeof context);
    // The interrupted instruction, the stack pointer and the last register shown.
#if defined(__x86_64__)
    context.uc_mcontext.gregs[REG_RIP] = 0x401000;
    context.uc_mcontext.gregs[REG_RSP] = 0x7ffc'0000'1000;
    context.uc_mcontext.gregs[REG_R15] = static_cast<greg_t>(0x1122'3344'5566'7788);
    const std::string lines[] = {"RIP 0000000000401000", "RSP 00007FFC00001000",
                                 "R15 1122334455667788"};
#elif defined(__aarch64__)
    context.uc_mcontext.pc = 0x401000;
    context.uc_mcontext.sp = 0x7ffc'0000'1000;
    context.uc_mcontext.regs[28] = 0x1122'3344'5566'7788;
    const std::string lines[] = {"PC  0000000000401000", "SP  00007FFC00001000",
                                 "X28 1122334455667788"};
#elif defined(__s390x__)
    context.uc_mcontext.psw.addr = 0x401000;
    // The stack pointer's back chain: here the outermost frame.
    const std::uintptr_t back_chain = 0;
    context.uc_mcontext.gregs[15] = reinterpret_cast<std::uintptr_t>(&back_chain);
    const std::string lines[] = {"(not available on this processor)"};
#endif
    const TraceStart start = recio::trace_start_of_signal(context);
    EXPECT_EQ(start.code_address, 0x401000u);
    EXPECT_EQ(start.frame, 0u);
    const std::string text = traceback(start, kFixedImage, TraceForm::verbose, 16384, &context);
    const auto state = text.find("Processor state at the interrupted instruction:\n");
    const auto heading = text.find("\nTraceback symbolic or hex stack dump follows:\n\n");
    ASSERT_NE(state, std::string::npos);
    ASSERT_NE(heading, std::string::npos);
    EXPECT_LT(state, heading);
    for (const std::string& line : lines) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_NE(text.find("--------- Frame # 0\nImage:    emodul\n"), std::string::npos);
}

TEST(Traceback, ReadsMemoryWithoutFaulting) {
    const std::uint64_t known = 0x0123'4567'89ab'cdef;
    std::uint64_t copy = 0;
    EXPECT_TRUE(recio::read_memory_safely(reinterpret_cast<std::uintptr_t>(&known), &copy, 8));
    EXPECT_EQ(copy, known);
    EXPECT_FALSE(recio::read_memory_safely(0, &copy, 8));
    EXPECT_FALSE(recio::read_memory_safely(~std::uintptr_t{0xFFF}, &copy, 8));
}

[[gnu::noinline]] std::string traceback_from_here() {
    return traceback(recio::trace_start_in_caller(), recio::own_image());
}

TEST(Traceback, OwnImageIsThisProgram) {
    recio::remember_own_image();
    const ImageDescription image = recio::own_image();
    EXPECT_EQ(image.name, "unit_tests");
    EXPECT_TRUE(image.contains(reinterpret_cast<std::uintptr_t>(&traceback_from_here)));
    EXPECT_FALSE(image.contains(reinterpret_cast<std::uintptr_t>(&std::memcpy)));
    // A live walk begins in the function that asked for it.
    const std::string text = traceback_from_here();
    ASSERT_GT(text.size(), kHeading.size());
    EXPECT_EQ(text.substr(0, kHeading.size()), kHeading);
    EXPECT_EQ(text.substr(kHeading.size(), 19), "unit_tests         ");
}

}  // namespace
