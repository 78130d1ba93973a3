#pragma once
#include <functional>
#include <map>
#include <vector>

namespace llvm {
class BasicBlock;
class Function;
class Instruction;
class Value;
} // namespace llvm

// Homes for the values of one function: a home register (TCcEmitter::FirstHome..LastHome)
// or, for the values that get none, a frame slot kept by the caller.
//
// Live ranges with holes over numbered positions: each instruction at an even position, and
// after each block's terminator an odd position, its edges, where the phi copies happen (the
// incoming values are read there and the phis written). Liveness is the usual backward
// dataflow over the CFG. A value's range in a block runs from its definition (or the block's
// start) to its last use (or the block's edges); a definition overlaps the operands read by
// the same instruction, so a result never shares a register with an operand: the selection
// may write the result before it has read every operand.
//
// Before the registers are given out, values are grouped, and a group gets one home (or one
// slot): a copy (an instruction that emits no code, see copyOf) joins its operand, and a phi
// joins each incoming value whose range does not meet the phi's group but at the edge where
// it is copied, so that the copy goes away. Groups are then placed in order of start in the
// first register free for all their ranges; when none is free, the groups in the way are
// moved out to their slots if each weighs less for its length (the weight: uses and
// definitions, 8 times for each loop around them), else the new group stays in its slot.
//
// Loop values (the addresses of jump targets, constants) ask for a register through the
// whole of a loop, written on the edges that enter it; they are weighed like the others and
// simply get no home when they lose.
class TCcRegisterAllocation {
  public:
    struct TLoopValue {
        const void* Key;
        std::vector<const llvm::BasicBlock*> Blocks;  // the loop
        std::vector<const llvm::BasicBlock*> Entries; // the blocks outside it that jump in
        double Weight;                                // what a home saves
        int Parent; // the same value of the loop around (an index), whose home serves this one too
    };
    // needsHome: the instructions whose result is written (not the allocas, nor the
    // conditions that branches test). everything false: only the values whose sole use is the
    // next instruction get a register (-O0), the rest stay in their slots, ungrouped.
    // copyOf: the operand whose register an instruction's result is, unchanged (or null).
    // inPlace: the instruction's code reads all its operands before it writes its result, so
    // that a phi may share a home with it and with the operand it reads last.
    // firstHome: the lowest home register to use (up to TCcEmitter::LastHome).
    TCcRegisterAllocation(const llvm::Function& function, bool everything, int firstHome,
                          const std::function<bool(const llvm::Instruction&)>& needsHome,
                          const std::function<const llvm::Value*(const llvm::Instruction&)>& copyOf,
                          const std::function<bool(const llvm::Instruction&)>& inPlace,
                          const std::vector<TLoopValue>& loopValues);

    // The home register of the value, or -1 when it has none.
    int Home(const llvm::Value& value) const;
    // The home of a loop value, or -1.
    int LoopHome(const void* key) const;
    // The value that stands for the value's group (the value itself when ungrouped): the
    // members of a group without a home share its slot.
    const llvm::Value& Representative(const llvm::Value& value) const;
    // True for a copy, which shares its operand's home or slot.
    bool IsCopy(const llvm::Value& value) const { return FCopies.count(&value) != 0; }
    // The last instruction, in block order, during whose code the value's home register
    // holds it (from its definition on, it holds nothing else until then); nullptr when the
    // value has no home register or is used by no instruction.
    const llvm::Instruction* LastInstruction(const llvm::Value& value) const;
    // The home registers given to some value, ascending.
    const std::vector<int>& UsedHomes() const { return FUsed; }

  private:
    // The phases of the allocation, in the order they run; each reads what the ones before it
    // left in the work and adds its own part.
    struct TWork;
    // Numbers the values that may get a home (above -O0 the integer and pointer arguments
    // too; at -O0 only the values whose sole use is the next instruction), then the loop values.
    void NumberValues(TWork& work);
    // Positions: instruction k of the function at 2k; a block's edges (its phi copies) at the
    // odd position after its last instruction.
    void NumberPositions(TWork& work);
    // The values live into and out of each block (a phi's inputs live out of its predecessors).
    void Liveness(TWork& work);
    // Each value's range: one segment per block where it is live, a phi's write on each of
    // its incoming edges; a loop value's: its loop's blocks and the edges that enter it.
    void BuildRanges(TWork& work);
    // Each value's weight: its uses and its definition, 8 times for each loop around them (at
    // most 4); a loop value's is what its register saves.
    void Weigh(TWork& work);
    // Above -O0: a copy joins its operand's group, a phi the groups of the inputs whose
    // ranges do not meet its own but where the copy would be (FCopies).
    void Group(TWork& work);
    // Gives each group, in order of start (inner loops' values last), the first register free
    // for all its ranges, else evicts the groups in the way when each weighs less for its
    // length; a group that gets none keeps its slot.
    void Place(TWork& work);
    // FHome, FLoopHome, FRepresentative and FUsed from the placed groups.
    void RecordHomes(TWork& work);
    // FLast: where each homed value's first unbroken run of positions ends.
    void RecordLastInstructions(TWork& work);

    std::map<const llvm::Value*, int> FHome;
    std::map<const void*, int> FLoopHome;
    std::map<const llvm::Value*, const llvm::Value*> FRepresentative;
    std::map<const llvm::Value*, bool> FCopies;
    std::map<const llvm::Value*, const llvm::Instruction*> FLast;
    std::vector<int> FUsed;
};
