#pragma once
#include <cstddef>
#include <vector>

namespace llvm {
class BasicBlock;
class Function;
class Instruction;
class Module;
class Type;
class Value;
} // namespace llvm

// The legalisation: the IR-to-IR rewrites that leave each function in the form that the
// instruction selection takes. It runs once, after the optimisation and the wide-integer
// split (TCcWideIntegers), before the lowering, which then only reads the IR. In this order,
// on each defined function:
//   calls       a fixed byval argument is copied into a temporary of the caller's frame (an
//               alloca in the entry block and a memcpy before the call) and the copy's address
//               is passed instead
//   aggregates  an aggregate value (structure or array) of more than MaxLeaves scalar leaves,
//               or with a leaf that is not an integer or a pointer, is refused; phis and
//               selects of aggregates are split into one per leaf, so that only scalars flow
//               through the control flow
//   constants   the constant expressions that the selection does not make (compares,
//               arithmetic, ...; TCcFunctionLowering::Materialize makes a global's address
//               plus a constant offset and the casts of those) become instructions before
//               their users (before the incoming edge's terminator for a phi)
//   branches    above -O0: a returning block that nothing falls into moves to the end, so
//               that the code before it falls into what follows; the condition tree of each
//               conditional branch (ConditionTree) moves down to the branch
// Throws TCcError, at the instruction's place, for what it refuses.
class TCcLegalize {
  public:
    static constexpr size_t MaxLeaves = 64;

    // level: the program's optimisation level; the C library's functions are legalised at
    // the level they are lowered at (TCcModuleLowering::FunctionLevel).
    static void Run(llvm::Module& module, char level);
    static void RunOn(llvm::Function& function, char level);

    // The instructions of the block's branch condition that the branch tests itself (they
    // compute no value): above -O0, the icmps and the i1 and, or, select and negation over
    // them, each in the block and used only there; at -O0 only an icmp right before the
    // branch, where clang puts it. Empty when the block ends otherwise.
    static std::vector<const llvm::Instruction*> ConditionTree(const llvm::BasicBlock& block, char level);
    // An i1 or/and (or a select of the same meaning) with its two operands; a negation (xor true).
    static bool AsLogic(const llvm::Instruction& instruction, const llvm::Value*& first,
                        const llvm::Value*& second, bool& isOr);
    static bool IsNegation(const llvm::Instruction& instruction);

    // The leaves of an aggregate type, each by its index path, in the order of its fields
    // (an array's beyond MaxLeaves + 1 are left out); their number.
    static std::vector<std::vector<unsigned>> LeafPaths(llvm::Type& type);
    static unsigned LeafCount(llvm::Type& type);
};
