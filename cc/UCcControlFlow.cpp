// Control flow: the conditions of branches, the edges' phi copies, branches and switches.
#include <algorithm>

#include <llvm/ADT/STLExtras.h>
#include <llvm/Analysis/LoopInfo.h>
#include <llvm/IR/CFG.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>

#include "UCcAsmText.h"
#include "UCcFunctionLowering.h"
#include "UCcLegalize.h"
#include "UCcValueBits.h"

using namespace llvm;
using namespace cc_text;

namespace {

// The jump taken exactly when `jump` (after the same CMP) is not.
std::string Negated(const std::string& jump) {
    if (jump == "JE") return "JNE";
    if (jump == "JNE") return "JE";
    if (jump == "JG") return "JLE";
    return "JG";
}

} // namespace

bool TCcFunctionLowering::IsFused(const Instruction& instruction) const {
    return FFused.count(&instruction) != 0;
}

void TCcFunctionLowering::JumpOn(const std::string& jump, const std::string& yes, const std::string& no) {
    if (!yes.empty()) Jump(jump, yes);
    if (!no.empty()) Jump(yes.empty() ? Negated(jump) : "JMP", no);
}

std::string TCcFunctionLowering::Threaded(const BasicBlock* via, const Value& condition, bool holds,
                                          const std::string& label) {
    if (!via || EdgeNeedsCode(*FBlock, *via)) return label;
    auto* branch = dyn_cast<BranchInst>(via->getTerminator());
    if (!branch || !branch->isConditional() || branch->getCondition() != &condition) return label;
    for (const Instruction& instruction : *via)
        if (&instruction != branch && !isa<DbgInfoIntrinsic>(instruction)) return label;
    return EdgeTarget(*via, *branch->getSuccessor(holds ? 0 : 1));
}

void TCcFunctionLowering::BranchTo(const Value& condition, const std::string& yes, const std::string& no,
                                   const std::string& fall, const BasicBlock* yesBlock,
                                   const BasicBlock* noBlock) {
    auto* instruction = dyn_cast<Instruction>(&condition);
    if (instruction && IsFused(*instruction)) {
        if (auto* compare = dyn_cast<ICmpInst>(instruction)) return JumpOn(CompareFlags(*compare), yes, no);
        const Value *first, *second;
        bool isOr;
        if (TCcLegalize::AsLogic(*instruction, first, second, isOr)) {
            // Where the code goes on when the first test decides by falling through: the
            // following code's label, else one after the second test.
            std::string after;
            const std::string& past = fall.empty() ? (after = FOut.NewLabel()) : fall;
            if (isOr)
                BranchTo(*first, yes.empty() ? past : yes, "", fall, yesBlock, nullptr);
            else
                BranchTo(*first, "", no.empty() ? past : no, fall, nullptr, noBlock);
            BranchTo(*second, yes, no, fall, yesBlock, noBlock);
            if (!after.empty()) FOut.Label(after);
            return;
        }
        return BranchTo(*instruction->getOperand(0), no, yes, fall, noBlock, yesBlock); // a negation
    }
    const int value = Extended(condition, 1, false, 1);
    FOut.Op("CMP", R(value) + ", " + R(ConstOperand(0, 2)));
    // A successor that only tests the same value again is passed over.
    JumpOn("JNE", yes.empty() ? yes : Threaded(yesBlock, condition, true, yes),
           no.empty() ? no : Threaded(noBlock, condition, false, no));
}

bool TCcFunctionLowering::EdgeNeedsCode(const BasicBlock& from, const BasicBlock& to) const {
    for (const PHINode& phi : to.phis()) {
        const Value& source = *phi.getIncomingValueForBlock(&from);
        if (Home(phi) >= 0 ? Home(phi) != Home(source) : SlotOf(phi) != SlotOf(source)) return true;
    }
    for (const TLoopValueInfo& info : FLoopValues)
        if (info.Loop->getHeader() == &to && !info.Loop->contains(&from) && FAllocation->LoopHome(&info) >= 0)
            return true;
    return false;
}

int64_t TCcFunctionLowering::SlotOf(const Value& value) const {
    auto it = FSlot.find(&value);
    return it == FSlot.end() || Home(value) >= 0 ? int64_t{-1} : it->second;
}

std::string TCcFunctionLowering::EdgeTarget(const BasicBlock& from, const BasicBlock& to) {
    if (!EdgeNeedsCode(from, to)) return BlockLabel(to);
    const std::string label = FOut.NewLabel();
    FDeferred.push_back({label, &from, &to});
    return label;
}

void TCcFunctionLowering::DeferredEdges() {
    for (const TDeferredEdge& edge : FDeferred) {
        FOut.Mark(*edge.From->getTerminator());
        EnterBlock(*edge.From);
        FOut.Label(edge.Label);
        Edge(*edge.From, *edge.To, false);
    }
    FDeferred.clear();
}

void TCcFunctionLowering::Edge(const BasicBlock& from, const BasicBlock& to, bool last) {
    // The phis read their incoming values in parallel. Each copy goes to the phi's home
    // register or slot; a copy waits while its destination is still the source of another
    // one, and a cycle of copies is broken by moving one destination's value to a scratch
    // register first.
    struct TCopy {
        int DstReg;
        int64_t DstSlot; // when DstReg < 0
        const Value* Source;
        int SrcReg;      // -1: SrcSlot, or a value without a home (constant, address)
        int64_t SrcSlot; // -1: none
    };
    std::vector<TCopy> copies;
    for (const PHINode& phi : to.phis()) {
        const Value& source = *phi.getIncomingValueForBlock(&from);
        TCopy copy{Home(phi), SlotOf(phi), &source, Home(source), SlotOf(source)};
        if (copy.DstReg >= 0 ? copy.DstReg == copy.SrcReg : copy.DstSlot == copy.SrcSlot) continue;
        copies.push_back(copy);
    }
    auto reads = [&](const TCopy& copy, int reg, int64_t slot) {
        return reg >= 0 ? copy.SrcReg == reg : copy.SrcReg < 0 && copy.SrcSlot == slot;
    };
    auto emit = [&](const TCopy& copy) {
        int source = copy.SrcReg;
        if (copy.DstReg >= 0 && source >= 0) return FOut.Op("MOV", R(copy.DstReg) + ", " + R(source));
        const int into = copy.DstReg >= 0 ? copy.DstReg : 1;
        if (source < 0) {
            if (copy.SrcSlot >= 0)
                FOut.LoadFrame(into, copy.SrcSlot);
            else
                Materialize(into, *copy.Source);
            source = into;
        }
        if (copy.DstReg < 0) FOut.StoreFrame(copy.DstSlot, source);
    };
    std::vector<int> temps = {0, 2, 3, 4};
    while (!copies.empty()) {
        bool progress = false;
        for (size_t i = 0; i < copies.size();) {
            const TCopy& copy = copies[i];
            bool blocked = false;
            for (size_t j = 0; j < copies.size() && !blocked; ++j)
                blocked = j != i && reads(copies[j], copy.DstReg, copy.DstSlot);
            if (blocked) {
                ++i;
                continue;
            }
            emit(copy);
            copies.erase(copies.begin() + static_cast<std::ptrdiff_t>(i));
            progress = true;
        }
        if (progress) continue;
        // A cycle: save the first copy's destination in a temp that nothing reads.
        const TCopy& first = copies.front();
        int temp = -1;
        for (int candidate : temps) {
            bool used = false;
            for (const TCopy& copy : copies)
                used |= copy.SrcReg == candidate;
            if (!used) {
                temp = candidate;
                break;
            }
        }
        if (first.DstReg >= 0)
            FOut.Op("MOV", R(temp) + ", " + R(first.DstReg));
        else
            FOut.LoadFrame(temp, first.DstSlot);
        const int reg = first.DstReg;
        const int64_t slot = first.DstSlot;
        for (TCopy& copy : copies)
            if (reads(copy, reg, slot)) {
                copy.SrcReg = temp;
                copy.SrcSlot = -1;
            }
    }
    EntryCode(from, to);
    if (!last || from.getNextNode() != &to) Jump("JMP", BlockLabel(to)); // else it falls through
}

void TCcFunctionLowering::SelectBr(BranchInst& instruction) {
    const BasicBlock& from = *instruction.getParent();
    if (instruction.isUnconditional()) return Edge(from, *instruction.getSuccessor(0), true);
    const BasicBlock& yes = *instruction.getSuccessor(0);
    const BasicBlock& no = *instruction.getSuccessor(1);
    const BasicBlock* next = from.getNextNode();
    // The test jumps to one successor (through its edge's copies, placed after the function's
    // blocks) and the code goes on into the other, the one that follows when either does.
    auto fall = [&](const BasicBlock& to) {
        return EdgeNeedsCode(from, to) ? std::string() : BlockLabel(to);
    };
    if (&yes == next && &no != next) {
        BranchTo(*instruction.getCondition(), "", EdgeTarget(from, no), fall(yes), &yes, &no);
        return Edge(from, yes, true);
    }
    BranchTo(*instruction.getCondition(), EdgeTarget(from, yes), "", fall(no), &yes, &no);
    Edge(from, no, true);
}

void TCcFunctionLowering::SelectSwitch(SwitchInst& instruction) {
    const BasicBlock& from = *instruction.getParent();
    const unsigned bits = Bits(*instruction.getCondition());
    const int condition = Extended(*instruction.getCondition(), bits, false, 1);
    for (auto& item : instruction.cases()) {
        const std::string label = EdgeTarget(from, *item.getCaseSuccessor());
        FOut.Op("CMP", R(condition) + ", " + R(ConstOperand(item.getCaseValue()->getZExtValue(), 2)));
        Jump("JE", label);
    }
    Edge(from, *instruction.getDefaultDest(), true);
}
