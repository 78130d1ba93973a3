#include "UCcDriver.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <optional>

#include <llvm/Analysis/CGSCCPassManager.h>
#include <llvm/Analysis/LoopAnalysisManager.h>
#include <llvm/Analysis/ValueTracking.h>
#include <llvm/ADT/STLExtras.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/LLVMContext.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/PassManager.h>
#include <llvm/IRReader/IRReader.h>
#include <llvm/Linker/Linker.h>
#include <llvm/Passes/PassBuilder.h>
#include <llvm/Support/MemoryBuffer.h>
#include <llvm/Support/SourceMgr.h>
#include <llvm/Support/raw_ostream.h>
#include <llvm/Transforms/IPO/GlobalDCE.h>

#include "UAssembler.h"
#include "UCcChecks.h"
#include "UCcError.h"
#include "UCcFrontEnd.h"
#include "UCcLegalize.h"
#include "UCcModuleLowering.h"
#include "UCcWideIntegers.h"
#include "UDebugInfo.h"
#include "UOutputFile.h"

using namespace llvm;

std::unique_ptr<Module> TCcDriver::Load(LLVMContext& context, const TCcOptions& options,
                                        const std::string& file, bool& failed) {
    std::string ir, error;
    if (!TCcFrontEnd(options).Compile(file, ir, error)) {
        if (!error.empty()) std::fprintf(stderr, "roziduv2-cc: %s\n", error.c_str());
        failed = true;
        return nullptr;
    }
    SMDiagnostic diagnostic;
    std::unique_ptr<Module> module = parseIR(MemoryBufferRef(ir, file), diagnostic, context);
    if (!module) {
        std::fprintf(stderr, "roziduv2-cc: the IR of %s cannot be read: %s\n", file.c_str(),
                     diagnostic.getMessage().str().c_str());
        failed = true;
        return nullptr;
    }
    const std::vector<TCcDiagnostic> diagnostics = TCcChecks::Run(*module);
    for (const TCcDiagnostic& diagnostic : diagnostics)
        std::fprintf(stderr, "%s\n", diagnostic.Format().c_str());
    failed |= TCcChecks::HasError(diagnostics);
    return module;
}

std::unique_ptr<Module> TCcDriver::LoadRuntime(LLVMContext& context, bool& failed) {
    const std::string folder = TCcFrontEnd::RuntimeDirectory();
    std::vector<std::string> files;
    if (DIR* directory = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            const std::string name = entry->d_name;
            if (name.size() > 2 && name.compare(name.size() - 2, 2, ".c") == 0)
                files.push_back(folder + "/" + name);
        }
        closedir(directory);
    }
    if (files.empty()) {
        std::fprintf(stderr, "roziduv2-cc: the C library is not in %s (set ROZIDUV2_RUNTIME)\n",
                     folder.c_str());
        failed = true;
        return nullptr;
    }
    std::sort(files.begin(), files.end());
    // The library is compiled without the program's -D and -I, optimised for size, in one
    // run of clang (one translation unit of all its files, so their static names differ):
    // a run costs about as much as the compilation itself.
    TCcOptions options;
    options.Level = 'z';
    options.Debug = false;
    for (const std::string& file : files)
        options.ClangArguments.insert(options.ClangArguments.end(), {"-include", file});
    options.ClangArguments.insert(options.ClangArguments.end(), {"-x", "c"});
    std::unique_ptr<Module> runtime = Load(context, options, "/dev/null", failed);
    if (!runtime) return nullptr;
    // Memory is small: only the library's smallest functions may be inlined, into the
    // program or into each other.
    for (Function& function : *runtime)
        if (!function.isDeclaration() && function.getInstructionCount() > InlinedRuntimeSize)
            function.addFnAttr(Attribute::NoInline);
    // At -O0 the program's own functions stay as written, but the library's code is small.
    if (FOptions.Level == '0') RunPipeline(*runtime, 'z');
    for (Function& function : *runtime)
        if (!function.isDeclaration()) function.addFnAttr(TCcModuleLowering::LibraryAttribute);
    return runtime;
}

void TCcDriver::PlainPrintf(Module& module) {
    Function* printf = module.getFunction("printf");
    if (!printf || !printf->isDeclaration()) return; // the program's own printf stays its own
    // Text and these conversions, each without flags, width, precision or length.
    auto plain = [](StringRef format) {
        for (size_t at = 0; at < format.size(); ++at)
            if (format[at] == '%' && (++at == format.size() || !StringRef("diuoxXcsp%").contains(format[at])))
                return false;
        return true;
    };
    FunctionCallee counter = module.getOrInsertFunction("__roz_printf_plain", printf->getFunctionType());
    for (User* user : make_early_inc_range(printf->users())) {
        auto* call = dyn_cast<CallInst>(user);
        StringRef format;
        if (call && call->getCalledOperand() == printf && call->arg_size() > 0 &&
            getConstantStringInfo(call->getArgOperand(0), format) && plain(format))
            call->setCalledFunction(counter);
    }
}

void TCcDriver::Optimise(Module& module, char level) {
    for (Function& function : module)
        if (!function.isDeclaration() && function.getName() != "main")
            function.setLinkage(GlobalValue::InternalLinkage);
    for (GlobalVariable& global : module.globals())
        if (!global.isDeclaration() && global.getName() != TCcModuleLowering::StackLimitName)
            global.setLinkage(GlobalValue::InternalLinkage);
    RunPipeline(module, level);
    for (Function& function : module)
        if (!function.isDeclaration()) TCcWideIntegers::Split(function);
}

void TCcDriver::RunPipeline(Module& module, char level) {

    LoopAnalysisManager loops;
    FunctionAnalysisManager functions;
    CGSCCAnalysisManager sccs;
    ModuleAnalysisManager modules;
    PipelineTuningOptions tuning;
    tuning.LoopVectorization = false;
    tuning.SLPVectorization = false;
    tuning.LoopUnrolling = false; // memory is small
    PassBuilder builder(nullptr, tuning);
    builder.registerModuleAnalyses(modules);
    builder.registerCGSCCAnalyses(sccs);
    builder.registerFunctionAnalyses(functions);
    builder.registerLoopAnalyses(loops);
    builder.crossRegisterProxies(loops, functions, sccs, modules);
    const OptimizationLevel optimization = level == '1'   ? OptimizationLevel::O1
                                           : level == '2' ? OptimizationLevel::O2
                                           : level == 's' ? OptimizationLevel::Os
                                           : level == 'z' ? OptimizationLevel::Oz
                                                          : OptimizationLevel::O0;
    ModulePassManager pipeline = level == '0' ? builder.buildO0DefaultPipeline(optimization)
                                              : builder.buildPerModuleDefaultPipeline(optimization);
    pipeline.addPass(GlobalDCEPass());
    pipeline.run(module, modules);
}

std::string TCcDriver::Assemble(const std::string& assembly, std::vector<uint8_t>& image) {
    TAsmResult result;
    std::string error = Assemble(assembly, result);
    image = std::move(result.Image);
    return error;
}

std::string TCcDriver::Assemble(const std::string& assembly, TAsmResult& result) {
    result = TAssembler().Assemble(assembly);
    if (!result.HasErrors()) return {};
    std::string text = "the generated assembly does not assemble (a compiler fault):";
    for (const TAsmMessage& message : result.Messages)
        if (!message.Warning) text += "\n  " + TAssembler::Format("<generated>", message);
    return text;
}

int TCcDriver::Write(const std::string& path, const std::string& text) {
    const std::string error = TOutputFile::Write(path, text.data(), text.size());
    if (error.empty()) return 0;
    std::fprintf(stderr, "roziduv2-cc: %s\n", error.c_str());
    return 1;
}

int TCcDriver::Run() {
    LLVMContext context;
    std::unique_ptr<Module> program;
    bool failed = false;
    for (const std::string& file : FOptions.Inputs) {
        std::unique_ptr<Module> module = Load(context, FOptions, file, failed);
        if (!module) continue;
        if (!program) {
            program = std::move(module);
        } else if (Linker::linkModules(*program, std::move(module))) {
            std::fprintf(stderr, "roziduv2-cc: %s cannot be linked with the files before it\n", file.c_str());
            failed = true;
        }
    }
    if (failed || !program) return 1;
    PlainPrintf(*program);
    // Only what the program reaches, and what that reaches, comes from the library: a
    // function the program defines itself is not replaced.
    std::unique_ptr<Module> runtime = LoadRuntime(context, failed);
    if (!runtime) return 1;
    if (Linker::linkModules(*program, std::move(runtime), Linker::Flags::LinkOnlyNeeded)) {
        std::fprintf(stderr, "roziduv2-cc: the program cannot be linked with the C library\n");
        return 1;
    }
    const std::string output = FOptions.OutputName();
    std::vector<TOutputFile::TUse> inputs;
    for (const std::string& file : FOptions.Inputs)
        inputs.push_back({file, "source"});
    std::vector<TOutputFile::TUse> outputs = {{output, "output"}};
    std::error_code failure;
    const bool debug =
        !FOptions.Assembly && !FOptions.EmitIr &&
        (!std::filesystem::exists(output, failure) || std::filesystem::is_regular_file(output, failure));
    const std::string debugPath = TDebugInfo::PathFor(output);
    if (debug) outputs.push_back({debugPath, "debug information"});
    const std::string clash = TOutputFile::CheckDistinct(inputs, outputs);
    if (!clash.empty()) {
        std::fprintf(stderr, "roziduv2-cc: %s\n", clash.c_str());
        return 1;
    }

    Optimise(*program, FOptions.Level);
    if (FOptions.EmitIr) {
        std::string text;
        raw_string_ostream stream(text);
        program->print(stream, nullptr);
        return Write(output, stream.str());
    }
    try {
        TCcLegalize::Run(*program, FOptions.Level);
    } catch (const TCcError& error) {
        std::fprintf(stderr, "%s\n", error.Format().c_str());
        return 1;
    }
    constexpr int64_t GrowHeadroom = 65536;
    // The memory's size is compiled into the program (the heap's top, the stack's limit), so a
    // program that grows it is lowered again; its image hardly changes with the size, and a
    // second or third round fits. A fixed size that is too small is refused with the size that
    // fits, found the same way (the image may differ by a few instructions between sizes).
    std::string assembly;
    std::optional<TCcModuleLowering> lowering;
    TAsmResult assembled;
    int64_t needed = 0, memorySize = FOptions.MemorySize;
    size_t refusedImage = 0; // the image's size in the fixed memory that it does not fit
    int64_t refusedNeeded = 0;
    for (int round = 0;; ++round) {
        lowering.emplace(*program, memorySize, FOptions.Level);
        try {
            assembly = lowering->Lower();
        } catch (const TCcError& error) {
            std::fprintf(stderr, "%s\n", error.Format().c_str());
            return 1;
        }
        if (const std::string error = Assemble(assembly, assembled); !error.empty()) {
            if (FOptions.Assembly) return Write(output, assembly); // the text shows what went wrong
            std::fprintf(stderr, "roziduv2-cc: %s\n", error.c_str());
            return 1;
        }
        // The image ends 16-aligned; the stack above it and the heap below the guard share the rest.
        needed = static_cast<int64_t>(assembled.Image.size()) + MinimumStack + ROZ_HEAP_GUARD;
        if (needed <= memorySize || round == 3 || (FOptions.Assembly && !FOptions.GrowMemory)) break;
        if (!FOptions.GrowMemory) {
            if (!refusedImage) {
                refusedImage = assembled.Image.size();
                refusedNeeded = needed;
            }
            memorySize = needed;
            continue;
        }
        // The least stack is not much for a call chain: a grown memory gives the stack and the
        // heap another GrowHeadroom bytes.
        memorySize = std::min<int64_t>((needed + GrowHeadroom + 1023) / 1024 * 1024, 2147483647);
    }
    if (FOptions.Assembly) return Write(output, assembly);
    const std::vector<uint8_t>& image = assembled.Image;
    if (refusedImage || needed > memorySize) {
        if (!refusedImage) {
            refusedImage = image.size();
            refusedNeeded = needed;
        }
        std::fprintf(
            stderr,
            "roziduv2-cc: the program does not fit: its image is %zu bytes, the stack and heap need at "
            "least %lld more and the end of memory keeps %d unused, %lld in all, but memory is %lld "
            "bytes (--memory-size); it needs --memory-size %lld or more, or leave --memory-size out "
            "to have the memory it needs laid out\n",
            refusedImage, static_cast<long long>(MinimumStack), ROZ_HEAP_GUARD,
            static_cast<long long>(refusedNeeded), static_cast<long long>(FOptions.MemorySize),
            static_cast<long long>(std::max(needed, memorySize)));
        return 1;
    }
    std::string error = TOutputFile::Write(output, image.data(), image.size());
    if (error.empty() && debug) {
        TDebugInfo info = lowering->Debug().Make(*program, assembly, assembled, FOptions.Debug);
        info.Options = std::string("-O") + FOptions.Level + (FOptions.Debug ? " -g" : " -g0");
        info.SetImage(output, image);
        info.MemoryNeeded = static_cast<uint64_t>(memorySize);
        for (const TAsmSymbol& symbol : assembled.Symbols)
            if (symbol.Name == "__roz_end") info.StackBegin = symbol.Value;
        info.StackLimit = static_cast<uint64_t>(lowering->StackLimit());
        error = info.Write(debugPath);
    }
    if (error.empty()) return 0;
    std::fprintf(stderr, "roziduv2-cc: %s\n", error.c_str());
    return 1;
}
