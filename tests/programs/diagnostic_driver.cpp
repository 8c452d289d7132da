// A small program for the end-to-end tests of the diagnostics: it starts up like
// the real program and then raises the condition, fault or wait that its
// arguments name, so that a test can watch the whole failure path of a real
// process (messages, traceback, signals, exit status).
//
//   normal                      normal end
//   wait                        writes "ready", reads standard input to its end, normal end
//   unit C U FILE ERRNO         condition C on a unit U with file FILE ("-": none)
//                               and pending system error ERRNO
//   end-exit C U FILE ERRNO     the same for a request with an end exit
//   no-unit C [U FILE]          condition C without a unit
//   segv | ill | stack-overflow a real fault (prints the faulting function's address)
//   fpe-divide | fpe-float      an integer or (unmasked) floating divide by zero
//   fpe-code CODE               a SIGFPE carrying the signal code CODE
//   abort                       calls std::abort
//   unreadable-chain C          condition C with a frame link that cannot be read
//   cyclic-chain C              condition C with a frame link that points to itself
//   deep N C                    condition C from N nested calls
//   alloc N [limit]             allocates KRAFT and WEG with N elements each
//                               (limit: with 256 MiB of address space)
//   reexec-ignoring SIGS CMD..  runs CMD again with SIGINT and/or SIGQUIT ignored
//   buffered FILE CMD..         opens unit 10 on FILE, writes one record, then runs CMD
//                               (with UNIO_BUFFERED the record is still unwritten)

#include <fcntl.h>
#include <link.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cfenv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "evaluation/series_allocation.hpp"
#include "failure/conditions.hpp"
#include "failure/diagnostics.hpp"
#include "failure/process_end.hpp"
#include "units/record_output.hpp"
#include "units/unit_connection.hpp"
#include "units/unit_failure.hpp"
#include "units/units.hpp"

namespace {

using recio::Condition;

void say(std::string_view text) {
    [[maybe_unused]] auto ignored = ::write(1, text.data(), text.size());
}

Condition condition_from(const std::string& text) {
    return static_cast<Condition>(std::stoi(text));
}

// The link-time address of `function`, found apart from the traceback code:
// the program's load bias comes from the loader's first entry.
std::uintptr_t link_address_of(const void* function) {
    std::uintptr_t bias = 0;
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* result) {
            *static_cast<std::uintptr_t*>(result) = info->dlpi_addr;
            return 1;
        },
        &bias);
    return reinterpret_cast<std::uintptr_t>(function) - bias;
}

void announce_function(const void* function) {
    char line[64];
    std::snprintf(line, sizeof line, "function at %08lX\n",
                  static_cast<unsigned long>(link_address_of(function)));
    say(line);
}

volatile std::uintptr_t fault_address = 16;

[[gnu::noinline]] void store_to_unmapped_page() {
    *reinterpret_cast<volatile int*>(fault_address) = 1;
}

volatile int stack_frames = 1 << 30;

// Calls itself, a page of stack a call, until the stack runs out.
[[gnu::noinline]] int exhaust_stack(int depth) {
    volatile char page[4096];
    page[depth % sizeof page] = 1;
    return depth < stack_frames ? exhaust_stack(depth + 1) + page[0] : 0;
}

[[gnu::noinline]] void execute_illegal_instruction() {
#if defined(__aarch64__)
    asm volatile("udf #0");  // the compiler's trap is a breakpoint here: SIGTRAP
#else
    __builtin_trap();
#endif
}

[[gnu::noinline]] int divide_integers(int dividend, int divisor) {
#if defined(__x86_64__)
    // In assembly, so that no sanitizer checks the division before it happens.
    int quotient = dividend;
    asm volatile("cltd\n\tidivl %1" : "+a"(quotient) : "r"(divisor) : "rdx", "cc");
    return quotient;
#else
    // The sanitizer builds are x86-64 only. The dividend goes through memory, so
    // that the compiler cannot replace the division of a known 1 by a comparison.
    // (arm64 does not trap here: its division by zero gives 0.)
    volatile int kept = dividend;
    return kept / divisor;
#endif
}

volatile double zero = 0.0;

[[gnu::noinline]] double divide_by_zero_with_trap() {
    feenableexcept(FE_DIVBYZERO);
    return 1.0 / zero;
}

void send_floating_point_signal(int code) {
    siginfo_t info{};
    info.si_signo = SIGFPE;
    info.si_code = code;
    info.si_pid = ::getpid();
    info.si_uid = ::getuid();
    ::syscall(SYS_rt_sigqueueinfo, ::getpid(), SIGFPE, &info);
}

[[gnu::noinline]] void fail_with_link(Condition condition, bool cyclic) {
    auto* volatile frame = static_cast<std::uintptr_t*>(__builtin_frame_address(0));
    // The saved link of this frame: far above every frame and unreadable, or
    // this frame itself.
    frame[0] = cyclic ? reinterpret_cast<std::uintptr_t>(frame) : ~std::uintptr_t{0xFFF};
    recio::fail_without_unit(condition);
}

volatile bool fail_at_bottom = true;

[[gnu::noinline]] int descend(int depth, Condition condition) {
    if (depth <= 1) {
        if (fail_at_bottom) {
            recio::fail_without_unit(condition);
        }
        return 0;
    }
    const int below = descend(depth - 1, condition);
    asm volatile("" ::: "memory");
    return below + 1;  // used after the call: no tail call
}

recio::UnitConnection fake_unit;

void prepare_fake_unit(const std::vector<std::string>& args) {
    fake_unit.unit = std::stoi(args.at(2));
    if (args.at(3) != "-") {
        fake_unit.file_name.assign(args.at(3));
    }
    fake_unit.pending_system_error = std::stoi(args.at(4));
}

void read_input_to_end() {
    char block[256];
    while (::read(0, block, sizeof block) > 0) {
    }
}

bool all_zero(const recio::SeriesArray& array) {
    for (const auto& value : array.elements()) {
        if (value.low != 0 || value.high != 0) {
            return false;
        }
    }
    return true;
}

void allocate_series(const std::vector<std::string>& args) {
    if (args.size() > 2 && args[2] == "limit") {
#if !defined(__SANITIZE_ADDRESS__)
        const rlimit address_space{256UL << 20, 256UL << 20};
        ::setrlimit(RLIMIT_AS, &address_space);
#endif
    }
    const std::int64_t count = std::stoll(args.at(1));
    const recio::SeriesArray kraft = recio::allocate_series_array(count);
    say("KRAFT " + std::to_string(kraft.size()) + (all_zero(kraft) ? " zero\n" : " not zero\n"));
    const recio::SeriesArray weg = recio::allocate_series_array(count);
    say("WEG " + std::to_string(weg.size()) + (all_zero(weg) ? " zero\n" : " not zero\n"));
}

[[noreturn]] void run_again_ignoring(char** argv) {
    const std::string_view which = argv[2];
    if (which.find("INT") != std::string_view::npos) {
        std::signal(SIGINT, SIG_IGN);
    }
    if (which.find("QUIT") != std::string_view::npos) {
        std::signal(SIGQUIT, SIG_IGN);
    }
    argv[2] = argv[0];
    ::execv("/proc/self/exe", argv + 2);
    std::_Exit(127);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    if (std::string_view(argv[1]) == "reexec-ignoring" && argc > 3) {
        run_again_ignoring(argv);
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    recio::start_up(recio::run_down);
    if (args.size() > 2 && args[0] == "buffered") {
        recio::write_record(recio::open_file_unit(args[1]), "first record\n");
        args.erase(args.begin(), args.begin() + 2);
    }
    const std::string& command = args[0];
    if (command == "normal") {
    } else if (command == "wait") {
        say("ready\n");
        read_input_to_end();
    } else if (command == "unit" || command == "end-exit") {
        prepare_fake_unit(args);
        const auto end_exit =
            command == "end-exit" ? recio::EndExit::present : recio::EndExit::absent;
        recio::report_on_unit(condition_from(args.at(1)), fake_unit, end_exit);
        say("returned, end reached " + std::to_string(fake_unit.end_reached) +
            ", pending system error " + std::to_string(fake_unit.pending_system_error) + "\n");
    } else if (command == "no-unit") {
        const std::int32_t unit = args.size() > 2 ? std::stoi(args[2]) : 0;
        const std::string file = args.size() > 3 ? args[3] : "";
        recio::fail_without_unit(condition_from(args.at(1)), unit, file);
    } else if (command == "segv") {
        announce_function(reinterpret_cast<const void*>(&store_to_unmapped_page));
        store_to_unmapped_page();
    } else if (command == "stack-overflow") {
        announce_function(reinterpret_cast<const void*>(&exhaust_stack));
        say(std::to_string(exhaust_stack(0)) + "\n");
    } else if (command == "ill") {
        announce_function(reinterpret_cast<const void*>(&execute_illegal_instruction));
        execute_illegal_instruction();
    } else if (command == "fpe-divide") {
        say(std::to_string(divide_integers(1, static_cast<int>(zero))) + "\n");
    } else if (command == "fpe-float") {
        say(std::to_string(divide_by_zero_with_trap()) + "\n");
    } else if (command == "fpe-code") {
        send_floating_point_signal(std::stoi(args.at(1)));
    } else if (command == "abort") {
        std::abort();
    } else if (command == "unreadable-chain" || command == "cyclic-chain") {
        fail_with_link(condition_from(args.at(1)), command == "cyclic-chain");
    } else if (command == "deep") {
        say(std::to_string(descend(std::stoi(args.at(1)), condition_from(args.at(2)))) + "\n");
    } else if (command == "alloc") {
        allocate_series(args);
    } else {
        return 2;
    }
    return recio::normal_end();
}
