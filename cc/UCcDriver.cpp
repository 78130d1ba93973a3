#include "UCcDriver.h"

#include <cstdio>

#include <llvm/Analysis/CGSCCPassManager.h>
#include <llvm/Analysis/LoopAnalysisManager.h>
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
#include "UCcError.h"
#include "UCcFloatCheck.h"
#include "UCcFrontEnd.h"
#include "UCcModuleLowering.h"
#include "UOutputFile.h"

using namespace llvm;

std::unique_ptr<Module> TCcDriver::Load(LLVMContext& context, const std::string& file, bool& failed) {
    std::string ir, error;
    if (!TCcFrontEnd(FOptions).Compile(file, ir, error)) {
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
    for (const TCcError& floating : TCcFloatCheck::Check(*module)) {
        std::fprintf(stderr, "%s\n", floating.Format().c_str());
        failed = true;
    }
    return module;
}

void TCcDriver::Optimise(Module& module, char level) {
    for (Function& function : module)
        if (!function.isDeclaration() && function.getName() != "main")
            function.setLinkage(GlobalValue::InternalLinkage);
    for (GlobalVariable& global : module.globals())
        if (!global.isDeclaration()) global.setLinkage(GlobalValue::InternalLinkage);

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
                                                          : OptimizationLevel::O0;
    ModulePassManager pipeline = level == '0' ? builder.buildO0DefaultPipeline(optimization)
                                              : builder.buildPerModuleDefaultPipeline(optimization);
    pipeline.addPass(GlobalDCEPass());
    pipeline.run(module, modules);
}

std::string TCcDriver::Assemble(const std::string& assembly, std::vector<uint8_t>& image) {
    TAsmResult result = TAssembler().Assemble(assembly);
    if (result.HasErrors()) {
        std::string text = "the generated assembly does not assemble (a compiler fault):";
        for (const TAsmMessage& message : result.Messages)
            if (!message.Warning) text += "\n  " + TAssembler::Format("<generated>", message);
        return text;
    }
    image = std::move(result.Image);
    return {};
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
        std::unique_ptr<Module> module = Load(context, file, failed);
        if (!module) continue;
        if (!program) {
            program = std::move(module);
        } else if (Linker::linkModules(*program, std::move(module))) {
            std::fprintf(stderr, "roziduv2-cc: %s cannot be linked with the files before it\n", file.c_str());
            failed = true;
        }
    }
    if (failed || !program) return 1;
    const std::string output = FOptions.OutputName();
    std::vector<TOutputFile::TUse> inputs;
    for (const std::string& file : FOptions.Inputs)
        inputs.push_back({file, "source"});
    const std::string clash = TOutputFile::CheckDistinct(inputs, {{output, "output"}});
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
    std::string assembly;
    try {
        assembly = TCcModuleLowering(*program, FOptions.MemorySize, FOptions.Level).Lower();
    } catch (const TCcError& error) {
        std::fprintf(stderr, "%s\n", error.Format().c_str());
        return 1;
    }
    if (FOptions.Assembly) return Write(output, assembly);

    std::vector<uint8_t> image;
    if (const std::string error = Assemble(assembly, image); !error.empty()) {
        std::fprintf(stderr, "roziduv2-cc: %s\n", error.c_str());
        return 1;
    }
    const int64_t needed = static_cast<int64_t>(image.size()) + MinimumStack;
    if (needed > FOptions.MemorySize) {
        std::fprintf(
            stderr,
            "roziduv2-cc: the program does not fit: its image is %zu bytes and the stack needs at least "
            "%lld more, %lld in all, but memory is %lld bytes (--memory-size)\n",
            image.size(), static_cast<long long>(MinimumStack), static_cast<long long>(needed),
            static_cast<long long>(FOptions.MemorySize));
        return 1;
    }
    const std::string error = TOutputFile::Write(output, image.data(), image.size());
    if (error.empty()) return 0;
    std::fprintf(stderr, "roziduv2-cc: %s\n", error.c_str());
    return 1;
}
