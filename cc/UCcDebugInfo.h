#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "UAssembler.h"
#include "UCcEmitter.h"
#include "UCcFunctionLowering.h"
#include "UDebugInfo.h"

namespace llvm {
class DILexicalBlock;
class DILocalVariable;
class Function;
class Instruction;
class Module;
} // namespace llvm

// Collects the debug information of a compiled program while it is lowered, and resolves it
// into addresses once the assembly is assembled.
//
// Source places come from the emitter's marks (TCcEmitter::Mark, one per IR instruction):
// the code after a mark is that instruction's, at its debug location; an instruction without
// a location (and the debug intrinsics, which emit nothing) continues the place before it,
// code inlined from another function is at the line of its call, and a function's entry
// code is at the line of its definition. A row changes with the line, and keeps the column
// of the line's first instruction. Variables come from
// llvm.dbg.declare (the variable lives in an alloca's memory for the whole function) and
// llvm.dbg.value (from there on in code order, until the variable's next llvm.dbg.value, its
// value is in a slot, in a home register up to the value's last use, or is a constant).
// Only the function's own variables are kept, not those of functions inlined into it;
// complex DWARF expressions are left out.
//
// The variables' C types go into one type table (structure members, array lengths, pointer
// targets, enumerators, typedef names; see TDebugInfo::TTypeEntry), and each local declared
// in a nested block gets that block's scope: the code of the instructions whose location
// lies in the block (or in a block inside it), an instruction without a location continuing
// the block before it, as the line table does.
class TCcDebugInfo {
  public:
    // After lowering one function, whose assembly is Text()[begin, end) of out.
    void Function(const llvm::Function& function, const TCcFunctionLowering& lowering, const TCcEmitter& out,
                  size_t begin, size_t end);
    // The whole file's contents for the assembled program (without its image fields). With
    // lines false (-g0), the line table and the variables are left out.
    TDebugInfo Make(const llvm::Module& module, const std::string& assembly, const TAsmResult& result,
                    bool lines) const;

  private:
    struct TPlace {
        size_t Offset; // in the assembly text
        std::string File;
        uint32_t Line, Column;
    };
    struct TPendingLocation {
        size_t From, To; // text offsets; both 0: the whole function
        std::string Kind;
        int64_t Offset;
        // A register location ends with the code of this instruction, where the register's
        // value ends (nullptr: no such end).
        const llvm::Instruction* Until = nullptr;
    };
    struct TPendingVariable {
        const llvm::DILocalVariable* Variable;
        std::vector<TPendingLocation> Locations;
    };
    struct TFunctionRecord {
        const llvm::Function* Function;
        size_t Begin, End;
        int64_t FrameSize;
        TCcFunctionLowering::TFrameCode FrameCode;
        std::vector<TPlace> Places;
        std::vector<TPendingVariable> Variables;
        // The text ranges of each lexical block's code (nested blocks' code included).
        std::map<const llvm::DILexicalBlock*, std::vector<std::pair<size_t, size_t>>> Blocks;
    };

    std::vector<TFunctionRecord> FFunctions;
};
