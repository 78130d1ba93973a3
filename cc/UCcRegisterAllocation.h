#pragma once
#include <functional>
#include <map>
#include <vector>

namespace llvm {
class Function;
class Instruction;
class Value;
} // namespace llvm

// Homes for the values of one function: a home register (TCcEmitter::FirstHome..LastHome)
// or, for the values that get none, a frame slot kept by the caller.
//
// Linear scan over live intervals. The instructions are numbered in block order; liveness
// is the usual backward dataflow over the CFG, with a phi's incoming value used at the end
// of its predecessor and the phi itself written there (the edge's parallel copies), so a
// phi's interval covers the end of every predecessor. A value's interval is the hull of
// the positions where it is live, from its definition (the arguments: before the first
// instruction) to its last use. An interval that ends where another starts overlaps it, so
// an instruction's result never shares a register with one of its operands: the selection
// may write the result before it has read every operand. When no register is free, the
// interval that ends last is left in its slot (spilled).
class TCcRegisterAllocation {
  public:
    // needsHome: the instructions whose result is written (not the allocas, nor an icmp that
    // only leaves the flags). everything false: only the values whose sole use is the next
    // instruction get a register (-O0), the rest stay in their slots.
    // firstHome: the lowest home register to use (up to TCcEmitter::LastHome).
    TCcRegisterAllocation(const llvm::Function& function, bool everything, int firstHome,
                          const std::function<bool(const llvm::Instruction&)>& needsHome);

    // The home register of the value, or -1 when it has none.
    int Home(const llvm::Value& value) const;
    // The last instruction, in block order, during whose code the value's home register
    // holds it (from its definition on, it holds nothing else until then); nullptr when the
    // value has no home register or is used by no instruction.
    const llvm::Instruction* LastInstruction(const llvm::Value& value) const;
    // The home registers given to some value, ascending.
    const std::vector<int>& UsedHomes() const { return FUsed; }

  private:
    std::map<const llvm::Value*, int> FHome;
    std::map<const llvm::Value*, const llvm::Instruction*> FLast;
    std::vector<int> FUsed;
};
