#pragma once
#include "URunLoop.h"

// The word-dispatch loop that RunLoop replaced (fetch, look up by top byte, test the control
// word after every instruction), with RunLoop's contract. Only the benchmarks use it, as the
// baseline that the decoding loop is measured against.
TRunResult RunLoopBaseline(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps = UINT64_MAX);
TRunResult RunLoopBaselineUncounted(TCCPUBase& cpu, TRunControl& control);
