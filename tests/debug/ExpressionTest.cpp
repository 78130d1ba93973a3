#include <random>
#include <string>

#include <gtest/gtest.h>

#include "UDebugExpression.h"
#include "Uccpubase.h"

namespace {

using TOp = TDebugExpression::TOp;

// A random expression tree printed with only the parentheses C's precedence needs, and its
// value computed here straight from the tree: the parser's precedence, associativity and
// evaluation against an independent reading of the same text.
struct TBinaryOp {
    const char* Text;
    int Precedence; // higher binds tighter
    int64_t (*Eval)(int64_t, int64_t);
};
const TBinaryOp Binaries[] = {
    {"||", 1, [](int64_t a, int64_t b) -> int64_t { return a || b; }},
    {"&&", 2, [](int64_t a, int64_t b) -> int64_t { return a && b; }},
    {"|", 3, [](int64_t a, int64_t b) { return a | b; }},
    {"^", 4, [](int64_t a, int64_t b) { return a ^ b; }},
    {"&", 5, [](int64_t a, int64_t b) { return a & b; }},
    {"==", 6, [](int64_t a, int64_t b) -> int64_t { return a == b; }},
    {"!=", 6, [](int64_t a, int64_t b) -> int64_t { return a != b; }},
    {"<", 7, [](int64_t a, int64_t b) -> int64_t { return a < b; }},
    {"<=", 7, [](int64_t a, int64_t b) -> int64_t { return a <= b; }},
    {">", 7, [](int64_t a, int64_t b) -> int64_t { return a > b; }},
    {">=", 7, [](int64_t a, int64_t b) -> int64_t { return a >= b; }},
    {"<<", 8,
     [](int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) << (b & 63)); }},
    {">>", 8, [](int64_t a, int64_t b) { return a >> (b & 63); }},
    {"+", 9,
     [](int64_t a, int64_t b) {
         return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
     }},
    {"-", 9,
     [](int64_t a, int64_t b) {
         return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
     }},
    {"*", 10,
     [](int64_t a, int64_t b) {
         return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
     }},
    {"/", 10,
     [](int64_t a, int64_t b) -> int64_t {
         if (b == 0) return 0;
         return b == -1 ? static_cast<int64_t>(0 - static_cast<uint64_t>(a)) : a / b;
     }},
    {"%", 10, [](int64_t a, int64_t b) -> int64_t { return b == 0 || b == -1 ? 0 : a % b; }},
};

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
            const int64_t value = which == 0   ? static_cast<int64_t>(0 - static_cast<uint64_t>(v))
                                  : which == 1 ? !v
                                               : ~v;
            return {text, 11, value};
        }
        if (pick == 5) {
            TGenerated address = Make(depth - 1);
            const int64_t a = address.Value & 0x1FF8;
            TGenerated masked{"(" + address.Text + ") & 0x1ff8", 5, a};
            return {"[" + masked.Text + "]", 100, static_cast<int64_t>(FCpu.Memory.ReadWord(a))};
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
            const uint64_t v =
                FRandom() % 2 ? FRandom() % 100 : FRandom() | static_cast<uint64_t>(FRandom()) << 32;
            char hex[24];
            std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(v));
            return {FRandom() % 2 ? hex : std::to_string(v), 100, static_cast<int64_t>(v)};
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
