// emodul: evaluates a bending test. Started without arguments; everything it needs
// comes from the console dialogue.

#include "evaluation/run_sequence.hpp"
#include "recio/process_end.hpp"

int main() {
    recio::start_up();
    return evaluation::run_evaluation();
}
