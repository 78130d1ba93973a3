#pragma once
#include <vector>

#include "UCcError.h"

namespace llvm {
class Module;
}

// Finds floating point in unoptimised IR (before any pass could fold it away, so that every
// optimisation level refuses the same programs): values, operands, parameters, results and
// globals of a floating-point type. One error per source line.
class TCcFloatCheck {
  public:
    static std::vector<TCcError> Check(const llvm::Module& module);
};
