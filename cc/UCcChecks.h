#pragma once
#include <vector>

#include "UCcError.h"

namespace llvm {
class Module;
}

// The checks of a program's unoptimised IR (before any pass could fold away what they look
// for, so that every optimisation level finds the same). Each check is a row of a table: its
// severity, its message, and what it looks for in a global variable and in an instruction; a
// check reports each source line once. An error ends the compilation after every diagnostic
// is printed; a warning is printed and the compilation goes on. The checks:
//   error    floating point: values, operands, parameters, results and globals of a
//            floating-point type ("floating point is not supported on this machine")
class TCcChecks {
  public:
    // The diagnostics in the order found: the globals' first, then each function's.
    static std::vector<TCcDiagnostic> Run(const llvm::Module& module);
    static bool HasError(const std::vector<TCcDiagnostic>& diagnostics);
};
