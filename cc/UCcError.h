#pragma once
#include <stdexcept>
#include <string>
#include <utility>

// A compile error at a place in the C source, reported as clang reports its own:
// "FILE:LINE:COL: error: TEXT" (Line and Column 0 when the IR carries no location).
class TCcError : public std::runtime_error {
  public:
    TCcError(std::string file, unsigned line, unsigned column, const std::string& text)
        : std::runtime_error(text), File(std::move(file)), Line(line), Column(column) {}

    std::string Format() const {
        std::string where = File.empty() ? std::string("roziduv2-cc") : File;
        if (Line) where += ":" + std::to_string(Line) + ":" + std::to_string(Column);
        return where + ": error: " + what();
    }

    std::string File;
    unsigned Line;
    unsigned Column;
};
