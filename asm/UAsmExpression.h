#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "UAsmLexer.h"

// Evaluates an expression of numbers, character constants, symbols and '$' (the address
// of the current statement) with C's operators and precedence: unary - + ~, then * / %,
// + -, << >>, &, ^, |, and parentheses. Arithmetic wraps in 64 bits; / and % are signed
// and truncate toward zero; >> is arithmetic; a shift by 64 or more gives 0 (or -1 for a
// negative value shifted right).
class TAsmExpression {
  public:
    // The value of a symbol, or nullopt when it is not (yet) defined.
    using TLookup = std::function<std::optional<uint64_t>(const std::string&)>;

    struct TError {
        int Column;
        std::string Message;
    };

    TAsmExpression(const std::vector<TAsmToken>& tokens, TLookup lookup, uint64_t here)
        : FTokens(tokens), FLookup(std::move(lookup)), FHere(here) {}

    // Evaluates tokens[first, last); the whole range must be one expression.
    std::optional<uint64_t> Evaluate(size_t first, size_t last);
    const TError& Error() const { return FError; }

  private:
    std::optional<uint64_t> Binary(int level);
    std::optional<uint64_t> Unary();
    std::optional<uint64_t> Primary();
    bool IsPunct(const char* text) const;
    int Column() const;
    std::nullopt_t Fail(int column, std::string message);

    const std::vector<TAsmToken>& FTokens;
    TLookup FLookup;
    uint64_t FHere;
    size_t FAt = 0, FLast = 0;
    TError FError;
};
