#include "UCcError.h"

#include <llvm/IR/DebugInfoMetadata.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/Instruction.h>
#include <llvm/IR/Module.h>

using namespace llvm;

std::string TCcDiagnostic::Format() const {
    std::string where = File.empty() ? std::string("roziduv2-cc") : File;
    if (Line) where += ":" + std::to_string(Line) + ":" + std::to_string(Column);
    return where + (Severity == TSeverity::Error ? ": error: " : ": warning: ") + Text;
}

TCcError ErrorAt(const Instruction& instruction, const std::string& text) {
    unsigned line = 0, column = 0;
    std::string file = instruction.getModule()->getSourceFileName();
    if (const DILocation* location = instruction.getDebugLoc().get()) {
        line = location->getLine();
        column = location->getColumn();
        file = location->getFilename().str();
    } else if (const DISubprogram* program = instruction.getFunction()->getSubprogram()) {
        line = program->getLine();
        file = program->getFilename().str();
    }
    return TCcError(file, line, column, text);
}
