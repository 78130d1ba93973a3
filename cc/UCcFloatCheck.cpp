#include "UCcFloatCheck.h"

#include <set>
#include <utility>

#include <llvm/IR/DebugInfo.h>
#include <llvm/IR/DebugInfoMetadata.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Module.h>

using namespace llvm;

namespace {

const char Message[] = "floating point is not supported on this machine";

bool HasFloat(Type* type) {
    if (type->isFloatingPointTy()) return true;
    if (type->isVectorTy()) return HasFloat(cast<VectorType>(type)->getElementType());
    if (type->isArrayTy()) return HasFloat(type->getArrayElementType());
    if (auto* structure = dyn_cast<StructType>(type))
        for (Type* element : structure->elements())
            if (HasFloat(element)) return true;
    if (auto* function = dyn_cast<FunctionType>(type)) {
        if (HasFloat(function->getReturnType())) return true;
        for (Type* parameter : function->params())
            if (HasFloat(parameter)) return true;
    }
    return false;
}

bool UsesFloat(const Instruction& instruction) {
    if (isa<DbgInfoIntrinsic>(instruction)) return false;
    if (HasFloat(instruction.getType())) return true;
    for (const Use& operand : instruction.operands())
        if (HasFloat(operand->getType())) return true;
    if (auto* alloca = dyn_cast<AllocaInst>(&instruction)) return HasFloat(alloca->getAllocatedType());
    if (auto* call = dyn_cast<CallBase>(&instruction)) return HasFloat(call->getFunctionType());
    return false;
}

} // namespace

std::vector<TCcError> TCcFloatCheck::Check(const Module& module) {
    std::vector<TCcError> errors;
    std::set<std::pair<std::string, unsigned>> lines;
    auto report = [&](std::string file, unsigned line, unsigned column) {
        if (file.empty()) file = module.getSourceFileName();
        if (lines.insert({file, line}).second) errors.emplace_back(file, line, column, Message);
    };
    for (const GlobalVariable& global : module.globals()) {
        if (!HasFloat(global.getValueType())) continue;
        SmallVector<DIGlobalVariableExpression*, 1> debug;
        global.getDebugInfo(debug);
        if (!debug.empty())
            report(debug.front()->getVariable()->getFilename().str(), debug.front()->getVariable()->getLine(),
                   0);
        else
            report({}, 0, 0);
    }
    for (const Function& function : module) {
        if (function.isDeclaration()) continue;
        for (const BasicBlock& block : function)
            for (const Instruction& instruction : block) {
                if (!UsesFloat(instruction)) continue;
                const DILocation* location = instruction.getDebugLoc().get();
                if (!location) // an alloca: the place of its variable's declaration
                    for (const DbgVariableIntrinsic* declare :
                         FindDbgAddrUses(const_cast<Instruction*>(&instruction)))
                        if ((location = declare->getDebugLoc().get())) break;
                if (location)
                    report(location->getFilename().str(), location->getLine(), location->getColumn());
                else if (const DISubprogram* program = function.getSubprogram())
                    report(program->getFilename().str(), program->getLine(), 0);
                else
                    report({}, 0, 0);
            }
    }
    return errors;
}
