#include "failure/traceback.hpp"

#include <fcntl.h>
#include <link.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "failure/conditions.hpp"
#include "failure/process_state.hpp"

namespace recio {
namespace {

constexpr std::string_view kUnknown = "Unknown";

// What remember_own_image() found. Written once at start-up, read by every
// traceback afterwards, also from signal handlers.
struct OwnImage {
    std::array<char, kMaxFileNameLength + 1> path{};
    std::size_t name_offset = 0;
    std::size_t path_length = 0;
    std::uintptr_t low = 0;
    std::uintptr_t high = 0;
    std::uintptr_t load_bias = 0;
    bool known = false;
};

OwnImage own;

int note_main_program(dl_phdr_info* info, std::size_t, void* result) {
    // The loader lists the main program first.
    auto& image = *static_cast<OwnImage*>(result);
    image.load_bias = info->dlpi_addr;
    bool first = true;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) {
            continue;
        }
        const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
        const std::uintptr_t end = begin + segment.p_memsz;
        image.low = first || begin < image.low ? begin : image.low;
        image.high = first || end > image.high ? end : image.high;
        first = false;
    }
    return 1;
}

// How frame memory is probed. process_vm_readv copies from our own address space
// and reports an unreadable address as EFAULT instead of faulting; where it is
// refused (a seccomp filter), writing the bytes into a pipe does the same.
enum ProbeMethod : int { probe_untried, probe_process_vm, probe_pipe };

enum class Probe { copied, unreadable, unavailable };

Probe read_by_process_vm(std::uintptr_t address, void* destination, std::size_t count) {
    iovec local{destination, count};
    iovec remote{reinterpret_cast<void*>(address), count};
    const ssize_t copied = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
    if (copied == static_cast<ssize_t>(count)) {
        return Probe::copied;
    }
    if (copied >= 0 || errno == EFAULT) {
        return Probe::unreadable;
    }
    return Probe::unavailable;
}

Probe read_by_pipe(std::uintptr_t address, void* destination, std::size_t count) {
    ProcessState& state = process_state();
    if (state.probe_pipe_open == 0) {
        if (::pipe2(state.probe_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return Probe::unavailable;
        }
        state.probe_pipe_open = 1;
    }
    const ssize_t written =
        ::write(state.probe_pipe[1], reinterpret_cast<const void*>(address), count);
    if (written < 0) {
        return errno == EFAULT ? Probe::unreadable : Probe::unavailable;
    }
    const ssize_t got = ::read(state.probe_pipe[0], destination, static_cast<std::size_t>(written));
    return written == static_cast<ssize_t>(count) && got == written ? Probe::copied
                                                                    : Probe::unavailable;
}

void append_frame_block(TextBuffer& text, const ImageDescription& image, int index,
                        std::uintptr_t address) {
    std::array<char, 512> storage;
    TextBuffer block(storage);
    block.append("--------- Frame # ");
    block.append_decimal(index);
    block.append("\nImage:    ");
    block.append(image.contains(address) ? image.name : kUnknown);
    block.append("\nAddress:  ");
    block.append_hex(shown_address(image, address), 8);
    block.append("  (run-time address ");
    block.append_hex(address, 16);
    block.append(")\nRoutine:  Unknown\nSource:   Unknown\nLine:     Unknown\n\n");
    text.append_whole(block.view());
}

// Appends the line or block for one frame; false when it no longer fits.
bool append_frame(TextBuffer& text, const ImageDescription& image, TraceForm form, int index,
                  std::uintptr_t address) {
    if (form == TraceForm::verbose) {
        append_frame_block(text, image, index, address);
    } else {
        append_frame_line(text, image, address);
    }
    return !text.full();
}

struct Register {
    std::string_view name;
    std::uint64_t value;
};

// Four registers a line, each as its name in four columns and 16 hex digits.
template <std::size_t kCount>
void append_registers(TextBuffer& text, const Register (&registers)[kCount]) {
    for (std::size_t i = 0; i < kCount; ++i) {
        text.append("  ");
        text.append_left(registers[i].name, 4);
        text.append_hex(registers[i].value, 16);
        if (i % 4 == 3 || i + 1 == kCount) {
            text.append('\n');
        }
    }
}

void append_processor_state(TextBuffer& text, const ucontext_t& context) {
    text.append("\nProcessor state at the interrupted instruction:\n");
#if defined(__x86_64__)
    const auto r = [&context](int index) {
        return static_cast<std::uint64_t>(context.uc_mcontext.gregs[index]);
    };
    const Register registers[] = {
        {"RIP", r(REG_RIP)}, {"RSP", r(REG_RSP)}, {"RBP", r(REG_RBP)},    {"EFL", r(REG_EFL)},
        {"RAX", r(REG_RAX)}, {"RBX", r(REG_RBX)}, {"RCX", r(REG_RCX)},    {"RDX", r(REG_RDX)},
        {"RSI", r(REG_RSI)}, {"RDI", r(REG_RDI)}, {"R8", r(REG_R8)},      {"R9", r(REG_R9)},
        {"R10", r(REG_R10)}, {"R11", r(REG_R11)}, {"R12", r(REG_R12)},    {"R13", r(REG_R13)},
        {"R14", r(REG_R14)}, {"R15", r(REG_R15)}, {"TRP", r(REG_TRAPNO)}, {"ERR", r(REG_ERR)},
    };
    append_registers(text, registers);
#elif defined(__aarch64__)
    const mcontext_t& m = context.uc_mcontext;
    const Register registers[] = {
        {"PC", m.pc},        {"SP", m.sp},        {"FP", m.regs[29]},       {"LR", m.regs[30]},
        {"X0", m.regs[0]},   {"X1", m.regs[1]},   {"X2", m.regs[2]},        {"X3", m.regs[3]},
        {"X4", m.regs[4]},   {"X5", m.regs[5]},   {"X6", m.regs[6]},        {"X7", m.regs[7]},
        {"X8", m.regs[8]},   {"X9", m.regs[9]},   {"X10", m.regs[10]},      {"X11", m.regs[11]},
        {"X12", m.regs[12]}, {"X13", m.regs[13]}, {"X14", m.regs[14]},      {"X15", m.regs[15]},
        {"X16", m.regs[16]}, {"X17", m.regs[17]}, {"X18", m.regs[18]},      {"X19", m.regs[19]},
        {"X20", m.regs[20]}, {"X21", m.regs[21]}, {"X22", m.regs[22]},      {"X23", m.regs[23]},
        {"X24", m.regs[24]}, {"X25", m.regs[25]}, {"X26", m.regs[26]},      {"X27", m.regs[27]},
        {"X28", m.regs[28]}, {"PST", m.pstate},   {"FAR", m.fault_address},
    };
    append_registers(text, registers);
#else
    (void)context;
    text.append("  (not available on this processor)\n");
#endif
}

}  // namespace

void remember_own_image() {
    OwnImage image;
    const ssize_t length = ::readlink("/proc/self/exe", image.path.data(), kMaxFileNameLength);
    if (length > 0) {
        image.path_length = static_cast<std::size_t>(length);
        for (std::size_t i = 0; i < image.path_length; ++i) {
            if (image.path[i] == '/') {
                image.name_offset = i + 1;
            }
        }
    }
    ::dl_iterate_phdr(note_main_program, &image);
    image.known = image.name_offset < image.path_length;
    own = image;
}

ImageDescription own_image() {
    if (!own.known) {
        return {};
    }
    return {std::string_view(own.path.data() + own.name_offset, own.path_length - own.name_offset),
            own.low, own.high, own.load_bias};
}

TraceStart trace_start_in_caller() {
    const auto* frame = static_cast<const std::uintptr_t*>(__builtin_frame_address(0));
    // frame[0] links to the caller's frame, the return address points into it.
    // (On s390x this function's frame address is where its caller's stack frame
    // begins, whose back chain leads to the caller's frame in the sense above.)
    return {reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)), frame[0]};
}

TraceStart trace_start_of_signal(const ucontext_t& context) {
#if defined(__x86_64__)
    return {static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RIP]),
            static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RBP])};
#elif defined(__aarch64__)
    return {static_cast<std::uintptr_t>(context.uc_mcontext.pc),
            static_cast<std::uintptr_t>(context.uc_mcontext.regs[29])};
#elif defined(__s390x__)
    // The back chain at the interrupted function's stack pointer leads to its
    // frame. A function that makes no stack frame of its own (a leaf) leaves the
    // stack pointer at its caller's frame, and then its caller is not shown. A
    // stack pointer that cannot be read (a stack overflow) leaves only the
    // interrupted instruction.
    TraceStart start{static_cast<std::uintptr_t>(context.uc_mcontext.psw.addr), 0};
    if (!read_memory_safely(static_cast<std::uintptr_t>(context.uc_mcontext.gregs[15]),
                            &start.frame, sizeof start.frame)) {
        start.frame = 0;
    }
    return start;
#else
    (void)context;
    return trace_start_in_caller();
#endif
}

bool read_memory_safely(std::uintptr_t address, void* destination, std::size_t count) {
    if (process_state().memory_probe != probe_pipe) {
        const Probe result = read_by_process_vm(address, destination, count);
        if (result != Probe::unavailable) {
            process_state().memory_probe = probe_process_vm;
            return result == Probe::copied;
        }
        process_state().memory_probe = probe_pipe;
    }
    return read_by_pipe(address, destination, count) == Probe::copied;
}

std::uint32_t shown_address(const ImageDescription& image, std::uintptr_t address) {
    const std::uintptr_t shown = image.contains(address) ? address - image.load_bias : address;
    return static_cast<std::uint32_t>(shown & 0xFFFF'FFFFu);
}

void append_frame_line(TextBuffer& text, const ImageDescription& image, std::uintptr_t address) {
    std::array<char, 128> storage;
    TextBuffer line(storage);
    line.append_left(image.contains(address) ? image.name : kUnknown, 17);
    line.append("  ");
    line.append_hex(shown_address(image, address), 8);
    line.append("  ");
    line.append_left(kUnknown, 17);
    line.append("  ");
    line.append_right(kUnknown, 10);
    line.append("  ");
    line.append(kUnknown);
    line.append('\n');
    text.append_whole(line.view());
}

void append_traceback(TextBuffer& text, TraceStart start, const ImageDescription& image,
                      TraceForm form, const ucontext_t* signal_context) {
    if (form == TraceForm::verbose) {
        if (signal_context != nullptr) {
            append_processor_state(text, *signal_context);
        }
        text.append(kVerboseTracebackHeading);
    } else {
        text.append(kTracebackHeading);
    }
    int index = 0;
    if (!append_frame(text, image, form, index++, start.code_address)) {
        return;
    }
    std::uintptr_t frame = start.frame;
    std::uintptr_t previous = 0;
    while (frame != 0) {
        // A frame lies above the one it was reached from, so a chain that turns
        // back on itself is corrupt, not endless.
        std::uintptr_t words[kReturnAddressSlot + 1];
        if (frame % alignof(std::uintptr_t) != 0 || frame <= previous ||
            !read_memory_safely(frame, words, sizeof words)) {
            text.append_whole(kAbnormalEnd);
            return;
        }
        const std::uintptr_t link = words[0];
        const std::uintptr_t return_address = words[kReturnAddressSlot];
        if (return_address == 0 || !append_frame(text, image, form, index++, return_address)) {
            return;
        }
        if (!image.contains(return_address)) {
            return;
        }
        previous = frame;
        frame = link;
    }
}

}  // namespace recio
