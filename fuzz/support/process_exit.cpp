// Linked into the fuzz targets in place of failure/process_exit.cpp: where the
// program would end, the target catches the end and goes on with its next input.

#include "failure/process_exit.hpp"
#include "fuzz/support/in_process.hpp"

namespace recio {

void exit_process(int status) {
    throw fuzzsupport::ProcessEnd{status};
}

}  // namespace recio
