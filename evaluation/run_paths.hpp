#pragma once
// Which way a run does its work.

namespace evaluation {

// The fast paths are the program: the measurement file read once where two
// passes would read the same bytes, memory reserved before the count is known,
// and helper threads for the pages, the sums and the plot rows. The plain paths
// do what the rules say in the most direct way: two passes over the measurement
// file, arrays of the counted size, the sums after loading, one plot row after
// the other, one thread. They give the same bytes in every case; the plain ones
// are kept as the oracle the fast ones are tested against, and a run takes them
// under a limit on its memory, where reserving ahead could fail where they would
// not.
enum class RunPaths { fast, plain };

// The paths a run takes by default: the fast ones, unless the process has a limit
// on its address space or data segment.
RunPaths default_run_paths();

}  // namespace evaluation
