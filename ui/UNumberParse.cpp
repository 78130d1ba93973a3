#include "UNumberParse.h"

EConvertError::EConvertError(const QString& quoted)
    : std::runtime_error(QStringLiteral("'%1' is not a valid integer value").arg(quoted).toStdString()) {}

namespace {

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

// Hex digits from position at to the end; false when there are none, a non-digit, or more
// than maxSignificant digits after the leading zeros.
bool ReadHex(const QString& text, qsizetype at, int maxSignificant, uint64_t& value) {
    if (at >= text.size()) return false;
    value = 0;
    int significant = 0;
    for (qsizetype i = at; i < text.size(); ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0) return false;
        if (significant > 0 || d != 0) ++significant;
        if (significant > maxSignificant) return false;
        value = (value << 4) | static_cast<uint64_t>(d);
    }
    return true;
}

} // namespace

int32_t ParseInt32(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    uint64_t hex = 0;
    if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        if (!ReadHex(text, i + 1, 8, hex)) throw EConvertError(text);
        return static_cast<int32_t>(static_cast<uint32_t>(hex));
    }
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        if (!ReadHex(text, i + 2, 8, hex)) throw EConvertError(text);
        return static_cast<int32_t>(static_cast<uint32_t>(hex));
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    if (i >= text.size()) throw EConvertError(text);
    // Accumulated as a magnitude so that -2147483648 fits; any digit beyond the limit fails.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < '0' || u > '9') throw EConvertError(text);
        magnitude = magnitude * 10 + (u - '0');
        if (magnitude > limit) throw EConvertError(text);
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int64_t ParseRegisterHex(const QString& text) {
    uint64_t value = 0;
    if (!ReadHex(text, 0, 16, value)) throw EConvertError(QStringLiteral("0x") + text);
    return static_cast<int64_t>(value);
}

QString FormatRegisterHex(uint64_t value) {
    return QStringLiteral("%1").arg(value, 16, 16, QLatin1Char('0')).toUpper();
}
