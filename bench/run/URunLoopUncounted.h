#pragma once
#include "URunLoop.h"

// The window's run loop as it was before the run clock (no budget, no count: Executed is 0),
// for bench_run_loop's side-by-side figures.
TRunResult RunLoopUncountedBaseline(TCCPUBase& cpu, TRunControl& control);
