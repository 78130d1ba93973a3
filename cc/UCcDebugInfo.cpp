#include "UCcDebugInfo.h"

#include "include/roziduv2_abi.h"

#include <algorithm>
#include <filesystem>

#include <llvm/BinaryFormat/Dwarf.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/DebugInfoMetadata.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/GlobalVariable.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Module.h>

#include "UCcDebugTypes.h"
#include "UCcFunctionLowering.h"
#include "UCcModuleLowering.h"

using namespace llvm;

namespace {

std::string PathOf(StringRef directory, StringRef name) {
    std::filesystem::path path(name.str());
    if (path.is_relative() && !directory.empty()) path = std::filesystem::path(directory.str()) / path;
    return path.lexically_normal().string();
}

// The lexical block a scope is in (itself when it is one), skipping the file-change wrappers;
// nullptr at the function's body.
const DILexicalBlock* BlockOf(const DIScope* scope) {
    while (scope && !isa<DISubprogram>(scope)) {
        if (auto* block = dyn_cast<DILexicalBlock>(scope)) return block;
        scope = scope->getScope();
    }
    return nullptr;
}

// Where a llvm.dbg.value puts its variable; false when it is not available there. A value in
// a home register is there until the code of `until` ends. A parameter is read from where
// its caller wrote it, which stays valid after its register is reused.
bool ValueLocation(const DbgValueInst& value, const TCcFunctionLowering& lowering, std::string& kind,
                   int64_t& offset, const Instruction*& until) {
    if (value.getNumVariableLocationOps() != 1) return false;
    const Value* operand = value.getVariableLocationOp(0);
    const DIExpression* expression = value.getExpression();
    if (!operand || isa<UndefValue>(operand)) return false;
    if (expression->getNumElements() == 1 && expression->getElement(0) == dwarf::DW_OP_deref) {
        const auto at = lowering.AllocaOffset(*operand);
        if (at) kind = "frame", offset = *at;
        return at.has_value();
    }
    if (expression->getNumElements() != 0) return false;
    if (auto* constant = dyn_cast<ConstantInt>(operand)) {
        if (constant->getBitWidth() > 64) return false;
        kind = "value", offset = constant->getSExtValue();
        return true;
    }
    if (isa<ConstantPointerNull>(operand)) {
        kind = "value", offset = 0;
        return true;
    }
    if (const int home = lowering.HomeRegister(*operand); home >= 0 && !isa<Argument>(operand)) {
        until = lowering.HomeLastInstruction(*operand);
        kind = "register", offset = home;
        return until != nullptr;
    }
    const auto slot = lowering.SlotOffset(*operand);
    if (slot) kind = "frame", offset = *slot;
    return slot.has_value();
}

// The frame facts of a function from where its frame code was emitted: FP is this frame's
// from the entry code's MOV on, except at each RET (the epilogue has restored the caller's FP
// before it); the saved home registers are in the frame after the prologue's PUSHes.
template <typename TAddressOf>
void FrameFacts(TDebugInfo::TFrame& frame, const TCcFunctionLowering::TFrameCode& code,
                const TAddressOf& addressOf, uint64_t end) {
    frame.Facts = true;
    for (size_t i = 0; i < code.Saved.size(); ++i)
        frame.Saved.push_back({code.Saved[i], code.SaveArea + 16 * static_cast<int64_t>(i)});
    frame.SavedFrom = addressOf(code.SavesEnd);
    std::vector<std::pair<size_t, size_t>> returns = code.Returns;
    std::sort(returns.begin(), returns.end());
    uint64_t from = addressOf(code.FrameSet);
    for (const auto& [ret, after] : returns) {
        if (const uint64_t to = addressOf(ret); to > from) frame.PointerValid.emplace_back(from, to);
        from = addressOf(after);
    }
    if (end > from) frame.PointerValid.emplace_back(from, end);
}

} // namespace

void TCcDebugInfo::Function(const llvm::Function& function, const TCcFunctionLowering& lowering,
                            const TCcEmitter& out, size_t begin, size_t end) {
    TFunctionRecord record{&function, begin, end, lowering.FrameSize(), lowering.FrameCode(), {}, {}, {}};
    const DISubprogram* program = function.getSubprogram();
    if (program)
        record.Places.push_back(
            {begin, PathOf(program->getDirectory(), program->getFilename()), program->getLine(), 0});
    std::map<const DILocalVariable*, size_t> index;     // into record.Variables
    std::map<const DILocalVariable*, size_t> openValue; // the variable's location begun by a dbg.value
    auto variableOf = [&](const DbgVariableIntrinsic& intrinsic) -> TPendingVariable* {
        const DILocalVariable* variable = intrinsic.getVariable();
        const DILocation* location = intrinsic.getDebugLoc().get();
        if (!program || !variable || (location && location->getInlinedAt()) ||
            variable->getScope()->getSubprogram() != program)
            return nullptr;
        auto [at, added] = index.try_emplace(variable, record.Variables.size());
        if (added) record.Variables.push_back({variable, {}});
        return &record.Variables[at->second];
    };

    const auto& marks = out.Marks();
    const auto firstMark =
        std::lower_bound(marks.begin(), marks.end(), begin,
                         [](const TCcEmitter::TMark& m, size_t offset) { return m.Offset < offset; });
    for (auto mark = firstMark; mark != marks.end() && mark->Offset < end; ++mark) {
        const Instruction& instruction = *mark->Instruction;
        if (auto* declare = dyn_cast<DbgDeclareInst>(&instruction)) {
            TPendingVariable* variable = variableOf(*declare);
            const Value* address = declare->getAddress();
            const auto at = address ? lowering.AllocaOffset(*address) : std::nullopt;
            if (variable && at && declare->getExpression()->getNumElements() == 0)
                variable->Locations.push_back({0, 0, "frame", *at});
            continue;
        }
        if (auto* value = dyn_cast<DbgValueInst>(&instruction)) {
            TPendingVariable* variable = variableOf(*value);
            if (!variable) continue;
            if (auto open = openValue.find(variable->Variable); open != openValue.end()) {
                variable->Locations[open->second].To = mark->Offset;
                openValue.erase(open);
            }
            std::string kind;
            int64_t offset = 0;
            const Instruction* until = nullptr;
            if (ValueLocation(*value, lowering, kind, offset, until)) {
                openValue[variable->Variable] = variable->Locations.size();
                variable->Locations.push_back({mark->Offset, end, kind, offset, until});
            }
            continue;
        }
        const DILocation* location = instruction.getDebugLoc().get();
        while (location && location->getInlinedAt()) // inlined code is at its call in this function
            location = location->getInlinedAt();
        if (!location || !location->getLine() || isa<DbgInfoIntrinsic>(instruction)) continue;
        TPlace place{mark->Offset, PathOf(location->getDirectory(), location->getFilename()),
                     location->getLine(), location->getColumn()};
        if (record.Places.empty() || record.Places.back().File != place.File ||
            record.Places.back().Line != place.Line)
            record.Places.push_back(std::move(place));
    }
    // Each block's code: every instruction's, from its mark to the next, counts for its
    // block and the blocks around it.
    const DILexicalBlock* block = nullptr;
    for (auto mark = firstMark; mark != marks.end() && mark->Offset < end; ++mark) {
        const Instruction& instruction = *mark->Instruction;
        if (isa<DbgInfoIntrinsic>(instruction)) continue;
        if (const DILocation* location = instruction.getDebugLoc().get()) {
            while (location->getInlinedAt())
                location = location->getInlinedAt();
            block = BlockOf(location->getScope());
        }
        const size_t to = mark + 1 != marks.end() && (mark + 1)->Offset < end ? (mark + 1)->Offset : end;
        if (to <= mark->Offset) continue;
        for (const DILexicalBlock* outer = block; outer; outer = BlockOf(outer->getScope())) {
            auto& ranges = record.Blocks[outer];
            if (!ranges.empty() && ranges.back().second == mark->Offset)
                ranges.back().second = to;
            else
                ranges.emplace_back(mark->Offset, to);
        }
    }
    // Where each instruction's code ends: at the next mark. A terminator's edge copies placed
    // after the blocks are marked again; its first code counts.
    std::map<const Instruction*, size_t> codeEnd;
    for (auto at = firstMark; at != marks.end() && at->Offset < end; ++at)
        codeEnd.try_emplace(at->Instruction,
                            at + 1 != marks.end() && (at + 1)->Offset < end ? (at + 1)->Offset : end);
    for (TPendingVariable& variable : record.Variables)
        for (TPendingLocation& location : variable.Locations)
            if (location.Until) {
                const auto found = codeEnd.find(location.Until);
                location.To = found == codeEnd.end() ? location.From : std::min(location.To, found->second);
            }
    FFunctions.push_back(std::move(record));
}

TDebugInfo TCcDebugInfo::Make(const Module& module, const std::string& assembly, const TAsmResult& result,
                              bool lines) const {
    // Text offset -> assembly line -> address (the address counter at that line).
    std::vector<size_t> lineStarts = {0};
    for (size_t i = 0; i < assembly.size(); ++i)
        if (assembly[i] == '\n') lineStarts.push_back(i + 1);
    auto lineOf = [&](size_t offset) {
        return static_cast<size_t>(std::upper_bound(lineStarts.begin(), lineStarts.end(), offset) -
                                   lineStarts.begin() - 1);
    };
    auto addressOf = [&](size_t offset) {
        const size_t line = lineOf(offset);
        return line < result.Lines.size() ? result.Lines[line].Address : result.Image.size();
    };
    std::map<std::string, uint64_t> labels;
    for (const TAsmSymbol& symbol : result.Symbols)
        labels.emplace(symbol.Name, symbol.Value);

    TDebugInfo info;
    TCcDebugTypes types;
    info.Producer = "roziduv2-cc";
    info.Language = "c";
    // The runtime's abnormal ends (<roziduv2_abi.h>), always: -g0 keeps them too.
    info.Ends = {
        {"abort", ROZ_R0_ABORT}, {"assert", ROZ_R0_ASSERT}, {"stack-overflow", ROZ_R0_STACK_OVERFLOW}};
    std::map<std::string, uint32_t> sources;
    auto fileIndex = [&](const std::string& path) {
        auto [at, added] = sources.try_emplace(path, static_cast<uint32_t>(info.Sources.size()));
        if (added) info.Sources.push_back(path);
        return at->second;
    };

    for (const TFunctionRecord& record : FFunctions) {
        TDebugInfo::TFunction function;
        function.Name = record.Function->getName().str();
        function.Label = TCcModuleLowering::Label(*record.Function);
        const auto label = labels.find(function.Label);
        function.Address = label != labels.end() ? label->second : addressOf(record.Begin);
        function.Size = addressOf(record.End) - function.Address;
        if (const DISubprogram* program = record.Function->getSubprogram()) {
            function.File = fileIndex(PathOf(program->getDirectory(), program->getFilename()));
            function.Line = program->getLine();
        }
        function.Frame.Size = record.FrameSize;
        FrameFacts(function.Frame, record.FrameCode, addressOf, addressOf(record.End));
        info.Symbols.push_back({function.Name, function.Label, "function", function.Address, function.Size});
        if (!lines) {
            info.Functions.push_back(std::move(function));
            continue;
        }
        for (size_t k = 0; k < record.Places.size(); ++k) {
            const TPlace& place = record.Places[k];
            const size_t to = k + 1 < record.Places.size() ? record.Places[k + 1].Offset : record.End;
            const uint32_t file = fileIndex(place.File);
            for (size_t line = lineOf(place.Offset); line < lineOf(to) && line < result.Lines.size();
                 ++line) {
                const TAsmLine& code = result.Lines[line];
                if (!code.Code || !code.Size) continue;
                TDebugInfo::TLine* last = info.Lines.empty() ? nullptr : &info.Lines.back();
                if (last && last->To == code.Address && last->File == file && last->Line == place.Line &&
                    last->Column == place.Column)
                    last->To += code.Size;
                else
                    info.Lines.push_back(
                        {code.Address, code.Address + code.Size, file, place.Line, place.Column});
            }
        }
        std::vector<const TPendingVariable*> order;
        for (const TPendingVariable& variable : record.Variables)
            if (variable.Variable->getArg()) order.push_back(&variable);
        std::stable_sort(order.begin(), order.end(),
                         [](const TPendingVariable* a, const TPendingVariable* b) {
                             return a->Variable->getArg() < b->Variable->getArg();
                         });
        for (const TPendingVariable& variable : record.Variables)
            if (!variable.Variable->getArg()) order.push_back(&variable);
        // A local of a nested block is visible in that block's code only.
        std::map<const DILexicalBlock*, int64_t> scopes;
        const auto scopeIndex = [&](const DILexicalBlock* block) {
            auto [at, added] = scopes.try_emplace(block, static_cast<int64_t>(function.Scopes.size()));
            if (!added) return at->second;
            TDebugInfo::TScope scope;
            if (const auto ranges = record.Blocks.find(block); ranges != record.Blocks.end())
                for (const auto& [from, to] : ranges->second) {
                    const uint64_t begin = addressOf(from), finish = addressOf(to);
                    if (finish <= begin) continue;
                    if (!scope.Ranges.empty() && scope.Ranges.back().second == begin)
                        scope.Ranges.back().second = finish;
                    else
                        scope.Ranges.emplace_back(begin, finish);
                }
            function.Scopes.push_back(std::move(scope));
            return at->second;
        };
        for (const TPendingVariable* pending : order) {
            const DILocalVariable& source = *pending->Variable;
            TDebugInfo::TVariable variable{source.getName().str(),
                                           source.getArg() ? "parameter" : "local",
                                           types.Describe(source.getType()),
                                           fileIndex(PathOf(source.getDirectory(), source.getFilename())),
                                           source.getLine(),
                                           {}};
            for (const TPendingLocation& location : pending->Locations) {
                const bool whole = !location.From && !location.To;
                const uint64_t from = whole ? 0 : addressOf(location.From),
                               to = whole ? 0 : addressOf(location.To);
                if (whole || to > from)
                    variable.Locations.push_back({from, to, location.Kind, location.Offset});
            }
            variable.TypeId = types.Add(source.getType());
            if (const DILexicalBlock* block = BlockOf(source.getScope())) variable.Scope = scopeIndex(block);
            function.Variables.push_back(std::move(variable));
        }
        // The scopes' parents: the nearest enclosing block that is a scope too.
        for (const auto& [block, index] : scopes) {
            TDebugInfo::TScope& scope = function.Scopes[static_cast<size_t>(index)];
            for (const DILexicalBlock* outer = BlockOf(block->getScope()); outer && scope.Parent < 0;
                 outer = BlockOf(outer->getScope()))
                if (const auto found = scopes.find(outer); found != scopes.end())
                    scope.Parent = found->second;
        }
        info.Functions.push_back(std::move(function));
    }

    const DataLayout& layout = module.getDataLayout();
    for (const GlobalVariable& global : module.globals()) {
        const auto label = labels.find(TCcModuleLowering::Label(global));
        if (label == labels.end()) continue;
        info.Symbols.push_back({global.getName().str(), label->first, "object", label->second,
                                layout.getTypeAllocSize(global.getValueType())});
        if (!lines) continue;
        SmallVector<DIGlobalVariableExpression*, 1> expressions;
        global.getDebugInfo(expressions);
        for (const DIGlobalVariableExpression* expression : expressions) {
            const DIGlobalVariable* source = expression->getVariable();
            if (!source || expression->getExpression()->getNumElements() != 0) continue;
            info.Globals.push_back({source->getName().str(),
                                    "global",
                                    types.Describe(source->getType()),
                                    fileIndex(PathOf(source->getDirectory(), source->getFilename())),
                                    source->getLine(),
                                    {{0, 0, "address", static_cast<int64_t>(label->second)}},
                                    types.Add(source->getType()),
                                    -1});
        }
    }
    info.Types = std::move(types.Types());
    return info;
}
