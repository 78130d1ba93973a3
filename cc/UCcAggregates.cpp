// Aggregate values: structures and arrays held as IR values (a coerced structure returned in
// two words, the {value, overflow} pair of the *.with.overflow intrinsics, what -O0 loads and
// stores whole). Such a value takes one 16-byte frame slot per scalar leaf, in the order of
// its fields; extractvalue and insertvalue copy leaves. Phis and selects of aggregates are
// split into one per leaf by the legalisation (TCcLegalize), so that only scalars flow
// through the control flow.
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/Instructions.h>

#include "UCcFunctionLowering.h"
#include "UCcLegalize.h"
#include "UCcSequences.h"

using namespace llvm;

namespace {

std::string R(int number) {
    return TCcEmitter::Reg(number);
}

// The number of leaves before the member at `indices` of an aggregate type; type becomes that member's.
unsigned FirstLeaf(Type*& type, ArrayRef<unsigned> indices) {
    unsigned first = 0;
    for (unsigned index : indices) {
        if (auto* structure = dyn_cast<StructType>(type)) {
            for (unsigned i = 0; i < index; ++i)
                first += TCcLegalize::LeafCount(*structure->getElementType(i));
            type = structure->getElementType(index);
        } else {
            type = cast<ArrayType>(type)->getElementType();
            first += index * TCcLegalize::LeafCount(*type);
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
    for (const std::vector<unsigned>& path : TCcLegalize::LeafPaths(type)) {
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
    return IsAggregate(type) ? TCcLegalize::LeafCount(type) : 1;
}

void TCcFunctionLowering::MaterializeLeaf(int reg, const Value& value, unsigned leaf) {
    if (auto* constant = dyn_cast<Constant>(&value)) {
        Type* type = constant->getType();
        std::vector<unsigned> path = TCcLegalize::LeafPaths(*type).at(leaf);
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
    for (unsigned leaf = 0; leaf < TCcLegalize::LeafCount(*type); ++leaf) {
        MaterializeLeaf(1, *instruction.getAggregateOperand(), first + leaf);
        StoreLeaf(instruction, leaf, 1);
    }
}

void TCcFunctionLowering::SelectInsertValue(InsertValueInst& instruction) {
    Type* type = instruction.getType();
    const unsigned first = FirstLeaf(type, instruction.getIndices());
    const unsigned count = SlotCount(*type);
    for (unsigned leaf = 0; leaf < TCcLegalize::LeafCount(*instruction.getType()); ++leaf) {
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
