#include "UAsmLexer.h"

namespace {

bool IsIdentStart(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || ch == '_' || ch == '.';
}
bool IsIdentPart(char ch) {
    return IsIdentStart(ch) || (ch >= '0' && ch <= '9') || ch == '$';
}

int DigitValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'Z') return ch - 'A' + 10;
    return 99;
}

} // namespace

bool TAsmLexer::Fail(size_t at, std::string message) {
    FError = {static_cast<int>(at) + 1, std::move(message)};
    return false;
}

bool TAsmLexer::QuotedChar(std::string_view line, char quote, uint8_t& value) {
    if (FAt >= line.size()) return Fail(FAt, std::string("missing closing ") + quote);
    const char ch = line[FAt++];
    if (ch != '\\') {
        value = static_cast<uint8_t>(ch);
        return true;
    }
    if (FAt >= line.size()) return Fail(FAt, std::string("missing closing ") + quote);
    const size_t escape = FAt - 1;
    switch (line[FAt++]) {
    case 'n':
        value = '\n';
        return true;
    case 't':
        value = '\t';
        return true;
    case 'r':
        value = '\r';
        return true;
    case '0':
        value = 0;
        return true;
    case '\\':
        value = '\\';
        return true;
    case '\'':
        value = '\'';
        return true;
    case '"':
        value = '"';
        return true;
    case 'x': {
        int digits = 0, result = 0;
        while (digits < 2 && FAt < line.size() && DigitValue(line[FAt]) < 16)
            result = result * 16 + DigitValue(line[FAt++]), ++digits;
        if (digits == 0) return Fail(escape, "\\x needs hexadecimal digits");
        value = static_cast<uint8_t>(result);
        return true;
    }
    default:
        return Fail(escape, "unknown escape sequence");
    }
}

bool TAsmLexer::Tokenize(std::string_view line, std::vector<TAsmToken>& tokens) {
    tokens.clear();
    FAt = 0;
    auto finish = [&](bool ok) {
        TAsmToken end;
        end.Column = static_cast<int>(FAt) + 1;
        tokens.push_back(end);
        return ok;
    };
    while (FAt < line.size()) {
        const char ch = line[FAt];
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\f' || ch == '\v') {
            ++FAt;
            continue;
        }
        if (ch == ';' || ch == '#' || (ch == '/' && FAt + 1 < line.size() && line[FAt + 1] == '/')) break;
        TAsmToken token;
        token.Column = static_cast<int>(FAt) + 1;
        const size_t start = FAt;
        if (IsIdentStart(ch)) {
            while (FAt < line.size() && IsIdentPart(line[FAt]))
                ++FAt;
            token.Kind = TAsmToken::Identifier;
            token.Text = std::string(line.substr(start, FAt - start));
        } else if (ch >= '0' && ch <= '9') {
            int base = 10;
            if (ch == '0' && FAt + 1 < line.size() && (line[FAt + 1] == 'x' || line[FAt + 1] == 'X'))
                base = 16, FAt += 2;
            else if (ch == '0' && FAt + 1 < line.size() && (line[FAt + 1] == 'b' || line[FAt + 1] == 'B'))
                base = 2, FAt += 2;
            const size_t digits = FAt;
            unsigned __int128 value = 0;
            bool overflow = false;
            while (FAt < line.size() && IsIdentPart(line[FAt])) {
                const int digit = DigitValue(line[FAt]);
                if (digit >= base) {
                    finish(false);
                    return Fail(start, "malformed number '" +
                                           std::string(line.substr(start, FAt + 1 - start)) + "'");
                }
                value = value * base + digit;
                if (value > UINT64_MAX) overflow = true, value = 0;
                ++FAt;
            }
            if (FAt == digits) {
                finish(false);
                return Fail(start, "malformed number: digits expected after the prefix");
            }
            if (overflow) {
                finish(false);
                return Fail(start, "value out of range: the number does not fit in 64 bits");
            }
            token.Kind = TAsmToken::Number;
            token.Value = static_cast<uint64_t>(value);
        } else if (ch == '\'') {
            ++FAt;
            uint8_t value = 0;
            if (FAt < line.size() && line[FAt] == '\'') {
                finish(false);
                return Fail(start, "empty character constant");
            }
            if (!QuotedChar(line, '\'', value)) return finish(false);
            if (FAt >= line.size() || line[FAt] != '\'') {
                finish(false);
                return Fail(start, "missing closing ' of the character constant");
            }
            ++FAt;
            token.Kind = TAsmToken::Char;
            token.Value = value;
        } else if (ch == '"') {
            ++FAt;
            token.Kind = TAsmToken::String;
            while (true) {
                if (FAt >= line.size()) {
                    finish(false);
                    return Fail(start, "missing closing \" of the string");
                }
                if (line[FAt] == '"') {
                    ++FAt;
                    break;
                }
                uint8_t value = 0;
                if (!QuotedChar(line, '"', value)) return finish(false);
                token.Text.push_back(static_cast<char>(value));
            }
        } else if ((ch == '<' || ch == '>') && FAt + 1 < line.size() && line[FAt + 1] == ch) {
            token.Kind = TAsmToken::Punct;
            token.Text = std::string(2, ch);
            FAt += 2;
        } else if (std::string_view("+-*/%&|^~()[],:=$").find(ch) != std::string_view::npos) {
            token.Kind = TAsmToken::Punct;
            token.Text = std::string(1, ch);
            ++FAt;
        } else {
            finish(false);
            return Fail(start, std::string("unexpected character '") + ch + "'");
        }
        tokens.push_back(std::move(token));
    }
    return finish(true);
}
