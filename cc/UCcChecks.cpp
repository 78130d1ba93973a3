#include "UCcChecks.h"

#include <algorithm>
#include <set>
#include <tuple>

#include <llvm/IR/DebugInfo.h>
#include <llvm/IR/DebugInfoMetadata.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Module.h>

using namespace llvm;

namespace {

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

bool GlobalUsesFloat(const GlobalVariable& global) {
    return HasFloat(global.getValueType());
}

bool UsesFloat(const Instruction& instruction) {
    if (HasFloat(instruction.getType())) return true;
    for (const Use& operand : instruction.operands())
        if (HasFloat(operand->getType())) return true;
    if (auto* alloca = dyn_cast<AllocaInst>(&instruction)) return HasFloat(alloca->getAllocatedType());
    if (auto* call = dyn_cast<CallBase>(&instruction)) return HasFloat(call->getFunctionType());
    return false;
}

struct TCheck {
    TCcDiagnostic::TSeverity Severity;
    const char* Message;
    bool (*FindsInGlobal)(const GlobalVariable& global); // null: globals are not checked
    bool (*FindsIn)(const Instruction& instruction);     // null: instructions are not checked
};

const TCheck Checks[] = {
    {TCcDiagnostic::TSeverity::Error, "floating point is not supported on this machine", GlobalUsesFloat,
     UsesFloat},
};

} // namespace

std::vector<TCcDiagnostic> TCcChecks::Run(const Module& module) {
    std::vector<TCcDiagnostic> diagnostics;
    std::set<std::tuple<const TCheck*, std::string, unsigned>> lines;
    auto report = [&](const TCheck& check, std::string file, unsigned line, unsigned column) {
        if (file.empty()) file = module.getSourceFileName();
        if (lines.insert({&check, file, line}).second)
            diagnostics.push_back({check.Severity, file, line, column, check.Message});
    };
    for (const GlobalVariable& global : module.globals())
        for (const TCheck& check : Checks) {
            if (!check.FindsInGlobal || !check.FindsInGlobal(global)) continue;
            SmallVector<DIGlobalVariableExpression*, 1> debug;
            global.getDebugInfo(debug);
            if (!debug.empty())
                report(check, debug.front()->getVariable()->getFilename().str(),
                       debug.front()->getVariable()->getLine(), 0);
            else
                report(check, {}, 0, 0);
        }
    for (const Function& function : module) {
        if (function.isDeclaration()) continue;
        for (const BasicBlock& block : function)
            for (const Instruction& instruction : block) {
                if (isa<DbgInfoIntrinsic>(instruction)) continue;
                for (const TCheck& check : Checks) {
                    if (!check.FindsIn || !check.FindsIn(instruction)) continue;
                    const DILocation* location = instruction.getDebugLoc().get();
                    if (!location) // an alloca: the place of its variable's declaration
                        for (const DbgVariableIntrinsic* declare :
                             FindDbgAddrUses(const_cast<Instruction*>(&instruction)))
                            if ((location = declare->getDebugLoc().get())) break;
                    if (location)
                        report(check, location->getFilename().str(), location->getLine(), location->getColumn());
                    else if (const DISubprogram* program = function.getSubprogram())
                        report(check, program->getFilename().str(), program->getLine(), 0);
                    else
                        report(check, {}, 0, 0);
                }
            }
    }
    return diagnostics;
}

bool TCcChecks::HasError(const std::vector<TCcDiagnostic>& diagnostics) {
    return std::any_of(diagnostics.begin(), diagnostics.end(), [](const TCcDiagnostic& diagnostic) {
        return diagnostic.Severity == TCcDiagnostic::TSeverity::Error;
    });
}
