#pragma once
// A seam for tests of a run whose measurement file changes while it is read: a
// test program may watch unit 10 and change the file at chosen moments. The
// program itself watches nothing.

#include <cstdint>

namespace recio {

struct FileUnitWatch {
    void (*before_open)() = nullptr;                      // each open of unit 10
    void (*before_read)(std::uint64_t position) = nullptr;  // each read of its file
};

void watch_file_unit(FileUnitWatch watch);

// Called by the record layer before it reads unit 10's file at `position`.
void before_file_unit_read(std::uint64_t position);

}  // namespace recio
