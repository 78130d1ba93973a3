// The C library's printf core (cc/runtime/format.c, compiled for the host by the build)
// against the host's vsnprintf over random formats: every conversion, flag, width,
// precision and length the library documents, edge values, and buffers of every size. The
// monitor's numbers are checked against the converted arguments.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" int __roz_format(char* out, size_t size, int monitor, const char* format, va_list args);
extern "C" int __roz_printf_plain(const char* format, ...);
extern "C" int __roz_count(const char* format, va_list args);

namespace {

std::vector<uint32_t> Printed;

// Arguments are passed as 64-bit words: the x86-64 convention passes every integer and
// pointer in such a word, and va_arg of a narrower type reads its low bits.
int Ours(char* out, size_t size, int monitor, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int count = __roz_format(out, size, monitor, format, args);
    va_end(args);
    return count;
}

int Count(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int count = __roz_count(format, args);
    va_end(args);
    return count;
}

int Host(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int count = std::vsnprintf(out, size, format, args);
    va_end(args);
    return count;
}

const char* const Strings[] = {"", "a", "hello", "with space", "0123456789abcdef"};

struct TCase {
    std::string Format;
    uint64_t Args[8] = {};
    int Count = 0;
    std::vector<uint32_t> Printed; // what the monitor must show
};

uint64_t Value(std::mt19937_64& random) {
    static const uint64_t edges[] = {0,
                                     1,
                                     9,
                                     10,
                                     0x7F,
                                     0x80,
                                     0xFF,
                                     0x7FFF,
                                     0x8000,
                                     0xFFFF,
                                     0x7FFFFFFF,
                                     0x80000000,
                                     0xFFFFFFFF,
                                     0x100000000,
                                     0x7FFFFFFFFFFFFFFF,
                                     0x8000000000000000,
                                     UINT64_MAX,
                                     UINT64_MAX - 1};
    switch (random() % 3) {
    case 0:
        return edges[random() % std::size(edges)];
    case 1:
        return random() % 2000 - 1000;
    default:
        return random();
    }
}

// One conversion with its argument(s) appended to the case; a plain one has no flags, width,
// precision or length.
void Conversion(std::mt19937_64& random, TCase& test, bool plain = false) {
    const std::string conversions = "diuxXocsp%";
    const char conversion = conversions[random() % conversions.size()];
    std::string spec = "%";
    if (conversion == '%') {
        test.Format += "%%";
        return;
    }
    const bool integer = std::string("diuxXo").find(conversion) != std::string::npos;
    const bool isSigned = conversion == 'd' || conversion == 'i';
    for (char flag : std::string(plain ? "" : "-0+ #")) {
        if (random() % 4) continue;
        if (flag == '0' && !integer) continue;
        if ((flag == '+' || flag == ' ') && !isSigned) continue;
        if (flag == '#' && !(conversion == 'x' || conversion == 'X' || conversion == 'o')) continue;
        spec += flag;
    }
    switch (plain ? 2 : random() % 3) {
    case 0:
        spec += std::to_string(random() % 21);
        break;
    case 1:
        spec += '*';
        test.Args[test.Count++] = static_cast<uint64_t>(static_cast<int64_t>(random() % 41) - 20);
        break;
    }
    if ((integer || conversion == 's') && !plain && random() % 2) {
        switch (random() % 3) {
        case 0:
            spec += '.';
            break;
        case 1:
            spec += "." + std::to_string(random() % 11);
            break;
        default:
            spec += ".*";
            test.Args[test.Count++] = static_cast<uint64_t>(static_cast<int64_t>(random() % 14) - 3);
        }
    }
    static const char* const lengths[] = {"", "hh", "h", "l", "ll", "z", "j", "t"};
    const std::string length = integer && !plain ? lengths[random() % std::size(lengths)] : "";
    spec += length + conversion;
    test.Format += spec;
    uint64_t value = Value(random);
    if (conversion == 's') value = reinterpret_cast<uintptr_t>(Strings[random() % std::size(Strings)]);
    if (conversion == 'p' && random() % 4 == 0) value = 0;
    test.Args[test.Count++] = value;
    if (conversion == 's') return;
    // The monitor shows the converted value's low 32 bits.
    uint64_t converted = value;
    const bool wide = length == "l" || length == "ll" || length == "z" || length == "j" || length == "t";
    if (conversion == 'c')
        converted = static_cast<uint8_t>(value);
    else if (length == "hh")
        converted =
            isSigned ? static_cast<uint64_t>(static_cast<int8_t>(value)) : static_cast<uint8_t>(value);
    else if (length == "h")
        converted =
            isSigned ? static_cast<uint64_t>(static_cast<int16_t>(value)) : static_cast<uint16_t>(value);
    else if (!wide && conversion != 'p')
        converted = static_cast<uint32_t>(value);
    test.Printed.push_back(static_cast<uint32_t>(converted));
}

} // namespace

extern "C" void __roz_print(unsigned long n) {
    Printed.push_back(static_cast<uint32_t>(n));
}

TEST(CcFormat, MatchesTheHostsVsnprintf) {
    std::mt19937_64 random(20261208);
    for (int round = 0; round < 20000; ++round) {
        TCase test;
        const std::string literals = "ab-= \t:x";
        for (int pieces = 1 + random() % 3; pieces > 0 && test.Count <= 5; --pieces) {
            for (int i = random() % 3; i > 0; --i)
                test.Format += literals[random() % literals.size()];
            Conversion(random, test);
        }
        const auto* a = test.Args;
        char host[512], ours[512];
        const int hostCount =
            Host(host, sizeof host, test.Format.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        const size_t size = random() % 3 == 0 ? random() % (static_cast<size_t>(hostCount) + 2) : sizeof ours;
        Host(host, size ? size : 1, test.Format.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        std::memset(ours, '#', sizeof ours);
        Printed.clear();
        const int count =
            Ours(ours, size, 1, test.Format.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        ASSERT_EQ(count, hostCount) << test.Format;
        if (size)
            ASSERT_STREQ(ours, host) << test.Format << " size " << size;
        else
            ASSERT_EQ(ours[0], '#') << test.Format << ": nothing may be written with size 0";
        ASSERT_EQ(Printed, test.Printed) << test.Format;
        // printf's counter: the same length and numbers.
        Printed.clear();
        ASSERT_EQ(Count(test.Format.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]), hostCount)
            << test.Format;
        ASSERT_EQ(Printed, test.Printed) << test.Format;
    }
}

TEST(CcFormat, PrintsNothingWhenNotAskedTo) {
    char out[32];
    Printed.clear();
    EXPECT_EQ(Ours(out, sizeof out, 0, "%d %s %x", 5, "ab", 255u), 7);
    EXPECT_STREQ(out, "5 ab ff");
    EXPECT_TRUE(Printed.empty());
}

// printf of plain conversions, which counts instead of formatting, against the host's length and
// the monitor's numbers that the formatter prints.
TEST(CcFormat, PlainPrintfCountsAsTheFormatterDoes) {
    std::mt19937_64 random(20261209);
    for (int round = 0; round < 20000; ++round) {
        TCase test;
        const std::string literals = "ab-= \t:x";
        for (int pieces = 1 + random() % 4; pieces > 0 && test.Count <= 7; --pieces) {
            for (int i = random() % 3; i > 0; --i)
                test.Format += literals[random() % literals.size()];
            Conversion(random, test, true);
        }
        const auto* a = test.Args;
        char host[512];
        const int hostCount =
            Host(host, sizeof host, test.Format.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        Printed.clear();
        ASSERT_EQ(__roz_printf_plain(test.Format.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]), hostCount)
            << test.Format;
        ASSERT_EQ(Printed, test.Printed) << test.Format;
    }
}
