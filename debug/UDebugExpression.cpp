#include "UDebugExpression.h"

#include <cctype>

#include "Uccpubase.h"

// Recursive descent over C's precedence levels, lowest first; every level is one loop over
// its operators.
class TDebugExpressionParser {
  public:
    TDebugExpressionParser(std::string_view text, TDebugExpression& out) : FText(text), FOut(out) {}

    bool Run(TDebugExpression::TError& error) {
        SkipBlanks();
        if (FAt == FText.size()) return Fail("the condition is empty", error);
        FOut.FRoot = Binary(0);
        if (FFailed) return Fail(FMessage, error);
        SkipBlanks();
        if (FAt != FText.size()) {
            FFailAt = FAt;
            if (FText[FAt] == '=') return Fail("'=' is not an operator here (compare with '==')", error);
            return Fail("unexpected '" + std::string(1, FText[FAt]) + "'", error);
        }
        return true;
    }

  private:
    using TOp = TDebugExpression::TOp;
    struct TBinary {
        const char* Text;
        TOp Op;
    };
    // One row per precedence level, lowest first; longer operators before their prefixes.
    static constexpr int LevelCount = 10;
    static const std::vector<TBinary>& Level(int level) {
        static const std::vector<TBinary> levels[LevelCount] = {
            {{"||", TOp::LogOr}},
            {{"&&", TOp::LogAnd}},
            {{"|", TOp::Or}},
            {{"^", TOp::Xor}},
            {{"&", TOp::And}},
            {{"==", TOp::Eq}, {"!=", TOp::Ne}},
            {{"<=", TOp::Le}, {">=", TOp::Ge}, {"<", TOp::Lt}, {">", TOp::Gt}},
            {{"<<", TOp::Shl}, {">>", TOp::Shr}},
            {{"+", TOp::Add}, {"-", TOp::Sub}},
            {{"*", TOp::Mul}, {"/", TOp::Div}, {"%", TOp::Mod}},
        };
        return levels[level];
    }

    bool Fail(const std::string& message, TDebugExpression::TError& error) {
        error.Column = static_cast<int>(FFailAt) + 1;
        error.Message = message;
        return false;
    }
    int Error(const std::string& message) {
        if (!FFailed) {
            FFailed = true;
            FFailAt = FAt;
            FMessage = message;
        }
        return -1;
    }
    void SkipBlanks() {
        while (FAt < FText.size() && std::isspace(static_cast<unsigned char>(FText[FAt])))
            ++FAt;
    }
    int Node(TOp op, int left = -1, int right = -1, int64_t value = 0) {
        FOut.FNodes.push_back({op, left, right, value});
        return static_cast<int>(FOut.FNodes.size()) - 1;
    }
    // The operator of this level at the current place, not the prefix of a longer one
    // ("|" is not "||", "<" is not "<<", "&" is not "&&").
    const TBinary* Match(int level) {
        SkipBlanks();
        const std::string_view rest = FText.substr(FAt);
        for (const TBinary& candidate : Level(level)) {
            const std::string_view op = candidate.Text;
            if (rest.substr(0, op.size()) != op) continue;
            const char next = rest.size() > op.size() ? rest[op.size()] : '\0';
            if (op.size() == 1 && (op == "|" || op == "&") && next == op[0]) continue;
            if (op.size() == 1 && (op == "<" || op == ">") && (next == op[0] || next == '=')) continue;
            FAt += op.size();
            return &candidate;
        }
        return nullptr;
    }
    int Binary(int level) {
        if (level == LevelCount) return Unary();
        int left = Binary(level + 1);
        while (!FFailed) {
            const TBinary* op = Match(level);
            if (!op) break;
            const int right = Binary(level + 1);
            left = Node(op->Op, left, right);
        }
        return left;
    }
    int Unary() {
        SkipBlanks();
        if (FAt < FText.size()) {
            const char c = FText[FAt];
            const TOp op = c == '-' ? TOp::Neg : c == '!' ? TOp::Not : c == '~' ? TOp::BitNot : TOp::Literal;
            if (op != TOp::Literal && !(c == '!' && FAt + 1 < FText.size() && FText[FAt + 1] == '=')) {
                if (++FDepth > MaxDepth) return Error("operators nested too deeply");
                ++FAt;
                const int operand = Unary();
                --FDepth;
                return Node(op, operand);
            }
        }
        return Primary();
    }
    int Primary() {
        SkipBlanks();
        if (FAt == FText.size()) return Error("expected an operand at the end");
        const char c = FText[FAt];
        if (c == '(' || c == '[') {
            if (++FDepth > MaxDepth) return Error("brackets nested too deeply");
            const size_t open = FAt++;
            const int inner = Binary(0);
            --FDepth;
            if (FFailed) return -1;
            SkipBlanks();
            const char close = c == '(' ? ')' : ']';
            if (FAt == FText.size() || FText[FAt] != close) {
                Error(std::string("expected '") + close + "' to close the '" + c + "' at column " +
                      std::to_string(open + 1));
                return -1;
            }
            ++FAt;
            return c == '(' ? inner : Node(TOp::Memory, inner);
        }
        if (std::isdigit(static_cast<unsigned char>(c))) return Number();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') return Name();
        return Error("expected an operand, found '" + std::string(1, c) + "'");
    }
    int Number() {
        const size_t start = FAt;
        int base = 10;
        if (FText[FAt] == '0' && FAt + 1 < FText.size() && (FText[FAt + 1] == 'x' || FText[FAt + 1] == 'X')) {
            base = 16;
            FAt += 2;
        }
        uint64_t value = 0;
        size_t digits = 0;
        bool overflow = false;
        while (FAt < FText.size()) {
            const char d = static_cast<char>(std::tolower(static_cast<unsigned char>(FText[FAt])));
            const int v = std::isdigit(static_cast<unsigned char>(d)) ? d - '0'
                          : (base == 16 && d >= 'a' && d <= 'f')      ? d - 'a' + 10
                                                                      : -1;
            if (v < 0) {
                if (std::isalnum(static_cast<unsigned char>(d)) || d == '_') {
                    return Error("bad digit '" + std::string(1, FText[FAt]) + "' in a number");
                }
                break;
            }
            if (value > (UINT64_MAX - static_cast<uint64_t>(v)) / static_cast<uint64_t>(base))
                overflow = true;
            value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(v);
            ++FAt;
            ++digits;
        }
        if (base == 16 && digits == 0) return Error("expected hexadecimal digits after 0x");
        if (overflow) {
            FAt = start;
            return Error("the number does not fit in 64 bits");
        }
        return Node(TOp::Literal, -1, -1, static_cast<int64_t>(value));
    }
    static bool SameName(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) !=
                std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }
    int Name() {
        const size_t start = FAt;
        while (FAt < FText.size() &&
               (std::isalnum(static_cast<unsigned char>(FText[FAt])) || FText[FAt] == '_'))
            ++FAt;
        const std::string_view name = FText.substr(start, FAt - start);
        if ((name[0] == 'R' || name[0] == 'r') && name.size() >= 2 && name.size() <= 3) {
            int index = 0;
            bool digits = true;
            for (size_t i = 1; i < name.size(); ++i) {
                digits = digits && std::isdigit(static_cast<unsigned char>(name[i]));
                index = index * 10 + (name[i] - '0');
            }
            if (digits && index < 16 && !(name.size() == 3 && name[1] == '0'))
                return Node(TOp::Register, -1, -1, index);
        }
        for (int i = 0; i < roz::ControlRegisterCount; ++i)
            if (SameName(name, roz::ControlRegisterNames[static_cast<size_t>(i)]))
                return Node(TOp::Control, -1, -1, i);
        FAt = start;
        return Error("unknown register '" + std::string(name) + "' (R0..R15, IPOffset, SP, PSW, ...)");
    }

    std::string_view FText;
    TDebugExpression& FOut;
    size_t FAt = 0;
    // Bounds the recursion of the parser and the evaluator (each level a few stack frames).
    static constexpr int MaxDepth = 256;
    int FDepth = 0;
    bool FFailed = false;
    size_t FFailAt = 0;
    std::string FMessage;
};

std::unique_ptr<TDebugExpression> TDebugExpression::Parse(std::string_view text, TError& error) {
    auto expression = std::make_unique<TDebugExpression>();
    expression->FText = std::string(text);
    TDebugExpressionParser parser(expression->FText, *expression);
    if (!parser.Run(error)) return nullptr;
    return expression;
}

int64_t TDebugExpression::Apply(TOp op, int64_t left, int64_t right) {
    const auto u = [](int64_t v) { return static_cast<uint64_t>(v); };
    const auto s = [](uint64_t v) { return static_cast<int64_t>(v); };
    switch (op) {
    case TOp::Neg:
        return s(0 - u(left));
    case TOp::Not:
        return left == 0;
    case TOp::BitNot:
        return ~left;
    case TOp::Mul:
        return s(u(left) * u(right));
    case TOp::Div:
        return right == 0 ? 0 : (right == -1 ? s(0 - u(left)) : left / right);
    case TOp::Mod:
        return right == 0 || right == -1 ? 0 : left % right;
    case TOp::Add:
        return s(u(left) + u(right));
    case TOp::Sub:
        return s(u(left) - u(right));
    case TOp::Shl:
        return s(u(left) << (right & 63));
    case TOp::Shr:
        return left >> (right & 63);
    case TOp::Lt:
        return left < right;
    case TOp::Le:
        return left <= right;
    case TOp::Gt:
        return left > right;
    case TOp::Ge:
        return left >= right;
    case TOp::Eq:
        return left == right;
    case TOp::Ne:
        return left != right;
    case TOp::And:
        return left & right;
    case TOp::Xor:
        return left ^ right;
    case TOp::Or:
        return left | right;
    case TOp::LogAnd:
        return left != 0 && right != 0;
    case TOp::LogOr:
        return left != 0 || right != 0;
    case TOp::Literal:
    case TOp::Register:
    case TOp::Control:
    case TOp::Memory:
        break;
    }
    return 0;
}

int64_t TDebugExpression::EvaluateNode(int index, const TCCPUBase& cpu) const {
    const TNode& node = FNodes[static_cast<size_t>(index)];
    switch (node.Op) {
    case TOp::Literal:
        return node.Value;
    case TOp::Register:
        return cpu.R[node.Value];
    case TOp::Control:
        switch (node.Value) {
#define ROZ_CONTROL_READ(Index, Name)                                                                        \
    case Index:                                                                                              \
        return cpu.Name;
            ROZ_CONTROL_REGISTERS(ROZ_CONTROL_READ)
#undef ROZ_CONTROL_READ
        }
        return 0;
    case TOp::Memory:
        return static_cast<int64_t>(cpu.Memory.ReadWord(EvaluateNode(node.Left, cpu)));
    case TOp::LogAnd:
        return EvaluateNode(node.Left, cpu) != 0 && EvaluateNode(node.Right, cpu) != 0;
    case TOp::LogOr:
        return EvaluateNode(node.Left, cpu) != 0 || EvaluateNode(node.Right, cpu) != 0;
    case TOp::Neg:
    case TOp::Not:
    case TOp::BitNot:
        return Apply(node.Op, EvaluateNode(node.Left, cpu), 0);
    default:
        return Apply(node.Op, EvaluateNode(node.Left, cpu), EvaluateNode(node.Right, cpu));
    }
}

int64_t TDebugExpression::Evaluate(const TCCPUBase& cpu) const {
    return FRoot < 0 ? 0 : EvaluateNode(FRoot, cpu);
}
