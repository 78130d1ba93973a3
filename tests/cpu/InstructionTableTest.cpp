// The instruction-set table against the machine and the toolchain: every top byte's size
// and advance as executing it shows them, and every row assembled back from its disassembly.
#include <gtest/gtest.h>

#include <random>

#include "TestMachine.h"
#include "UAssembler.h"
#include "UDisassembler.h"
#include "UInstructionSet.h"

namespace {

constexpr int64_t At = 256;                // where the word under test executes
constexpr int64_t Stack = 4096;            // StackOffsetBegin
constexpr uint64_t CellTarget = 1020;      // an inline cell's word 0 (a call lands on 1024)
constexpr uint32_t NoRegisters = 0x101010; // operand bytes naming no register and no control register

std::string Name(uint32_t top) {
    const roz::TInstruction* row = roz::InstructionOfTopByte[top];
    char text[32];
    std::snprintf(text, sizeof text, "%02X %s", top, row ? row->Mnemonic : "(unassigned)");
    return text;
}

constexpr int64_t RegisterValue = 2000;

// A machine with a zero image: IPOffsetBegin = 8, the stack at 4096, R0..R15 = 2000.
void Prepare(TTestMachine& m) {
    m.Cpu.IPOffsetBegin = roz::InlineCellOffset;
    m.Cpu.StackOffsetBegin = Stack;
    for (int64_t& r : m.Cpu.R)
        r = RegisterValue;
    m.Put64(At + roz::InlineCellOffset, CellTarget);
}

// After a word that does not pass control elsewhere, the next instruction starts at
// At + Size; a call pushes that address less the fetch's 4 as its return address.
TEST(InstructionTable, SizeAndAdvanceAgreeWithExecution) {
    for (uint32_t top = 0; top < 256; ++top) {
        SCOPED_TRACE(Name(top));
        const roz::TInstruction* row = roz::InstructionOfTopByte[top];
        for (uint32_t operands : {NoRegisters, 0u}) {
            TTestMachine m(10000, 8000);
            Prepare(m);
            if (row && row->Advance == roz::Popped) {
                m.Cpu.Push(5);
                m.Cpu.Push(600);
                m.Cpu.Push(7);
            }
            ASSERT_EQ(m.StepAt(At, top << 24 | operands), FetchExecuted);
            if (!row) {
                EXPECT_EQ(m.Cpu.IPOffset, At + roz::UnassignedAdvance(top) + 4);
            } else if (row->Advance == roz::Popped) {
                EXPECT_EQ(m.Cpu.IPOffset, 600 + 4);
                EXPECT_EQ(m.Cpu.SP, 0);
            } else if (m.Cpu.SP == 48) { // a call: PSW, return address, IPSegment
                EXPECT_EQ(static_cast<int64_t>(m.Get64(Stack + 16)), At + row->Advance);
                EXPECT_EQ(At + row->Advance + 4, At + row->Size);
            } else if (operands == NoRegisters || m.Cpu.IPOffset != RegisterValue + 4) {
                // Without registers nothing passes control; with R0 a taken jump lands on R0 + 4.
                EXPECT_EQ(m.Cpu.IPOffset, At + row->Size);
            }
        }
    }
}

// Operand bytes (each 0 or 1..10) drawn so that every combination of set and clear bytes
// occurs: the one that sets exactly the bytes a row reads names the row; every word assembles back to itself,
// taking the row's size and, with a cell value, giving the cell back.
TEST(InstructionTable, AssemblingTheDisassemblyGivesTheWordBack) {
    std::mt19937 random(12);
    for (uint32_t top = 0; top < 256; ++top) {
        SCOPED_TRACE(Name(top));
        const roz::TInstruction* row = roz::InstructionOfTopByte[top];
        const bool cell = roz::HasInlineCell(top);
        bool named = false;
        for (uint32_t mask = 0; mask < 8; ++mask)
            for (int sample = 0; sample < 4; ++sample) {
                uint32_t word = top << 24;
                for (int byte = 0; byte < 3; ++byte)
                    if (mask >> byte & 1) word |= static_cast<uint32_t>(1 + random() % 10) << (8 * byte);
                const uint64_t cellValue = uint64_t{random()} << 32 | random();
                const std::string text = Disassemble(word, cell ? std::optional(cellValue) : std::nullopt);
                const TAsmResult result = TAssembler().Assemble(text + "\n");
                ASSERT_FALSE(result.HasErrors()) << text;
                ASSERT_GE(result.Image.size(), 4u) << text;
                uint32_t back = 0;
                std::memcpy(&back, result.Image.data(), 4);
                EXPECT_EQ(back, word) << text;
                if (text.rfind(".word", 0) == 0) continue;
                ASSERT_TRUE(row) << text;
                named = true;
                EXPECT_EQ(text.substr(0, text.find(' ')), row->Mnemonic);
                EXPECT_EQ(result.Image.size(), row->Size) << text;
                if (cell) {
                    uint64_t cellBack = 0;
                    std::memcpy(&cellBack, result.Image.data() + roz::InlineCellOffset, 8);
                    EXPECT_EQ(cellBack, cellValue) << text;
                }
            }
        EXPECT_EQ(named, row != nullptr);
    }
}

} // namespace
