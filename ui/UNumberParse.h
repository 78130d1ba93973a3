#pragma once
#include <QString>
#include <cstdint>
#include <stdexcept>

// The conversion error of the window's number boxes. Its message is
// "'<text>' is not a valid integer value" (UTF-8), quoting the text that was converted.
class EConvertError : public std::runtime_error {
  public:
    explicit EConvertError(const QString& quoted);
};

// Reads a signed 32-bit number as the memory tools' boxes accept it: leading blanks are
// skipped; then either an optional sign and decimal digits (a leading zero is still
// decimal; -2147483648..2147483647), or a hex number introduced by "$", "x", "X", "0x" or
// "0X" (no sign, at most eight significant digits, top bit set gives a negative value).
// Nothing may follow the digits. Throws EConvertError quoting text as given.
int32_t ParseInt32(const QString& text);

// Reads a register box: "0x" is put in front of text, and what follows it must be one or
// more hex digits with at most sixteen significant ones, giving the 64-bit pattern.
// Throws EConvertError quoting "0x" + text.
int64_t ParseRegisterHex(const QString& text);

// Sixteen upper-case hex digits, zero-padded: the register panel's display format.
QString FormatRegisterHex(uint64_t value);
