// The program with the paths named by its argument (`fast` or `plain`), whose
// measurement file the test changes at chosen moments of the run: the
// differential check of the two paths under faults. Not installed.
//
// EMODUL_SCRIPT holds one step per line: a moment, then actions separated by
// " ; ", each done once, in this process, when the run reaches the moment:
//   open:N         before the N-th open of unit 10 (1: the counting pass's)
//   read:N:P       before the first read of the N-th opening from position P on
// Actions, on names relative to the working directory:
//   tick                  wait for the next tick of the coarse clock, which
//                         stamps file times on many file systems
//   rename FROM TO        FROM replaces TO, as mv does
//   overwrite FROM TO     FROM's bytes are written over TO's from its start;
//                         "kept" or "moved" is appended to the file named by
//                         EMODUL_SCRIPT_LOG, as TO's modification time stayed or
//                         not
//   truncate FILE SIZE
//   append FROM TO
//   link TARGET NAME      NAME becomes a symbolic link to TARGET
// A step that cannot be done ends the process with status 125.
//
// At its end the process writes the most memory it held at once (its resident
// set's high-water mark, in KiB) to the file named by EMODUL_PEAK_FILE: the
// parent cannot tell it, since its count of a child includes the pages the child
// shared with it before the exec.

#include <fcntl.h>
#include <sys/stat.h>
#include <sched.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <ctime>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "evaluation/run_sequence.hpp"
#include "failure/process_end.hpp"
#include "failure/process_exit.hpp"
#include "units/file_unit_watch.hpp"
#include "units/units.hpp"

namespace {

struct Step {
    int opening = 0;
    bool at_open = true;
    std::uint64_t position = 0;
    std::vector<std::vector<std::string>> actions;
    bool done = false;
};

std::vector<Step> steps;
int openings = 0;
// The texts that overwrite and append write, read before the run starts, so that
// an action at a moment of the run only writes.
std::map<std::string, std::string> sources;

[[noreturn]] void give_up(const std::string& what) {
    std::fprintf(stderr, "scripted_emodul: cannot %s\n", what.c_str());
    std::_Exit(125);
}

std::string read_whole(const std::string& name) {
    std::string contents;
    if (std::FILE* file = std::fopen(name.c_str(), "rb")) {
        char block[65536];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
            contents.append(block, got);
        }
        std::fclose(file);
        return contents;
    }
    give_up("read " + name);
}

void write_at(const std::string& name, int flags, const std::string& bytes) {
    const int descriptor = ::open(name.c_str(), O_WRONLY | flags, 0666);
    if (descriptor < 0 ||
        ::write(descriptor, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        give_up("write " + name);
    }
    ::close(descriptor);
}

// Whether writing `bytes` over the start of `name` left its modification time.
bool overwrite_keeping_the_time(const std::string& name, const std::string& bytes) {
    struct stat before {};
    struct stat after {};
    ::stat(name.c_str(), &before);
    write_at(name, 0, bytes);
    ::stat(name.c_str(), &after);
    return before.st_mtim.tv_sec == after.st_mtim.tv_sec &&
           before.st_mtim.tv_nsec == after.st_mtim.tv_nsec;
}

// File times are read from the coarse clock; a tick is a step of that clock.
using FileTime = decltype(stat::st_mtim);

void wait_for_a_tick() {
    FileTime start{};
    FileTime now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &start);
    do {
        ::sched_yield();
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    } while (now.tv_sec == start.tv_sec && now.tv_nsec == start.tv_nsec);
}

void act(const std::vector<std::string>& words) {
    const std::string& verb = words.at(0);
    const auto argument = [&](std::size_t i) -> const std::string& {
        if (i >= words.size()) {
            give_up("do " + verb + ": too few names");
        }
        return words[i];
    };
    if (verb == "tick") {
        wait_for_a_tick();
    } else if (verb == "rename") {
        if (::rename(argument(1).c_str(), argument(2).c_str()) != 0) {
            give_up("rename " + argument(1));
        }
    } else if (verb == "overwrite") {
        const bool kept = overwrite_keeping_the_time(argument(2), sources.at(argument(1)));
        if (const char* log = std::getenv("EMODUL_SCRIPT_LOG")) {
            write_at(log, O_CREAT | O_APPEND, kept ? "kept\n" : "moved\n");
        }
    } else if (verb == "append") {
        write_at(argument(2), O_APPEND, sources.at(argument(1)));
    } else if (verb == "truncate") {
        if (::truncate(argument(1).c_str(), std::stoll(argument(2))) != 0) {
            give_up("truncate " + argument(1));
        }
    } else if (verb == "link") {
        const std::string fresh = argument(2) + ".link";
        if (::symlink(argument(1).c_str(), fresh.c_str()) != 0 ||
            ::rename(fresh.c_str(), argument(2).c_str()) != 0) {
            give_up("link " + argument(2));
        }
    } else {
        give_up("do " + verb);
    }
}

void run_due_steps(bool at_open, std::uint64_t position) {
    for (Step& step : steps) {
        if (!step.done && step.at_open == at_open && step.opening == openings &&
            position >= step.position) {
            step.done = true;
            for (const auto& action : step.actions) {
                act(action);
            }
        }
    }
}

void read_script(std::string_view script) {
    std::istringstream lines{std::string(script)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string moment;
        if (!(words >> moment)) {
            continue;
        }
        Step step;
        if (std::sscanf(moment.c_str(), "read:%d:%" SCNu64, &step.opening, &step.position) == 2) {
            step.at_open = false;
        } else if (std::sscanf(moment.c_str(), "open:%d", &step.opening) != 1) {
            give_up("understand the moment " + moment);
        }
        step.actions.emplace_back();
        for (std::string word; words >> word;) {
            if (word == ";") {
                step.actions.emplace_back();
            } else {
                step.actions.back().push_back(word);
            }
        }
        for (const auto& action : step.actions) {
            if (action.size() > 1 && (action[0] == "overwrite" || action[0] == "append")) {
                sources[action[1]] = read_whole(action[1]);
            }
        }
        steps.push_back(std::move(step));
    }
}

// Only what a signal handler may do: the process may end from one.
void report_peak_memory() {
    const char* report = std::getenv("EMODUL_PEAK_FILE");
    const int status = ::open("/proc/self/status", O_RDONLY);
    if (report == nullptr || status < 0) {
        return;
    }
    char text[8192];
    const ssize_t got = ::read(status, text, sizeof text - 1);
    ::close(status);
    text[got > 0 ? got : 0] = '\0';
    const char* peak = std::strstr(text, "VmHWM:");
    const int out = ::open(report, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (peak != nullptr && out >= 0) {
        peak += 6;
        const char* end = std::strchr(peak, 'k');
        ::write(out, peak, end != nullptr ? static_cast<std::size_t>(end - peak) : 0);
    }
    if (out >= 0) {
        ::close(out);
    }
}

}  // namespace

// In place of the program's own last step.
void recio::exit_process(int status) {
    report_peak_memory();
    ::_exit(status);
}

int main(int argc, char** argv) {
    const std::string_view paths = argc > 1 ? argv[1] : "";
    if (paths != "fast" && paths != "plain") {
        std::fprintf(stderr, "usage: scripted_emodul fast|plain\n");
        return 2;
    }
    if (const char* script = std::getenv("EMODUL_SCRIPT")) {
        read_script(script);
    }
    recio::watch_file_unit({[] {
                                ++openings;
                                run_due_steps(true, 0);
                            },
                            [](std::uint64_t position) { run_due_steps(false, position); }});
    recio::start_up(recio::run_down);
    const int status = evaluation::run_evaluation(
        paths == "fast" ? evaluation::default_run_paths() : evaluation::RunPaths::plain);
    report_peak_memory();
    return status;
}
