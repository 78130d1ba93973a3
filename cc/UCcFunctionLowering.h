#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "UCcEmitter.h"

namespace llvm {
class AllocaInst;
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
// This slice keeps every IR value in a 16-byte frame slot (no register allocation): each
// instruction loads its operands into scratch registers, computes, and stores its result.
// Two exceptions save the slot: a value whose only use is the very next instruction of its
// block is carried there in R11 (which no sequence uses), and an icmp whose only use is the
// next instruction's conditional branch leaves just the flags, which the branch tests.
//
// Frame (FP = R15, absolute; 16-byte slots, so a plain STORE into a slot is safe):
//   FP+0            the caller's FP
//   FP+16+16*i      argument i (written by the caller before CALL)
//   ...             a slot per value, a second slot per phi (parallel copies), the allocas
//   FP+Size         SP while the body runs; a CALL pushes its 48 bytes here, so the
//                   callee's FP is FP+Size+48 and the caller writes argument i at
//                   FP+Size+64+16*i.
// Entry: FP := SP (after the CALL's records), save the caller's FP, SP := FP + Size, and the
// stack check (SP at most the module's StackLimit, which leaves room for a call's records and
// arguments), which ends the program with TCcModuleLowering::StackOverflowValue in R0.
// Return: R0 := value (a two-word structure: R0 and R1), SP := FP, FP := the saved FP, RET.
// Calls, dynamic allocas and the variadic argument area: UCcCallLowering.cpp. Aggregate
// values (structures and arrays as IR values) take one slot per scalar leaf: UCcAggregates.cpp.
class TCcFunctionLowering {
  public:
    TCcFunctionLowering(TCcModuleLowering& module, llvm::Function& function, TCcEmitter& out, unsigned index);
    void Lower();

  private:
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
    void SelectSwitch(llvm::SwitchInst& instruction);
    void SelectMinMax(llvm::IntrinsicInst& instruction, bool isSigned, bool isMax);

    // Calls (UCcCallLowering.cpp). PrepareCalls runs before the frame layout: it gives every
    // byval argument its copy in the caller's frame and notes whether SP moves in the body.
    void PrepareCalls();
    // reg := the address at which the callee of the next call finds its FP + offset (the
    // arguments start at offset 16): FP + Size + 48 + offset, or SP + 48 + offset when SP moves.
    void OutgoingAddress(int reg, int64_t offset, int temp);
    // Ends the program with the stack-overflow value when reg (an address) passes the limit.
    void CheckStack(int reg, int temp);
    void SelectDynamicAlloca(llvm::AllocaInst& instruction);
    void SelectVaStart(llvm::IntrinsicInst& instruction);

    // Aggregates (UCcAggregates.cpp). PrepareAggregates splits phis and selects of aggregates
    // into one per leaf before the frame layout.
    struct TLeaf {
        uint64_t Offset; // byte offset in memory
        llvm::Type* Type;
    };
    static bool IsAggregate(const llvm::Type& type);
    std::vector<TLeaf> Leaves(llvm::Type& type) const;
    unsigned SlotCount(llvm::Type& type) const; // 16-byte slots of a value of this type
    void PrepareAggregates();
    // Turns the constant expressions that Materialize does not make (compares, arithmetic, ...)
    // into instructions before their users, before the frame layout.
    void PrepareConstants();
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

    // Phi copies for the edge from -> to, then the jump to `to`, left out when this is the
    // last code of the terminator and `to` follows `from`.
    void Edge(const llvm::BasicBlock& from, const llvm::BasicBlock& to, bool last);
    std::string EdgeLabel(const llvm::BasicBlock& to);
    // reg := the value (constant, global, alloca address or frame slot).
    void Materialize(int reg, const llvm::Value& value);
    void Result(const llvm::Instruction& instruction, int reg);
    // An address that a plain STORE may write: a small alloca or a padded global.
    // True when the value goes straight to the next instruction (R11 or the flags).
    static bool IsCarried(const llvm::Instruction& instruction);
    bool IsPaddedAddress(const llvm::Value& pointer) const;
    unsigned Bits(const llvm::Value& value) const; // width of an integer or pointer value
    std::string BlockLabel(const llvm::BasicBlock& block) const;
    [[noreturn]] void Fail(const llvm::Instruction& instruction, const std::string& text) const;

    TCcModuleLowering& FModule;
    llvm::Function& FFunction;
    TCcEmitter& FOut;
    const llvm::DataLayout& FLayout;
    unsigned FIndex;
    std::map<const llvm::Value*, int64_t> FSlot, FPhiTemp, FAlloca;
    std::map<const llvm::BasicBlock*, unsigned> FBlockNumber;
    const llvm::Value* FCarried = nullptr; // the value in R11, for the next instruction only
    std::string FFusedJump;                // the jump of a fused icmp, for the next branch
    static constexpr int Carry = 11;
    std::string FCommentFile;
    unsigned FCommentLine = 0;
    int64_t FSize = 0;
    bool FMovingStack = false; // a dynamic alloca or stackrestore moves SP in the body
};
