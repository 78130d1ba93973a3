#include "UAsmExpression.h"

#include <cstring>

namespace {

// Binary operators by precedence level, loosest first.
const char* const Levels[6][3] = {{"|"}, {"^"}, {"&"}, {"<<", ">>"}, {"+", "-"}, {"*", "/", "%"}};
constexpr int LevelCount = 6;

int64_t S(uint64_t v) {
    return static_cast<int64_t>(v);
}

} // namespace

std::nullopt_t TAsmExpression::Fail(int column, std::string message) {
    if (FError.Message.empty()) FError = {column, std::move(message)};
    return std::nullopt;
}

int TAsmExpression::Column() const {
    return FTokens[FAt < FLast ? FAt : FLast].Column;
}

bool TAsmExpression::IsPunct(const char* text) const {
    return FAt < FLast && FTokens[FAt].Kind == TAsmToken::Punct && FTokens[FAt].Text == text;
}

std::optional<uint64_t> TAsmExpression::Evaluate(size_t first, size_t last) {
    FAt = first;
    FLast = last;
    FError = {};
    if (first >= last) return Fail(Column(), "expected an expression");
    const auto value = Binary(0);
    if (!value) return std::nullopt;
    if (FAt < FLast) {
        const TAsmToken& token = FTokens[FAt];
        return Fail(token.Column, "unexpected '" +
                                      (token.Kind == TAsmToken::Punct || token.Kind == TAsmToken::Identifier
                                           ? token.Text
                                           : std::string("constant")) +
                                      "' in the expression");
    }
    return value;
}

std::optional<uint64_t> TAsmExpression::Binary(int level) {
    if (level == LevelCount) return Unary();
    auto left = Binary(level + 1);
    while (left) {
        const char* op = nullptr;
        for (const char* candidate : Levels[level])
            if (candidate && IsPunct(candidate)) op = candidate;
        if (!op) break;
        const int column = Column();
        ++FAt;
        const auto right = Binary(level + 1);
        if (!right) return std::nullopt;
        const uint64_t a = *left, b = *right;
        if (!std::strcmp(op, "|"))
            left = a | b;
        else if (!std::strcmp(op, "^"))
            left = a ^ b;
        else if (!std::strcmp(op, "&"))
            left = a & b;
        else if (!std::strcmp(op, "<<"))
            left = b >= 64 ? 0 : a << b;
        else if (!std::strcmp(op, ">>"))
            left = static_cast<uint64_t>(S(a) >> (b >= 64 ? 63 : b));
        else if (!std::strcmp(op, "+"))
            left = a + b;
        else if (!std::strcmp(op, "-"))
            left = a - b;
        else if (!std::strcmp(op, "*"))
            left = a * b;
        else {
            if (b == 0) return Fail(column, "division by zero in the expression");
            const bool wraps = S(b) == -1; // INT64_MIN / -1 overflows in C++
            if (!std::strcmp(op, "/"))
                left = wraps ? 0 - a : static_cast<uint64_t>(S(a) / S(b));
            else
                left = wraps ? 0 : static_cast<uint64_t>(S(a) % S(b));
        }
    }
    return left;
}

std::optional<uint64_t> TAsmExpression::Unary() {
    if (IsPunct("-") || IsPunct("+") || IsPunct("~")) {
        const char op = FTokens[FAt++].Text[0];
        const auto value = Unary();
        if (!value) return std::nullopt;
        return op == '-' ? 0 - *value : op == '~' ? ~*value : *value;
    }
    return Primary();
}

std::optional<uint64_t> TAsmExpression::Primary() {
    if (FAt >= FLast) return Fail(Column(), "expected a value");
    const TAsmToken& token = FTokens[FAt];
    switch (token.Kind) {
    case TAsmToken::Number:
    case TAsmToken::Char:
        ++FAt;
        return token.Value;
    case TAsmToken::Identifier: {
        ++FAt;
        if (const auto value = FLookup(token.Text)) return value;
        return Fail(token.Column, "undefined symbol '" + token.Text + "'");
    }
    case TAsmToken::Punct:
        if (token.Text == "$") {
            ++FAt;
            return FHere;
        }
        if (token.Text == "(") {
            ++FAt;
            const auto value = Binary(0);
            if (!value) return std::nullopt;
            if (!IsPunct(")")) return Fail(Column(), "missing ')'");
            ++FAt;
            return value;
        }
        return Fail(token.Column, "unexpected '" + token.Text + "' in the expression");
    case TAsmToken::String:
        return Fail(token.Column, "a string is not a value here");
    case TAsmToken::End:
        break;
    }
    return Fail(token.Column, "expected a value");
}
