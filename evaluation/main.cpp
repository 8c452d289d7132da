// emodul: evaluates a bending test. Started without arguments; everything it needs
// comes from the console dialogue.

#include "evaluation/run_sequence.hpp"
#include "failure/process_end.hpp"
#include "units/units.hpp"

int main() {
    recio::start_up(recio::run_down);
    return evaluation::run_evaluation();
}
