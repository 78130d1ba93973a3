#pragma once
#include <stdexcept>
#include <string>
#include <utility>

namespace llvm {
class Instruction;
}

// A message about a place in the C source, printed as clang prints its own:
// "FILE:LINE:COL: error: TEXT" or "FILE:LINE:COL: warning: TEXT" (only "FILE: ..." when the
// IR carries no location, Line 0; "roziduv2-cc: ..." without a file).
struct TCcDiagnostic {
    enum class TSeverity { Error, Warning };
    TSeverity Severity = TSeverity::Error;
    std::string File;
    unsigned Line = 0;
    unsigned Column = 0;
    std::string Text;

    std::string Format() const;
};

// A compile error that ends the compilation, reported as a TCcDiagnostic of severity Error.
class TCcError : public std::runtime_error {
  public:
    TCcError(std::string file, unsigned line, unsigned column, const std::string& text)
        : std::runtime_error(text), File(std::move(file)), Line(line), Column(column) {}

    std::string Format() const {
        return TCcDiagnostic{TCcDiagnostic::TSeverity::Error, File, Line, Column, what()}.Format();
    }

    std::string File;
    unsigned Line;
    unsigned Column;
};

// The error at the instruction's place in the source: its line and column, else the line of
// its function, else its module's source file.
TCcError ErrorAt(const llvm::Instruction& instruction, const std::string& text);
