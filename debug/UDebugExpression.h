#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TCCPUBase;

// A breakpoint's or watchpoint's condition, e.g. "R1 == 5 && [0x1800] > 3".
//
// Operands: decimal and 0x hexadecimal literals (64-bit, wrapping), the registers R0..R15
// and the control registers by name (IPOffset, SP, PSW, ...; names are case-insensitive),
// and [expr]: the signed 64-bit little-endian word at that address (the memory's word rule:
// outside memory it reads 0). Operators, C's precedence and meaning on signed 64-bit values:
//   unary - ! ~;  * / %;  + -;  << >>;  < <= > >=;  == !=;  &;  ^;  |;  &&;  ||
// and parentheses. Arithmetic wraps; x / 0 and x % 0 are 0 (a condition never throws);
// shifts use the count's low 6 bits, >> is arithmetic; comparisons and logic give 0 or 1.
// A condition holds when its value is not 0.
//
// Not thread-bound: an expression is immutable after Parse; Evaluate reads the CPU, so it is
// called by whoever holds the CPU (the run thread in the decision hook, the window otherwise).
class TDebugExpression {
  public:
    struct TError {
        int Column = 0; // 1-based column of the offending character (text length + 1 at the end)
        std::string Message;
    };

    // Parses the whole text; on failure returns nullptr and sets error. An empty (or blank)
    // text is an error too: callers treat an empty condition as "no condition".
    static std::unique_ptr<TDebugExpression> Parse(std::string_view text, TError& error);

    int64_t Evaluate(const TCCPUBase& cpu) const;
    const std::string& Text() const { return FText; }

  private:
    friend class TDebugExpressionParser;
    // The tree: nodes in one vector, children by index.
    // clang-format off
    enum class TOp : uint8_t {
        Literal, Register, Control, Memory, Neg, Not, BitNot, Mul, Div, Mod, Add, Sub, Shl, Shr,
        Lt, Le, Gt, Ge, Eq, Ne, And, Xor, Or, LogAnd, LogOr
    };
    // clang-format on
    struct TNode {
        TOp Op;
        int Left = -1, Right = -1; // node indexes; unary operators and Memory use Left
        int64_t Value = 0;         // Literal: the value; Register / Control: the index
    };
    // Evaluates op on already evaluated operands (the binary and unary operators only).
    static int64_t Apply(TOp op, int64_t left, int64_t right);

    int64_t EvaluateNode(int node, const TCCPUBase& cpu) const;
    std::string FText;
    std::vector<TNode> FNodes;
    int FRoot = -1;
};
