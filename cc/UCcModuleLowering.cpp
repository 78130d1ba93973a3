#include "UCcModuleLowering.h"

#include <fstream>

#include <llvm/IR/Constants.h>
#include <llvm/IR/DebugInfoMetadata.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/GlobalVariable.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/Operator.h>

#include "UCcError.h"
#include "UCcFunctionLowering.h"
#include "UCcSequences.h"

using namespace llvm;

namespace {

std::string R(int number) {
    return TCcEmitter::Reg(number);
}

} // namespace

TCcModuleLowering::TCcModuleLowering(Module& module, int64_t memorySize, char level)
    : FModule(module), FMemorySize(memorySize), FLevel(level) {
    FStackLimit = module.getGlobalVariable(StackLimitName);
    if (FStackLimit && FStackLimit->isDeclaration()) FStackLimit = nullptr;
}

void TCcModuleLowering::LoadStackLimit(TCcEmitter& out, int reg) const {
    if (!FStackLimit) return out.Const(reg, static_cast<uint64_t>(StackLimit()));
    out.Address(reg, Label(*FStackLimit));
    out.Op("LOAD", R(reg) + ", [" + R(reg) + "]");
}

const DataLayout& TCcModuleLowering::Layout() const {
    return FModule.getDataLayout();
}

const std::string& TCcModuleLowering::SourceLine(const std::string& path, unsigned line) {
    static const std::string none;
    auto [file, added] = FSources.try_emplace(path);
    if (added) {
        std::ifstream stream(path);
        for (std::string text; std::getline(stream, text);)
            file->second.push_back(text);
    }
    return line >= 1 && line <= file->second.size() ? file->second[line - 1] : none;
}

std::string TCcModuleLowering::SourceName() const {
    return FModule.getSourceFileName();
}

std::string TCcModuleLowering::Label(const GlobalValue& value) {
    // Symbols of the assembler: letters, digits, '_', '.', '$'; '_' first keeps C names
    // apart from register names and from the compiler's own labels.
    std::string label = "_";
    for (char ch : value.getName()) {
        const bool plain =
            std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '.' || ch == '$';
        label += plain ? ch : '_';
    }
    return label;
}

bool TCcModuleLowering::IsPaddedGlobal(const GlobalVariable& global, const DataLayout& layout) {
    Type* type = global.getValueType();
    return type->isIntOrPtrTy() && layout.getTypeAllocSize(type) <= 8;
}

char TCcModuleLowering::FunctionLevel(const Function& function, char level) {
    return level == '0' && function.hasFnAttribute(LibraryAttribute) ? 's' : level;
}

std::string TCcModuleLowering::Lower() {
    Function* main = FModule.getFunction("main");
    if (!main || main->isDeclaration()) throw TCcError(SourceName(), 0, 0, "no function 'main' is defined");
    if (main->arg_size() != 0 && main->arg_size() != 2)
        throw TCcError(SourceName(), 0, 0, "main takes no parameters or (int argc, char **argv)");
    FOut.Comment("Compiled by roziduv2-cc from " + SourceName());
    for (GlobalVariable& global : FModule.globals()) {
        if (global.isDeclaration())
            throw TCcError(SourceName(), 0, 0, "undefined variable '" + global.getName().str() + "'");
        const llvm::Constant* initial = global.getInitializer();
        if (global.isConstant())
            FReadOnly.push_back(&global);
        else if (initial->isNullValue() || isa<UndefValue>(initial))
            FBss.push_back(&global);
        else
            FData.push_back(&global);
    }
    StartUp();
    unsigned index = 0;
    for (Function& function : FModule)
        if (!function.isDeclaration()) {
            const size_t begin = FOut.Text().size();
            TCcFunctionLowering lowering(*this, function, FOut, index++, FunctionLevel(function, FLevel));
            lowering.Lower();
            FDebug.Function(function, lowering, FOut, begin, FOut.Text().size());
        }
    FOut.Raw("");
    FOut.Comment("read-only data");
    for (const GlobalVariable* global : FReadOnly)
        Data(*global, true);
    FOut.Comment("the initial bytes of .data, copied there by the start-up");
    DataArea(FData, "__roz_data_image", false);
    FOut.Comment(".data");
    DataArea(FData, "__roz_data", true);
    FOut.Comment(".bss, zeroed by the start-up");
    DataArea(FBss, "__roz_bss", true);
    FOut.Raw("");
    FOut.Comment("main's argv (one null entry), the store scratch cell (see the store sequence), the stack");
    FOut.Label("__roz_argv");
    FOut.Op(".quad", "0");
    FOut.Label("__roz_scratch");
    FOut.Op(".fill", "32");
    FOut.Op(".align", "16");
    FOut.Label("__roz_end");
    return FOut.Text();
}

void TCcModuleLowering::StartUp() {
    Function& main = *FModule.getFunction("main");
    FOut.Op(".start");
    FOut.Op("LDI", R(1) + ", __roz_end");
    FOut.Op("WRCTL", "SP, " + R(1));
    FOut.Op("LDI", R(TCcEmitter::ScratchCell) + ", __roz_scratch + 8");
    FOut.Op("LDI", R(TCcEmitter::Eight) + ", 8");
    FOut.Op("CLR", R(TCcEmitter::FP));
    if (!FData.empty()) {
        FOut.Address(1, "__roz_data");
        FOut.Address(2, "__roz_data_image");
        FOut.Op("LDI", R(3) + ", __roz_data_end - __roz_data");
        FOut.Op("BLKCOPY", R(1) + ", " + R(2) + ", " + R(3));
    }
    if (!FBss.empty()) { // at least 16 bytes: its end is 16-aligned
        FOut.Address(1, "__roz_bss");
        FOut.Op("CLR", R(2));
        FOut.Op("STORE", "[" + R(1) + "], " + R(2));
        FOut.Op("INC", R(2) + ", " + R(1));
        FOut.Op("LDI", R(3) + ", __roz_bss_end - __roz_bss - 1");
        FOut.Op("BLKCOPY", R(2) + ", " + R(1) + ", " + R(3));
    }
    if (FStackLimit) {
        FOut.Const(1, static_cast<uint64_t>(StackLimit()));
        FOut.Address(2, Label(*FStackLimit));
        FOut.Op("STORE", "[" + R(2) + "], " + R(1));
    }
    if (main.arg_size() == 2) { // argc = 0, argv points at a null entry (the frame: TCcFunctionLowering)
        FOut.Op("CLR", R(2));
        FOut.Op("LDI", R(3) + ", __roz_end + 64");
        FOut.Op("STORE", "[" + R(3) + "], " + R(2));
        FOut.Op("LDI", R(2) + ", __roz_argv");
        FOut.Op("LDI", R(3) + ", __roz_end + 80");
        FOut.Op("STORE", "[" + R(3) + "], " + R(2));
    }
    FOut.Op("LDA", R(1) + ", " + Label(main));
    FOut.Op("CALL", R(1));
    if (main.getReturnType()->isIntegerTy())
        TCcSequences::SignExtend(FOut, 0, main.getReturnType()->getIntegerBitWidth(), 1);
    else
        FOut.Op("CLR", R(0));
    FOut.Op("LDA", R(1) + ", __roz_end");
    FOut.Op("JMP", R(1));
    // R1 stays as the entry that jumped here left it (the function's CALL register).
    FOut.Label("__roz_stack_overflow");
    FOut.Const(0, StackOverflowValue);
    FOut.Jump("JMP", "__roz_end");
}

void TCcModuleLowering::DataArea(const std::vector<const GlobalVariable*>& globals, const std::string& label,
                                 bool labelled) {
    if (globals.empty()) return;
    FOut.Op(".align", "16");
    FOut.Label(label);
    for (const GlobalVariable* global : globals)
        Data(*global, labelled);
    FOut.Op(".align", "16");
    if (labelled) FOut.Label(label + "_end");
}

void TCcModuleLowering::Data(const GlobalVariable& global, bool labelled) {
    if (global.isThreadLocal())
        throw TCcError(SourceName(), 0, 0, "thread-local variables are not supported");
    const DataLayout& layout = Layout();
    const uint64_t align = std::max<uint64_t>(global.getAlign() ? global.getAlign()->value() : 1, 1);
    FOut.Op(".align", std::to_string(std::min<uint64_t>(align, 16)));
    if (labelled) FOut.Label(Label(global));
    try {
        Constant(*global.getInitializer(), global.getName().str());
    } catch (TCcError& error) { // at the variable's definition, when the IR says where that is
        SmallVector<DIGlobalVariableExpression*, 1> expressions;
        global.getDebugInfo(expressions);
        if (error.Line || expressions.empty() || !expressions[0]->getVariable()) throw;
        const DIGlobalVariable& source = *expressions[0]->getVariable();
        throw TCcError(source.getFilename().str(), source.getLine(), 0, error.what());
    }
    if (IsPaddedGlobal(global, layout))
        FOut.Op(".fill", std::to_string(16 - layout.getTypeAllocSize(global.getValueType())));
}

// The bytes of a constant as data directives, little-endian, padded as the data layout says.
void TCcModuleLowering::Constant(const llvm::Constant& value, const std::string& where) {
    const DataLayout& layout = Layout();
    Type* type = value.getType();
    const uint64_t size = layout.getTypeAllocSize(type);
    if (isa<ConstantAggregateZero>(value) || isa<UndefValue>(value) || isa<ConstantPointerNull>(value)) {
        if (size) FOut.Op(".fill", std::to_string(size));
        return;
    }
    if (auto* integer = dyn_cast<ConstantInt>(&value)) { // of any width (TCcWideIntegers)
        const uint64_t bytes = layout.getTypeStoreSize(type);
        const APInt& bits = integer->getValue();
        for (uint64_t i = 0; i < bytes; ++i) {
            const unsigned at = static_cast<unsigned>(8 * i);
            FOut.Op(".byte",
                    std::to_string(bits.extractBitsAsZExtValue(std::min(8u, bits.getBitWidth() - at), at)));
        }
        if (size > bytes) FOut.Op(".fill", std::to_string(size - bytes));
        return;
    }
    if (auto* data = dyn_cast<ConstantDataSequential>(&value)) {
        for (unsigned i = 0; i < data->getNumElements(); ++i)
            Constant(*data->getElementAsConstant(i), where);
        return;
    }
    if (auto* structure = dyn_cast<ConstantStruct>(&value)) {
        const StructLayout* fields = layout.getStructLayout(structure->getType());
        uint64_t at = 0;
        for (unsigned i = 0; i < structure->getNumOperands(); ++i) {
            const uint64_t offset = fields->getElementOffset(i);
            if (offset > at) FOut.Op(".fill", std::to_string(offset - at));
            Constant(*structure->getOperand(i), where);
            at = offset + layout.getTypeAllocSize(structure->getOperand(i)->getType());
        }
        if (size > at) FOut.Op(".fill", std::to_string(size - at));
        return;
    }
    if (auto* array = dyn_cast<ConstantArray>(&value)) {
        for (unsigned i = 0; i < array->getNumOperands(); ++i)
            Constant(*array->getOperand(i), where);
        return;
    }
    if (auto* global = dyn_cast<GlobalValue>(&value)) {
        FOut.Op(".quad", Label(*global));
        return;
    }
    if (auto* gep = dyn_cast<GEPOperator>(&value)) {
        APInt offset(64, 0);
        auto* base = dyn_cast<GlobalValue>(gep->getPointerOperand()->stripPointerCasts());
        if (base && gep->accumulateConstantOffset(layout, offset)) {
            FOut.Op(".quad", Label(*base) + " + " + std::to_string(offset.getSExtValue()));
            return;
        }
    }
    if (auto* expression = dyn_cast<ConstantExpr>(&value); expression && expression->isCast() && size == 8) {
        Constant(*expression->getOperand(0), where);
        return;
    }
    throw TCcError(SourceName(), 0, 0,
                   "the initializer of '" + where +
                       "' is not supported: data holds integers, addresses plus a constant, and arrays and "
                       "structures of them");
}
