#pragma once
// FUZZ BUILD ONLY (compile definition EMODUL_FUZZING, set by the EMODUL_FUZZ build
// in build-fuzz/). Nothing here exists in the program or its tests.
//
// The fuzz targets run the reader and the whole run many times inside one
// process. For that, the end of the process after a condition becomes an
// exception that the target catches, and the state that the process end leaves
// behind (the unit slots, the diagnostics' signal mask, nesting count and buffer
// flag, the finished run-down) is cleared before the next input.

#ifdef EMODUL_FUZZING

namespace recio::fuzzing {

// Thrown where the process would end: by end_process and by
// end_after_condition, after the diagnostic has been written and the run-down has
// run. `status` is the exit status the process would have had.
struct ProcessEnd {
    int status;
};

// Clears the state of the diagnostics and of the run-down, with the asynchronous
// signals unblocked; with recio::fuzzing::reset_unit_slots() before it the process
// is as it was before its first statement.
void reset_process_state();

}  // namespace recio::fuzzing

#endif  // EMODUL_FUZZING
