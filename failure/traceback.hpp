#pragma once
// The traceback that follows the message line of a severe diagnostic: one line per
// active call, innermost first, found by walking the chain of frame links that
// every function of the program keeps (it is built with frame pointers).

#include <ucontext.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "failure/text_buffer.hpp"

namespace recio {

// A frame, as the walk sees it, is the address where the frame's link to its
// caller's frame lies; the return address into the caller lies kReturnAddressSlot
// words above it. On x86-64 and arm64 the two lie side by side (rbp, x29). On
// s390x, built with -mbackchain, the link is the back chain at the bottom of
// each stack frame and the return address is r14 in the register save area
// there, which the called function fills before it makes its own frame.
#if defined(__s390x__)
inline constexpr std::size_t kReturnAddressSlot = 14;
#else
inline constexpr std::size_t kReturnAddressSlot = 1;
#endif

// Where a traceback begins: the code address shown on its first line and the
// frame whose link and return address lead to the caller.
struct TraceStart {
    std::uintptr_t code_address = 0;
    std::uintptr_t frame = 0;
};

// The program's own executable: the base name of its file and the address range
// its segments are loaded at.
struct ImageDescription {
    std::string_view name = "Unknown";
    std::uintptr_t low = 0;  // [low, high)
    std::uintptr_t high = 0;
    std::uintptr_t load_bias = 0;  // run-time address minus link-time address

    bool contains(std::uintptr_t address) const { return low <= address && address < high; }
};

// Finds the program's own executable (its file through /proc/self/exe, its
// segments through the dynamic loader) and keeps the result for own_image().
// Called at start-up, before any signal can arrive; a traceback that runs
// without it names every address "Unknown".
void remember_own_image();
ImageDescription own_image();

// The code address in the calling function and the caller's frame.
[[gnu::noinline]] TraceStart trace_start_in_caller();
// The interrupted instruction and its frame, as a signal handler received them.
TraceStart trace_start_of_signal(const ucontext_t& context);

enum class TraceForm { plain, verbose };

// "Image" in 19, "PC" in 10, "Routine" in 19, "Line" in 12, "Source" in 19.
inline constexpr std::string_view kTracebackHeading =
    "Image              PC        Routine            Line        Source             \n";
inline constexpr std::string_view kVerboseTracebackHeading =
    "\nTraceback symbolic or hex stack dump follows:\n\n";
inline constexpr std::string_view kAbnormalEnd = "\nStack trace terminated abnormally.\n";

// Appends the traceback from `start` on. The walk stops at the outermost frame
// (a zero link or a zero return address), after a return into code outside the
// program's image (the C library keeps no frame links to follow), or where the
// buffer is full; a link that cannot be read, or that does not lead further up
// the stack, ends it with kAbnormalEnd. `signal_context` adds the processor state
// to the verbose form.
void append_traceback(TextBuffer& text, TraceStart start, const ImageDescription& image,
                      TraceForm form, const ucontext_t* signal_context = nullptr);

// The code address as a traceback shows it, in 8 hexadecimal digits. Inside the
// image it is the link-time address (the run-time address less the load bias):
// independent of where the loader placed a position-independent executable, the
// address that symbol tools take for the file, and far below 2^32 for a program
// of this size. Outside the image only the low 32 bits can be shown.
std::uint32_t shown_address(const ImageDescription& image, std::uintptr_t address);

// One line of the plain form, with its line end.
void append_frame_line(TextBuffer& text, const ImageDescription& image, std::uintptr_t address);

// Copies `count` bytes from `address` if they are readable; never faults.
bool read_memory_safely(std::uintptr_t address, void* destination, std::size_t count);

}  // namespace recio
