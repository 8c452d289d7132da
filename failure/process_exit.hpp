#pragma once
// The last step of every end of the process, in a file of its own: a program that
// runs the requests many times in one process (the fuzz targets) links its own
// definition in place of process_exit.cpp.

namespace recio {

// Ends the process with `status` at once: no destructors, no stdio flush.
[[noreturn]] void exit_process(int status);

}  // namespace recio
