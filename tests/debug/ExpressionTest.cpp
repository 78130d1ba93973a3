#include <random>
#include <string>

#include <gtest/gtest.h>

#include "UDebugExpression.h"
#include "Uccpubase.h"

namespace {

// A random expression tree printed with only the parentheses C's precedence needs, and its
// value computed here straight from the tree: the parser's precedence, associativity and
// evaluation against an independent reading of the same text.
using U = uint64_t;
using S = int64_t;
struct TBinaryOp {
    const char* Text;
    int Precedence; // higher binds tighter
    S (*Eval)(S, S);
};
// clang-format off
const TBinaryOp Binaries[] = {
    {"||", 1, [](S a, S b) -> S { return a || b; }}, {"&&", 2, [](S a, S b) -> S { return a && b; }},
    {"|", 3, [](S a, S b) { return a | b; }},        {"^", 4, [](S a, S b) { return a ^ b; }},
    {"&", 5, [](S a, S b) { return a & b; }},        {"==", 6, [](S a, S b) -> S { return a == b; }},
    {"!=", 6, [](S a, S b) -> S { return a != b; }}, {"<", 7, [](S a, S b) -> S { return a < b; }},
    {"<=", 7, [](S a, S b) -> S { return a <= b; }}, {">", 7, [](S a, S b) -> S { return a > b; }},
    {">=", 7, [](S a, S b) -> S { return a >= b; }}, {"<<", 8, [](S a, S b) { return S(U(a) << (b & 63)); }},
    {">>", 8, [](S a, S b) { return a >> (b & 63); }}, {"+", 9, [](S a, S b) { return S(U(a) + U(b)); }},
    {"-", 9, [](S a, S b) { return S(U(a) - U(b)); }}, {"*", 10, [](S a, S b) { return S(U(a) * U(b)); }},
    {"/", 10, [](S a, S b) { return b == 0 ? 0 : b == -1 ? S(0 - U(a)) : a / b; }},
    {"%", 10, [](S a, S b) { return b == 0 || b == -1 ? 0 : a % b; }},
};
// clang-format on

struct TGenerated {
    std::string Text;
    int Precedence; // of the top operator; 100 for a primary
    int64_t Value;
};

class TGenerator {
  public:
    TGenerator(TCCPUBase& cpu, uint32_t seed) : FCpu(cpu), FRandom(seed) {}

    TGenerated Make(int depth) {
        const int pick = static_cast<int>(FRandom() % 16);
        if (depth == 0 || pick < 3) return Leaf();
        if (pick < 5) {
            const char* ops[] = {"-", "!", "~"};
            const int which = static_cast<int>(FRandom() % 3);
            TGenerated operand = Wrap(Make(depth - 1), 11);
            // "- -x" and "-(-x)" both; "--" alone is not an operator here, so keep a space.
            const std::string text =
                std::string(ops[which]) + (operand.Text[0] == '-' ? " " : "") + operand.Text;
            const int64_t v = operand.Value;
            const int64_t value = which == 0 ? S(0 - U(v)) : which == 1 ? !v : ~v;
            return {text, 11, value};
        }
        if (pick == 5) {
            TGenerated address = Make(depth - 1);
            const int64_t a = address.Value & 0x1FF8;
            return {"[(" + address.Text + ") & 0x1ff8]", 100, S(FCpu.Memory.ReadWord(a))};
        }
        const TBinaryOp& op = Binaries[FRandom() % std::size(Binaries)];
        TGenerated left = Wrap(Make(depth - 1), op.Precedence);      // left-associative:
        TGenerated right = Wrap(Make(depth - 1), op.Precedence + 1); // the right side binds tighter
        return {left.Text + Space() + op.Text + Space() + right.Text, op.Precedence,
                op.Eval(left.Value, right.Value)};
    }

  private:
    TGenerated Wrap(TGenerated inner, int least) {
        if (inner.Precedence >= least) return inner;
        return {"(" + inner.Text + ")", 100, inner.Value};
    }
    std::string Space() { return FRandom() % 2 ? " " : ""; }
    TGenerated Leaf() {
        switch (FRandom() % 4) {
        case 0: {
            const int r = static_cast<int>(FRandom() % 16);
            return {(FRandom() % 2 ? "R" : "r") + std::to_string(r), 100, FCpu.R[r]};
        }
        case 1:
            return {"SP", 100, FCpu.SP};
        case 2: {
            const U v = FRandom() % 2 ? FRandom() % 100 : FRandom() | U(FRandom()) << 32;
            char hex[24];
            std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(v));
            return {FRandom() % 2 ? hex : std::to_string(v), 100, S(v)};
        }
        default:
            return {"ipoffset", 100, FCpu.IPOffset};
        }
    }

    TCCPUBase& FCpu;
    std::mt19937 FRandom;
};

TEST(Expression, RandomTreesAgreeWithTheirTexts) {
    TCCPUBase cpu;
    std::mt19937_64 random(7);
    for (int64_t& r : cpu.R)
        r = static_cast<int64_t>(random() % 7 == 0 ? random() : random() % 40) - 8;
    cpu.SP = 4096;
    cpu.IPOffset = 0x130;
    for (int64_t a = 0; a < 0x2000; a += 8)
        cpu.Memory.WriteCell(a, {random() % 3 ? random() % 50 : random(), 0});
    for (uint32_t seed = 0; seed < 3000; ++seed) {
        TGenerator generator(cpu, seed);
        const TGenerated expected = generator.Make(static_cast<int>(seed % 6));
        TDebugExpression::TError error;
        const auto parsed = TDebugExpression::Parse(expected.Text, error);
        ASSERT_TRUE(parsed) << expected.Text << "\ncolumn " << error.Column << ": " << error.Message;
        ASSERT_EQ(parsed->Evaluate(cpu), expected.Value) << expected.Text;
    }
}

TEST(Expression, ErrorsNameTheColumn) {
    struct TRow {
        const char* Name;
        const char* Text;
        int Column;
        const char* Message;
    };
    const TRow rows[] = {
        {"empty", "  ", 1, "empty"},
        {"missing operand", "R1 ==", 6, "expected an operand"},
        {"unknown register", "R1 + R16", 6, "unknown register 'R16'"},
        {"unclosed bracket", "[R1 + 8", 8, "expected ']' to close the '[' at column 1"},
        {"stray close", "R1 == 5)", 8, "unexpected ')'"},
        {"assignment", "R1 = 5", 4, "'=' is not an operator"},
        {"bad digit", "0x12g", 5, "bad digit 'g'"},
        {"empty hex", "0x + 1", 3, "hexadecimal digits"},
        {"too large", "R1 == 18446744073709551616", 7, "does not fit in 64 bits"},
        {"two operands", "R1 R2", 4, "unexpected 'R'"},
    };
    for (const TRow& row : rows) {
        TDebugExpression::TError error;
        EXPECT_FALSE(TDebugExpression::Parse(row.Text, error)) << row.Name;
        EXPECT_EQ(error.Column, row.Column) << row.Name << ": " << error.Message;
        EXPECT_NE(error.Message.find(row.Message), std::string::npos) << row.Name << ": " << error.Message;
    }
}

} // namespace
