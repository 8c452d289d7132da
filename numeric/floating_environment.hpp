#pragma once

namespace numeric {

// Puts the process's floating-point environment into the one state the program
// ever runs in: round to nearest, ties to even; every exception (invalid, divide
// by zero, overflow, underflow, inexact and the denormal-operand exception)
// masked; no flushing of subnormal results or operands to zero. Called once,
// before the run's first step; nothing changes it afterwards and nothing reads
// the exception flags.
void set_floating_environment();

}  // namespace numeric
