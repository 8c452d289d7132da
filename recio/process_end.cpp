// Provisional: no signal handling yet.
#include "recio/process_end.hpp"

#include <cstdlib>

#include "numeric/floating_environment.hpp"
#include "recio/units.hpp"

namespace recio {

void start_up() { numeric::set_floating_environment(); }

int normal_end() {
    run_down();
    return 0;
}

void end_process(int status) {
    run_down();
    std::_Exit(status);
}

}  // namespace recio
