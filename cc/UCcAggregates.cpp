// Aggregate values: structures and arrays held as IR values (a coerced structure returned in
// two words, the {value, overflow} pair of the *.with.overflow intrinsics, what -O0 loads and
// stores whole). Such a value takes one 16-byte frame slot per scalar leaf, in the order of
// its fields; extractvalue and insertvalue copy leaves. Phis and selects of aggregates are
// split into one per leaf before the frame layout, so that only scalars flow through the
// control flow.
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/IRBuilder.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/Operator.h>

#include "UCcFunctionLowering.h"
#include "UCcSequences.h"

using namespace llvm;

namespace {

std::string R(int number) {
    return TCcEmitter::Reg(number);
}

// A structure with more leaves is refused: each leaf is a frame slot and copies are unrolled.
constexpr size_t MaxLeaves = 64;

// The index paths of the leaves of an aggregate type, in order.
void LeafPaths(Type& type, std::vector<unsigned>& path, std::vector<std::vector<unsigned>>& paths) {
    if (auto* structure = dyn_cast<StructType>(&type)) {
        for (unsigned i = 0; i < structure->getNumElements(); ++i) {
            path.push_back(i);
            LeafPaths(*structure->getElementType(i), path, paths);
            path.pop_back();
        }
    } else if (auto* array = dyn_cast<ArrayType>(&type)) {
        for (unsigned i = 0; i < array->getNumElements() && paths.size() <= MaxLeaves; ++i) {
            path.push_back(i);
            LeafPaths(*array->getElementType(), path, paths);
            path.pop_back();
        }
    } else {
        paths.push_back(path);
    }
}

std::vector<std::vector<unsigned>> LeafPaths(Type& type) {
    std::vector<unsigned> path;
    std::vector<std::vector<unsigned>> paths;
    LeafPaths(type, path, paths);
    return paths;
}

// The number of leaves before member `index` of an aggregate type, and that member's type.
unsigned LeafCount(Type& type) {
    if (auto* structure = dyn_cast<StructType>(&type)) {
        unsigned count = 0;
        for (Type* element : structure->elements())
            count += LeafCount(*element);
        return count;
    }
    if (auto* array = dyn_cast<ArrayType>(&type))
        return static_cast<unsigned>(array->getNumElements()) * LeafCount(*array->getElementType());
    return 1;
}

unsigned FirstLeaf(Type*& type, ArrayRef<unsigned> indices) {
    unsigned first = 0;
    for (unsigned index : indices) {
        if (auto* structure = dyn_cast<StructType>(type)) {
            for (unsigned i = 0; i < index; ++i)
                first += LeafCount(*structure->getElementType(i));
            type = structure->getElementType(index);
        } else {
            type = cast<ArrayType>(type)->getElementType();
            first += index * LeafCount(*type);
        }
    }
    return first;
}

} // namespace

bool TCcFunctionLowering::IsAggregate(const Type& type) {
    return type.isStructTy() || type.isArrayTy();
}

std::vector<TCcFunctionLowering::TLeaf> TCcFunctionLowering::Leaves(Type& type) const {
    std::vector<TLeaf> leaves;
    for (const std::vector<unsigned>& path : LeafPaths(type)) {
        Type* leaf = &type;
        uint64_t offset = 0;
        for (unsigned index : path) {
            if (auto* structure = dyn_cast<StructType>(leaf)) {
                offset += FLayout.getStructLayout(structure)->getElementOffset(index);
                leaf = structure->getElementType(index);
            } else {
                leaf = cast<ArrayType>(leaf)->getElementType();
                offset += index * FLayout.getTypeAllocSize(leaf);
            }
        }
        leaves.push_back({offset, leaf});
    }
    return leaves;
}

unsigned TCcFunctionLowering::SlotCount(Type& type) const {
    return IsAggregate(type) ? LeafCount(type) : 1;
}

void TCcFunctionLowering::PrepareAggregates() {
    std::vector<Instruction*> split;
    for (BasicBlock& block : FFunction)
        for (Instruction& instruction : block) {
            if (!IsAggregate(*instruction.getType())) continue;
            if (LeafCount(*instruction.getType()) > MaxLeaves)
                Fail(instruction, "aggregate values of more than 64 fields are not supported");
            for (const TLeaf& leaf : Leaves(*instruction.getType()))
                if (!leaf.Type->isIntOrPtrTy())
                    Fail(instruction,
                         "aggregates of this type are not supported (only integers and pointers)");
            if (isa<PHINode>(instruction) || isa<SelectInst>(instruction)) split.push_back(&instruction);
        }
    for (Instruction* instruction : split) {
        Type* type = instruction->getType();
        IRBuilder<> after(instruction->getParent(), instruction->getParent()->getFirstInsertionPt());
        if (isa<SelectInst>(instruction)) after.SetInsertPoint(instruction);
        after.SetCurrentDebugLocation(instruction->getDebugLoc());
        Value* whole = UndefValue::get(type);
        for (const std::vector<unsigned>& path : LeafPaths(*type)) {
            Value* leaf = nullptr;
            if (auto* phi = dyn_cast<PHINode>(instruction)) {
                Type* leafType = ExtractValueInst::getIndexedType(type, path);
                IRBuilder<> first(phi);
                PHINode* part = first.CreatePHI(leafType, phi->getNumIncomingValues());
                for (unsigned i = 0; i < phi->getNumIncomingValues(); ++i) {
                    IRBuilder<> edge(phi->getIncomingBlock(i)->getTerminator());
                    part->addIncoming(edge.CreateExtractValue(phi->getIncomingValue(i), path),
                                      phi->getIncomingBlock(i));
                }
                leaf = part;
            } else {
                auto* select = cast<SelectInst>(instruction);
                leaf = after.CreateSelect(select->getCondition(),
                                          after.CreateExtractValue(select->getTrueValue(), path),
                                          after.CreateExtractValue(select->getFalseValue(), path));
            }
            whole = after.CreateInsertValue(whole, leaf, path);
        }
        instruction->replaceAllUsesWith(whole);
        instruction->eraseFromParent();
    }
}

void TCcFunctionLowering::MaterializeLeaf(int reg, const Value& value, unsigned leaf) {
    if (auto* constant = dyn_cast<Constant>(&value)) {
        Type* type = constant->getType();
        std::vector<unsigned> path = LeafPaths(*type).at(leaf);
        const Constant* part = constant;
        for (unsigned index : path)
            part = part->getAggregateElement(index);
        if (!part)
            Fail(*FFunction.getEntryBlock().begin(), "an aggregate constant of this kind is not supported");
        return Materialize(reg, *part);
    }
    FOut.LoadFrame(reg, FSlot.at(&value) + 16 * static_cast<int64_t>(leaf));
}

void TCcFunctionLowering::StoreLeaf(const Instruction& instruction, unsigned leaf, int reg) {
    FOut.StoreFrame(FSlot.at(&instruction) + 16 * static_cast<int64_t>(leaf), reg);
}

void TCcFunctionLowering::SelectExtractValue(ExtractValueInst& instruction) {
    Type* type = instruction.getAggregateOperand()->getType();
    const unsigned first = FirstLeaf(type, instruction.getIndices());
    if (!IsAggregate(*type)) {
        MaterializeLeaf(1, *instruction.getAggregateOperand(), first);
        return Result(instruction, 1);
    }
    for (unsigned leaf = 0; leaf < LeafCount(*type); ++leaf) {
        MaterializeLeaf(1, *instruction.getAggregateOperand(), first + leaf);
        StoreLeaf(instruction, leaf, 1);
    }
}

void TCcFunctionLowering::SelectInsertValue(InsertValueInst& instruction) {
    Type* type = instruction.getType();
    const unsigned first = FirstLeaf(type, instruction.getIndices());
    const unsigned count = SlotCount(*type);
    for (unsigned leaf = 0; leaf < LeafCount(*instruction.getType()); ++leaf) {
        if (leaf >= first && leaf < first + count) {
            if (IsAggregate(*type))
                MaterializeLeaf(1, *instruction.getInsertedValueOperand(), leaf - first);
            else
                Materialize(1, *instruction.getInsertedValueOperand());
        } else {
            MaterializeLeaf(1, *instruction.getAggregateOperand(), leaf);
        }
        StoreLeaf(instruction, leaf, 1);
    }
}

void TCcFunctionLowering::SelectAggregateLoad(LoadInst& instruction) {
    const std::vector<TLeaf> leaves = Leaves(*instruction.getType());
    for (unsigned leaf = 0; leaf < leaves.size(); ++leaf) {
        Materialize(1, *instruction.getPointerOperand());
        if (leaves[leaf].Offset) {
            FOut.Const(2, leaves[leaf].Offset);
            FOut.Op("ADD", R(1) + ", " + R(1) + ", " + R(2));
        }
        FOut.Op("LOAD", R(2) + ", [" + R(1) + "]");
        StoreLeaf(instruction, leaf, 2);
    }
}

void TCcFunctionLowering::SelectAggregateStore(StoreInst& instruction) {
    Value& value = *instruction.getValueOperand();
    const std::vector<TLeaf> leaves = Leaves(*value.getType());
    for (unsigned leaf = 0; leaf < leaves.size(); ++leaf) {
        Materialize(1, *instruction.getPointerOperand());
        if (leaves[leaf].Offset) {
            FOut.Const(2, leaves[leaf].Offset);
            FOut.Op("ADD", R(1) + ", " + R(1) + ", " + R(2));
        }
        MaterializeLeaf(2, value, leaf);
        const auto bytes = static_cast<unsigned>(FLayout.getTypeStoreSize(leaves[leaf].Type));
        TCcSequences::StoreBytes(FOut, 1, 2, bytes, 3, 4);
    }
}

namespace {

// True when Materialize makes the constant itself: an address in a global plus a constant
// offset, or a cast of such a constant.
bool IsMadeDirectly(const Constant& constant, const DataLayout& layout) {
    auto* expression = dyn_cast<ConstantExpr>(&constant);
    if (!expression) return true;
    if (auto* gep = dyn_cast<GEPOperator>(expression)) {
        APInt offset(64, 0);
        return isa<GlobalValue>(gep->getPointerOperand()->stripPointerCasts()) &&
               gep->accumulateConstantOffset(layout, offset);
    }
    return expression->isCast() && IsMadeDirectly(*expression->getOperand(0), layout);
}

} // namespace

void TCcFunctionLowering::PrepareConstants() {
    std::vector<Instruction*> work;
    for (BasicBlock& block : FFunction)
        for (Instruction& instruction : block)
            work.push_back(&instruction);
    while (!work.empty()) {
        Instruction* user = work.back();
        work.pop_back();
        for (unsigned i = 0; i < user->getNumOperands(); ++i) {
            auto* expression = dyn_cast<ConstantExpr>(user->getOperand(i));
            if (!expression || IsMadeDirectly(*expression, FLayout)) continue;
            Instruction* made = expression->getAsInstruction();
            auto* phi = dyn_cast<PHINode>(user);
            made->insertBefore(phi ? phi->getIncomingBlock(i)->getTerminator() : user);
            made->setDebugLoc(user->getDebugLoc());
            user->setOperand(i, made);
            work.push_back(made);
        }
    }
}
