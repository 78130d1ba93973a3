// Assembling the disassembly of a word gives the word back: over every top byte (group and
// sub-operation) with operand bytes that name registers, control registers and nothing,
// and over a large random sample. With a known cell, LDI and CALLI give the cell back too.
#include <gtest/gtest.h>

#include <random>

#include "UAssembler.h"
#include "UDisassembler.h"

namespace {

// Assembles text; on success returns the first four bytes as a word.
std::optional<uint32_t> FirstWord(const std::string& text, std::vector<uint8_t>* image = nullptr) {
    const TAsmResult result = TAssembler().Assemble(text + "\n");
    if (result.HasErrors() || result.Image.size() < 4) return std::nullopt;
    if (image) *image = result.Image;
    return uint32_t(result.Image[0]) | uint32_t(result.Image[1]) << 8 | uint32_t(result.Image[2]) << 16 |
           uint32_t(result.Image[3]) << 24;
}

TEST(RoundTrip, EveryTopByteWithRepresentativeOperandBytes) {
    const uint32_t bytes[] = {0x00, 0x01, 0x03, 0x07, 0x0A, 0x0B, 0x0F, 0x10, 0x7F, 0x80, 0xFF};
    int failures = 0;
    for (uint32_t top = 0; top < 256; ++top)
        for (uint32_t a : bytes)
            for (uint32_t b : bytes)
                for (uint32_t c : bytes) {
                    const uint32_t word = top << 24 | a << 16 | b << 8 | c;
                    const std::string text = Disassemble(word);
                    const auto back = FirstWord(text);
                    if (back != word && ++failures <= 10)
                        ADD_FAILURE()
                            << std::hex << word << " -> \"" << text << "\" -> " << (back ? *back : 0);
                }
    EXPECT_EQ(failures, 0);
}

TEST(RoundTrip, RandomWords) {
    std::mt19937 random(20261208);
    int failures = 0;
    for (int i = 0; i < 200000; ++i) {
        // Half the sample with operand bytes in 0..15, so that most words are instructions.
        uint32_t word = static_cast<uint32_t>(random());
        if (i % 2) word &= 0xFF0F0F0F;
        const std::string text = Disassemble(word);
        const auto back = FirstWord(text);
        if (back != word && ++failures <= 10)
            ADD_FAILURE() << std::hex << word << " -> \"" << text << "\" -> " << (back ? *back : 0);
    }
    EXPECT_EQ(failures, 0);
}

TEST(RoundTrip, CellsOfLdiAndCalli) {
    for (uint64_t cell : {uint64_t{0}, uint64_t{0x3C}, ~uint64_t{0}, uint64_t{0x8000000000000000}}) {
        for (uint32_t word : {0x81070000u, 0x34000000u}) {
            std::vector<uint8_t> image;
            const std::string text = Disassemble(word, cell);
            ASSERT_EQ(FirstWord(text, &image), word) << text;
            uint64_t back = 0;
            for (int i = 7; i >= 0; --i)
                back = back << 8 | image.at(8 + i);
            EXPECT_EQ(back, cell) << text;
        }
    }
}

} // namespace
