#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One token of an assembler source line. Column is 1-based, counted in bytes.
struct TAsmToken {
    enum TKind { Identifier, Number, Char, String, Punct, End };
    TKind Kind = End;
    int Column = 0;
    std::string Text;   // the identifier, the punctuator ("<<", ">>", or one character), or a string's bytes
    uint64_t Value = 0; // Number and Char
};

// Splits one source line into tokens and drops its comment (from ';', '#' or "//" outside
// a string or character constant to the end of the line). Identifiers start with a letter,
// '_' or '.', and continue with letters, digits, '_', '.' and '$'. Numbers are decimal,
// 0x hexadecimal or 0b binary, up to 2^64-1; character and string constants take the
// escapes \n \t \r \0 \\ \' \" and \xHH. The token list always ends with an End token.
class TAsmLexer {
  public:
    struct TError {
        int Column;
        std::string Message;
    };

    // Returns false (tokens up to the fault, then End) and sets Error on a malformed token.
    bool Tokenize(std::string_view line, std::vector<TAsmToken>& tokens);
    const TError& Error() const { return FError; }

  private:
    bool Fail(size_t at, std::string message);
    // Reads one (possibly escaped) character of a quoted constant at FAt.
    bool QuotedChar(std::string_view line, char quote, uint8_t& value);

    TError FError;
    size_t FAt = 0;
};
