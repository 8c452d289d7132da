#pragma once
// Realistic measurement files for the benchmarks: a running number, a force and a
// displacement of 6 to 8 significant digits per record, 32 bytes a record.

#include <cstddef>
#include <ctime>
#include <string>

namespace bench {

inline constexpr std::size_t kRecordBytes = 32;

// Processor time of this process so far, in seconds: steadier than the wall clock
// on a shared machine, where other processes take turns on the same cores.
inline double processor_seconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Writes `records` records to `path`, the same ones for the same seed.
void write_measurement_file(const std::string& path, std::size_t records, unsigned seed = 1);

// A fresh directory below `parent` (/tmp, or a tmpfs such as /dev/shm), removed
// with its contents at the end of its scope.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& parent = "/tmp");
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace bench
