#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "UCcEmitter.h"
#include "UCcRegisterAllocation.h"
#include "UCcValueBits.h"

namespace llvm {
class AllocaInst;
class DominatorTree;
class Loop;
class LoopInfo;
class BasicBlock;
class BinaryOperator;
class CallInst;
class CastInst;
class DataLayout;
class ExtractValueInst;
class Function;
class InsertValueInst;
class GetElementPtrInst;
class ICmpInst;
class Instruction;
class IntrinsicInst;
class LoadInst;
class ReturnInst;
class BranchInst;
class SelectInst;
class StoreInst;
class SwitchInst;
class Type;
class Value;
} // namespace llvm

class TCcModuleLowering;

// Instruction selection for one function, one member function per IR instruction kind.
// Every value has a home (TCcRegisterAllocation): a register R5..R11 or a 16-byte frame
// slot. An instruction reads its operands where they live (Operand: a value in a register
// needs no move), computes in the scratch registers R0..R4 (and R13) and writes its result
// straight into its home register, or stores it into its slot. At -O0 only a value whose
// sole use is the next instruction gets a register; at -O1, -O2 and -Os every value may.
// A conditional branch tests its condition with CMP and jumps: an icmp, and the i1 and, or,
// select and not over such ones, whose only use is the branch, are moved down to it (above
// -O0, by the legalisation, TCcLegalize) and compute no value of their own.
//
// Calling convention:
//   arguments   in memory: the caller writes argument i at its FP+Size+64+16*i, which is
//               the callee's FP+16+16*i; a callee whose parameter has a home register loads
//               it there in its prologue
//   results     R0 (R1 a second word)
//   preserved   R5..R11 (callee-saved: each function saves the ones it uses in its frame),
//               R12, R14, R15 and SP; R0..R4 and R13 are not preserved by a call
//
// Frame (FP = R15, absolute; 16-byte slots, so a plain STORE into a slot is safe):
//   FP+0            the caller's FP
//   FP+16+16*i      argument i (written by the caller before CALL)
//   ...             a slot per value without a home register, the allocas
//   ...             the saved home registers, 16 bytes each (pushed by the prologue)
//   FP+Size         SP while the body runs; a CALL pushes its 48 bytes here, so the
//                   callee's FP is FP+Size+48 and the caller writes argument i at
//                   FP+Size+64+16*i.
// Entry: FP := SP (after the CALL's records), save the caller's FP, SP := the save area,
// PUSH the used home registers (SP is then FP + Size), load the parameters that have a
// home, and the stack check (SP at most the module's StackLimit, which leaves room for a
// call's records and arguments), which ends the program with
// TCcModuleLowering::StackOverflowValue in R0.
// Return: R0 := value, POP the saved home registers, SP := FP, FP := the saved FP, RET.
// A two-word structure returns in R0 and R1.
// Calls, dynamic allocas and the variadic argument area: UCcCallLowering.cpp. Aggregate
// values (structures and arrays as IR values) take one slot per scalar leaf: UCcAggregates.cpp.
class TCcFunctionLowering {
  public:
    // level: the optimisation level ('0', '1', '2' or 's'); above '0' values get registers.
    TCcFunctionLowering(TCcModuleLowering& module, llvm::Function& function, TCcEmitter& out, unsigned index,
                        char level = '0');
    ~TCcFunctionLowering();
    void Lower();

    // What the debug information reads after Lower: the frame offset of a value's slot and of
    // an alloca's memory (nullopt when it has none, e.g. a value carried in R11), and the
    // frame's size.
    std::optional<int64_t> SlotOffset(const llvm::Value& value) const { return Find(FSlot, &value); }
    std::optional<int64_t> AllocaOffset(const llvm::Value& value) const { return Find(FAlloca, &value); }
    int64_t FrameSize() const { return FSize; }
    // Where the frame code is, as offsets in the emitter's text: FP is this frame's from
    // FrameSet on, the saved home registers are in the frame from SavesEnd on, and each
    // return's RET (after the caller's FP is back) is [first, second). Saved: the home
    // registers the prologue saves, in order, each at FP + SaveArea + 16 * its position.
    struct TFrameCode {
        size_t FrameSet = 0, SavesEnd = 0;
        std::vector<std::pair<size_t, size_t>> Returns;
        std::vector<int> Saved;
        int64_t SaveArea = 0;
    };
    const TFrameCode& FrameCode() const { return FFrameCode; }
    // The value's home register (-1: none) and the last instruction whose code it is there
    // in (TCcRegisterAllocation::LastInstruction).
    int HomeRegister(const llvm::Value& value) const { return Home(value); }
    const llvm::Instruction* HomeLastInstruction(const llvm::Value& value) const {
        return FAllocation->LastInstruction(value);
    }

  private:
    static std::optional<int64_t> Find(const std::map<const llvm::Value*, int64_t>& map,
                                       const llvm::Value* key) {
        const auto found = map.find(key);
        return found == map.end() ? std::nullopt : std::optional<int64_t>(found->second);
    }
    // Notes, before the frame layout, the instructions of the branches' condition trees
    // (TCcLegalize::ConditionTree) and whether SP moves in the body.
    void NoteFusedAndStack();
    void LayoutFrame();
    void Prologue();
    void Select(llvm::Instruction& instruction);
    // "; FILE:LINE: source text" when the instruction starts another source line.
    void SourceComment(const llvm::Instruction& instruction);
    void SelectBinary(llvm::BinaryOperator& instruction);
    void SelectICmp(llvm::ICmpInst& instruction);
    void SelectCast(llvm::CastInst& instruction);
    void SelectLoad(llvm::LoadInst& instruction);
    void SelectStore(llvm::StoreInst& instruction);
    void SelectGep(llvm::GetElementPtrInst& instruction);
    void SelectSelect(llvm::SelectInst& instruction);
    void SelectCall(llvm::CallInst& instruction);
    void SelectIntrinsic(llvm::IntrinsicInst& instruction);
    bool SelectBuiltin(llvm::CallInst& instruction, const std::string& name);
    void SelectRet(llvm::ReturnInst& instruction);
    void SelectBr(llvm::BranchInst& instruction);
    // CMP of the icmp's operands; returns the jump taken when the icmp holds.
    std::string CompareFlags(const llvm::ICmpInst& instruction);
    void SelectSwitch(llvm::SwitchInst& instruction);
    void SelectMinMax(llvm::IntrinsicInst& instruction, bool isSigned, bool isMax);

    // Calls (UCcCallLowering.cpp).
    // reg := the address at which the callee of the next call finds its FP + offset (the
    // arguments start at offset 16): FP + Size + 48 + offset, or SP + 48 + offset when SP moves.
    void OutgoingAddress(int reg, int64_t offset, int temp);
    // Ends the program with the stack-overflow value when reg (an address) passes the limit.
    void CheckStack(int reg, int temp);
    void SelectDynamicAlloca(llvm::AllocaInst& instruction);
    void SelectVaStart(llvm::IntrinsicInst& instruction);

    // Aggregates (UCcAggregates.cpp); the legalisation has split their phis and selects.
    struct TLeaf {
        uint64_t Offset; // byte offset in memory
        llvm::Type* Type;
    };
    static bool IsAggregate(const llvm::Type& type);
    std::vector<TLeaf> Leaves(llvm::Type& type) const;
    unsigned SlotCount(llvm::Type& type) const; // 16-byte slots of a value of this type
    // reg := leaf `leaf` of an aggregate value (constant or frame slots).
    void MaterializeLeaf(int reg, const llvm::Value& value, unsigned leaf);
    void StoreLeaf(const llvm::Instruction& instruction, unsigned leaf, int reg);
    void SelectExtractValue(llvm::ExtractValueInst& instruction);
    void SelectInsertValue(llvm::InsertValueInst& instruction);
    void SelectAggregateLoad(llvm::LoadInst& instruction);
    void SelectAggregateStore(llvm::StoreInst& instruction);

    // Intrinsics (UCcIntrinsics.cpp).
    void SelectMemset(llvm::IntrinsicInst& instruction);
    void SelectMemmove(llvm::IntrinsicInst& instruction);
    void SelectWithOverflow(llvm::IntrinsicInst& instruction);
    void SelectBitCount(llvm::IntrinsicInst& instruction);
    void SelectFunnelShift(llvm::IntrinsicInst& instruction, bool left);

    // Control flow (UCcControlFlow.cpp). A branch tests its condition tree itself
    // (TCcLegalize::ConditionTree; the legalisation has moved the tree down to it).
    // Jumps to label yes when the i1 condition holds and to no when not; "" for either
    // means falling through, to the code labelled fall when that is known.
    // yesBlock and noBlock: the blocks that the two ways reach without edge code, or null.
    void BranchTo(const llvm::Value& condition, const std::string& yes, const std::string& no,
                  const std::string& fall = "", const llvm::BasicBlock* yesBlock = nullptr,
                  const llvm::BasicBlock* noBlock = nullptr);
    // The label for a jump to `via` taken when the i1 value condition holds (or not): past
    // via when via does nothing but branch on the same value.
    std::string Threaded(const llvm::BasicBlock* via, const llvm::Value& condition, bool holds,
                         const std::string& label);
    // After a CMP: jump (taken when the condition holds) to yes, else to no ("" falls through).
    void JumpOn(const std::string& jump, const std::string& yes, const std::string& no);
    // Phi copies for the edge from -> to, then the jump to `to`, left out when this is the
    // last code of the terminator and `to` follows `from`.
    void Edge(const llvm::BasicBlock& from, const llvm::BasicBlock& to, bool last);
    bool EdgeNeedsCode(const llvm::BasicBlock& from, const llvm::BasicBlock& to) const;
    // The label that a jump for the edge goes to: the block's, or the edge's copies, which
    // DeferredEdges places after the function's blocks.
    std::string EdgeTarget(const llvm::BasicBlock& from, const llvm::BasicBlock& to);
    void DeferredEdges();
    int64_t SlotOf(const llvm::Value& value) const; // -1 when the value has a home or no slot

    // Loop values (UCcLoopValues.cpp), above -O0: in each loop, the addresses of the blocks
    // that its jumps go to and the constants that its code reads may have a register through
    // the loop, set on the edges that enter it (EntryCode). EnterBlock makes the registers of
    // the loops around a block the ones that Jump, Const and ConstOperand use.
    void PrepareLoopValues();
    // The blocks that the block's terminator jumps to (not the one it falls into).
    std::vector<const llvm::BasicBlock*> JumpTargets(const llvm::BasicBlock& block) const;
    // The block's branch tests the i1 value as a value (the condition or a leaf of its tree).
    bool TestsLeaf(const llvm::BasicBlock& block, const llvm::Value& value) const;
    void EnterBlock(const llvm::BasicBlock& block);
    void EntryCode(const llvm::BasicBlock& from, const llvm::BasicBlock& to);

    // Operands and results (UCcOperands.cpp): what every selection calls. A helper writes the
    // register it is given (Result: the instruction's home register or slot) and, except
    // where said, no other but R13 (TCcEmitter::Addr, the emitter's address scratch).
    //
    // reg := the value (constant, global, alloca address, home register or frame slot).
    void Materialize(int reg, const llvm::Value& value);
    // A register holding the value, not to be changed: its home register, a loop's register
    // for a constant, else scratch after Materialize.
    int Operand(const llvm::Value& value, int scratch);
    // The instruction's result is in reg: moved to its home register or stored in its slot.
    void Result(const llvm::Instruction& instruction, int reg);
    // Where to compute the instruction's result: its home register, else scratch.
    int Target(const llvm::Instruction& instruction, int scratch) const;
    // A register holding the value sign- or zero-extended from bits to 64 (not to be
    // changed): the home register when it is extended already, else scratch (R13 is used).
    int Extended(const llvm::Value& value, unsigned bits, bool isSigned, int scratch);
    // reg := the value extended from bits (R13 is used).
    void ExtendInto(int reg, const llvm::Value& value, unsigned bits, bool isSigned);
    // CMP of the two values in signed or unsigned order (scratch R1, R2, R13); swap
    // compares b with a.
    void CompareOrdered(const llvm::Value& a, const llvm::Value& b, bool isSigned, bool swap);
    // reg := value: a MOV from the loop's register that holds it, else the constant's sequence.
    void Const(int reg, uint64_t value);
    // A register holding value, not to be changed: a loop's, else scratch after it is set.
    int ConstOperand(uint64_t value, int scratch);
    // The jump `mnemonic` to label: through the loop's register that holds the label's
    // address, else to the label itself.
    void Jump(const std::string& mnemonic, const std::string& label);
    // For the register allocation: the operand that an instruction's result is, unchanged (a
    // cast without code; null when none), and whether its code reads every operand before it
    // writes its result.
    const llvm::Value* CopyOf(const llvm::Instruction& instruction) const;
    bool InPlace(const llvm::Instruction& instruction) const;
    int Home(const llvm::Value& value) const;
    // Part of a branch's condition tree: no value of its own.
    bool IsFused(const llvm::Instruction& instruction) const;
    // An address that a plain STORE may write: a small alloca or a padded global.
    bool IsPaddedAddress(const llvm::Value& pointer) const;
    unsigned Bits(const llvm::Value& value) const; // width of an integer or pointer value
    std::string BlockLabel(const llvm::BasicBlock& block) const;
    [[noreturn]] void Fail(const llvm::Instruction& instruction, const std::string& text) const;

    TCcModuleLowering& FModule;
    llvm::Function& FFunction;
    TCcEmitter& FOut;
    const llvm::DataLayout& FLayout;
    unsigned FIndex;
    char FLevel;
    std::unique_ptr<TCcRegisterAllocation> FAllocation;
    std::unique_ptr<TCcValueBits> FBits;
    std::map<const llvm::Value*, int64_t> FSlot, FAlloca;
    std::map<const llvm::BasicBlock*, unsigned> FBlockNumber;
    std::set<const llvm::Instruction*> FFused;
    struct TDeferredEdge {
        std::string Label;
        const llvm::BasicBlock* From;
        const llvm::BasicBlock* To;
    };
    std::vector<TDeferredEdge> FDeferred;
    struct TLoopValueInfo {
        const llvm::Loop* Loop;
        const llvm::BasicBlock* Target; // a jump target, or null for a constant
        uint64_t Constant;
        std::vector<const llvm::BasicBlock*> Blocks, Entries;
        double Weight;
        int Parent; // the same value in the loop around, or -1
    };
    std::vector<TLoopValueInfo> FLoopValues;
    std::unique_ptr<llvm::DominatorTree> FDominators;
    std::unique_ptr<llvm::LoopInfo> FLoops;
    const llvm::BasicBlock* FBlock = nullptr; // the block being selected
    std::map<std::string, int> FJumpRegisters;
    std::map<uint64_t, int> FConstRegisters;
    int64_t FSaveArea = 0;    // the offset of the saved home registers
    bool FResetStack = false; // SP may move in the body (dynamic allocas)
    std::string FCommentFile;
    unsigned FCommentLine = 0;
    int64_t FSize = 0;
    TFrameCode FFrameCode;
    bool FMovingStack = false; // a dynamic alloca or stackrestore moves SP in the body
};
