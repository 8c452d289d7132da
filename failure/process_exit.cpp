#include "failure/process_exit.hpp"

#include <unistd.h>

namespace recio {

void exit_process(int status) {
    ::_exit(status);
}

}  // namespace recio
