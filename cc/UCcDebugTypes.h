#pragma once
#include <cstdint>
#include <map>

#include "UDebugInfo.h"

namespace llvm {
class DIType;
} // namespace llvm

// Builds the type table of the debug information (TDebugInfo::Types) from LLVM's debug
// metadata: each C type once, referred to by index, so that recursive structures (a node
// that points to its own type) end. Qualifiers and typedefs are entries of their own;
// restrict and _Atomic are left out (they do not change how a value reads); an array of
// several dimensions is an array of arrays.
class TCcDebugTypes {
  public:
    // The type's index in Types() (added with everything it refers to); -1 for void.
    int64_t Add(const llvm::DIType* type);
    std::vector<TDebugInfo::TTypeEntry>& Types() { return FTypes; }

    // The C type's name, size and how its bytes read as a single value (the variable's
    // "type" member, which readers without the table use).
    static TDebugInfo::TType Describe(const llvm::DIType* type);

  private:
    std::vector<TDebugInfo::TTypeEntry> FTypes;
    std::map<const llvm::DIType*, int64_t> FIndex;
};
