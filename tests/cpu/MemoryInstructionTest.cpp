// Instructions that move memory cells: LOAD, STORE, MCOPY, LDI, PUSH, POP, and code that
// stores into itself.
#include <gtest/gtest.h>

#include "TestMachine.h"

namespace {

using namespace enc;

// A machine whose memory holds byte (a * 7 + 1) at address a (never 0 in the low bytes),
// with a 4096-byte image so that words may be placed and fetched anywhere below it.
struct TPatternMachine : TTestMachine {
    explicit TPatternMachine(int64_t size = 10000) : TTestMachine(size, 4096 < size ? 4096 : size - 1) {
        for (int64_t a = 0; a < size; ++a)
            Cpu.Memory.Buffer()[a] = static_cast<uint8_t>(a * 7 + 1);
    }
    uint64_t Pattern64(int64_t address) const {
        uint64_t v = 0;
        for (int k = 7; k >= 0; --k)
            v = v << 8 | static_cast<uint8_t>((address + k) * 7 + 1);
        return v;
    }
};

struct TCellRow {
    const char* Name;
    int64_t Address;
    bool Word0, Word1; // inside: written / read
};

// Addresses relative to a 10000-byte memory.
const TCellRow CellRows[] = {
    {"Inside", 1000, true, true},
    {"LastWholeCell", 9984, true, true},
    {"SecondWordAtSize", 9992, true, false},
    {"SecondWordStraddles", 9990, true, false},
    {"FirstWordStraddles", 9996, false, false},
    {"AtSize", 10000, false, false},
    {"Low32Translation", (int64_t{7} << 32) + 1000, true, true},
    {"Low32TranslationOutside", (int64_t{1} << 32) + 9996, false, false},
};

TEST(LoadStore, StoreWritesValueAndZeroWordOnlyWhereWhollyInside) {
    for (const TCellRow& row : CellRows) {
        SCOPED_TRACE(row.Name);
        TPatternMachine m;
        m.Cpu.R[1] = int64_t(0x0102030405060708);
        m.Cpu.R[2] = row.Address;
        std::vector<uint8_t> expected = m.Bytes();
        const int64_t index = static_cast<uint32_t>(row.Address);
        if (row.Word0)
            for (int k = 0; k < 8; ++k)
                expected[index + k] = static_cast<uint8_t>(8 - k);
        if (row.Word1)
            for (int k = 0; k < 8; ++k)
                expected[index + 8 + k] = 0;
        m.Cpu.IPOffset = 8; // the word at 8: STORE [R2], R1
        m.Put32(8, W(STORE, 0, 2, 1));
        expected[8] = 0x01;
        expected[9] = 0x02;
        expected[10] = 0x00;
        expected[11] = 0x04;
        ASSERT_EQ(m.Step(), FetchExecuted);
        EXPECT_EQ(m.Cpu.IPOffset, 16);
        EXPECT_TRUE(m.Bytes() == expected);
    }
}

TEST(LoadStore, LoadReadsWordZeroOrZeroOutside) {
    for (const TCellRow& row : CellRows) {
        SCOPED_TRACE(row.Name);
        TPatternMachine m;
        m.Cpu.R[1] = 55;
        m.Cpu.R[2] = row.Address;
        ASSERT_EQ(m.StepAt(8, W(LOAD, 1, 0, 2)), FetchExecuted);
        EXPECT_EQ(static_cast<uint64_t>(m.Cpu.R[1]),
                  row.Word0 ? m.Pattern64(static_cast<uint32_t>(row.Address)) : 0);
        EXPECT_EQ(m.Cpu.IPOffset, 16);
    }
}

TEST(LoadStore, NegativeAddressesReadZeroAndWriteNothing) {
    for (int64_t address : {int64_t{-1}, int64_t{-8}, int64_t{-16}, INT64_MIN, INT64_MIN + 1000}) {
        SCOPED_TRACE(address);
        TPatternMachine m;
        m.Cpu.R[1] = -1;
        m.Cpu.R[2] = address;
        const std::vector<uint8_t> before = m.Bytes();
        ASSERT_EQ(m.StepAt(8, W(STORE, 0, 2, 1)), FetchExecuted);
        const std::vector<uint8_t> after = m.Bytes();
        EXPECT_TRUE(std::equal(before.begin() + 12, before.end(), after.begin() + 12));
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + 8, after.begin()));
        m.Cpu.R[3] = 9;
        ASSERT_EQ(m.StepAt(16, W(LOAD, 3, 0, 2)), FetchExecuted);
        EXPECT_EQ(m.Cpu.R[3], 0);
    }
}

TEST(LoadStore, StoreThenLoadRoundTrip) {
    TTestMachine m(10000, 64);
    m.Cpu.R[1] = int64_t(0xDEADBEEFCAFEF00D);
    m.Cpu.R[2] = 100;
    std::memset(m.Cpu.Memory.Buffer() + 100, 0xEE, 20);
    ASSERT_EQ(m.StepAt(0, W(STORE, 0, 2, 1)), FetchExecuted);
    EXPECT_EQ(m.Get64(100), 0xDEADBEEFCAFEF00Du);
    EXPECT_EQ(m.Get64(108), 0u);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(116), 0xEE);
    ASSERT_EQ(m.StepAt(8, W(LOAD, 3, 0, 2)), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[3], m.Cpu.R[1]);
    // The address register may also be the value register.
    m.Cpu.R[4] = 200;
    ASSERT_EQ(m.StepAt(16, W(STORE, 0, 4, 4)), FetchExecuted);
    EXPECT_EQ(m.Get64(200), 200u);
    ASSERT_EQ(m.StepAt(24, W(LOAD, 4, 0, 4)), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[4], 200);
}

TEST(Mcopy, CopiesBothWordsThroughATemporary) {
    struct {
        const char* Name;
        int64_t To, From;
    } rows[] = {{"Apart", 3000, 2000},
                {"OverlapUp", 208, 200},
                {"OverlapDown", 200, 208},
                {"Same", 200, 200},
                {"OddOverlap", 203, 200}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TPatternMachine m;
        std::vector<uint8_t> expected = m.Bytes();
        std::copy_n(m.Bytes().begin() + row.From, 16, expected.begin() + row.To);
        m.Cpu.R[5] = row.To;
        m.Cpu.R[6] = row.From;
        m.Put32(8, W(MCOPY, 5, 0, 6));
        expected[8] = 6;
        expected[9] = 0;
        expected[10] = 5;
        expected[11] = 2;
        m.Cpu.IPOffset = 8;
        ASSERT_EQ(m.Step(), FetchExecuted);
        EXPECT_EQ(m.Cpu.IPOffset, 16);
        EXPECT_TRUE(m.Bytes() == expected);
    }
}

TEST(Mcopy, CellAtMinusEightCopiesZeroThenWordAtZero) {
    TPatternMachine m;
    m.Cpu.R[1] = 2000;
    m.Cpu.R[2] = -8;
    const uint64_t atZero = m.Pattern64(0);
    ASSERT_EQ(m.StepAt(8, W(MCOPY, 1, 0, 2)), FetchExecuted);
    EXPECT_EQ(m.Get64(2000), 0u);
    EXPECT_EQ(m.Get64(2008), atZero);
}

TEST(Mcopy, NegativeDestinationWritesNeitherWord) {
    TPatternMachine m;
    m.Cpu.R[1] = -8;
    m.Cpu.R[2] = 2000;
    m.Put32(8, W(MCOPY, 1, 0, 2));
    std::vector<uint8_t> expected = m.Bytes();
    m.Cpu.IPOffset = 8;
    ASSERT_EQ(m.Step(), FetchExecuted);
    EXPECT_TRUE(m.Bytes() == expected);
}

TEST(Mcopy, PartlyOutsideSourceReadsZeroForTheOutsideWord) {
    TPatternMachine m;
    m.Cpu.R[1] = 2000;
    m.Cpu.R[2] = 9992; // word 0 inside, word 1 at the size
    ASSERT_EQ(m.StepAt(8, W(MCOPY, 1, 0, 2)), FetchExecuted);
    EXPECT_EQ(m.Get64(2000), m.Pattern64(9992));
    EXPECT_EQ(m.Get64(2008), 0u);
}

TEST(Ldi, OperandCellFollowsIPOffsetBegin) {
    struct {
        const char* Name;
        int64_t At;
        int64_t IPOffsetBegin;
        int64_t Cell; // address of the operand cell
    } rows[] = {{"BaseZeroReadsItsOwnWord", 0, 0, 0}, {"BaseEightReadsTheFollowingCell", 48, 8, 56},
                {"LargeBase", 16, 1000, 1016},        {"NegativeBase", 1000, -1000, 0},
                {"CellBelowZero", 16, -20, -4},       {"CellOutside", 16, 9990, 10006}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TPatternMachine m;
        m.Cpu.IPOffsetBegin = row.IPOffsetBegin;
        m.Cpu.R[4] = 77;
        ASSERT_EQ(m.StepAt(row.At, W(LDI, 4)), FetchExecuted);
        const uint64_t expected = row.Cell < 0 || row.Cell > 9992 ? 0
                                  : row.Cell == row.At ? (m.Pattern64(row.At) & ~0xFFFFFFFFull) | 0x81040000u
                                                       : m.Pattern64(row.Cell);
        EXPECT_EQ(static_cast<uint64_t>(m.Cpu.R[4]), expected);
        EXPECT_EQ(m.Cpu.IPOffset, row.At + 24);
    }
}

TEST(Ldi, ProgramWithBaseEightLoadsEachValue) {
    // WRCTL IPOffsetBegin := R1 (8), then LDI R2 / LDI R3 with inline cells, then ADD.
    TImage image;
    image.Op(W(WRCTL, 0, TCCPUBase::CtlIPOffsetBegin, 1)).Ldi(2, 40).Ldi(3, uint64_t(-2)).Op(W(ADD, 4, 2, 3));
    TTestMachine m;
    ASSERT_EQ(m.Load(image), 0);
    m.Cpu.R[1] = 8;
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(m.Step(), FetchExecuted) << i;
    EXPECT_EQ(m.Cpu.R[2], 40);
    EXPECT_EQ(m.Cpu.R[3], -2);
    EXPECT_EQ(m.Cpu.R[4], 38);
    EXPECT_EQ(m.Cpu.IPOffset, image.Here());
    EXPECT_EQ(m.Step(), FetchEndOfImage);
}

TEST(Stack, PushPopRecordsAndSP) {
    TTestMachine m(10000, 64);
    m.Cpu.StackOffsetBegin = 1000;
    m.Cpu.R[5] = -77;
    m.Cpu.R[6] = 1;
    std::memset(m.Cpu.Memory.Buffer() + 1000, 0xEE, 64);
    ASSERT_EQ(m.StepAt(0, W(PUSH, 0xAA, 0xBB, 5)), FetchExecuted);
    EXPECT_EQ(m.Cpu.IPOffset, 8);
    EXPECT_EQ(m.Cpu.SP, 16);
    EXPECT_EQ(static_cast<int64_t>(m.Get64(1000)), -77);
    EXPECT_EQ(m.Get64(1008), 0u);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(1016), 0xEE);
    ASSERT_EQ(m.StepAt(8, W(POP, 0, 0, 6)), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[6], -77);
    EXPECT_EQ(m.Cpu.SP, 0);
    EXPECT_EQ(m.Cpu.IPOffset, 16);
    // POP into the register it names, twice deep.
    ASSERT_EQ(m.StepAt(16, W(PUSH, 0, 0, 5)), FetchExecuted);
    ASSERT_EQ(m.StepAt(24, W(PUSH, 0, 0, 6)), FetchExecuted);
    EXPECT_EQ(m.Cpu.SP, 32);
    ASSERT_EQ(m.StepAt(32, W(POP, 0, 0, 5)), FetchExecuted);
    ASSERT_EQ(m.StepAt(40, W(POP, 0, 0, 6)), FetchExecuted);
    EXPECT_EQ(m.Cpu.SP, 0);
}

TEST(Stack, RecordsOutsideMemoryTouchNothingOutside) {
    struct {
        const char* Name;
        int64_t Base, Sp;
    } rows[] = {{"Negative", -100, 0},
                {"AtSize", 10000, 0},
                {"Straddling", 9990, 0},
                {"SpNegative", 0, -48},
                {"Wrapping", INT64_MAX, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TTestMachine m(10000, 64);
        m.Cpu.StackOffsetBegin = row.Base;
        m.Cpu.SP = row.Sp;
        m.Cpu.R[1] = 5;
        m.Put32(0, W(PUSH, 0, 0, 1));
        m.Put32(8, W(POP, 0, 0, 2));
        const std::vector<uint8_t> before = m.Bytes();
        m.Cpu.IPOffset = 0;
        ASSERT_EQ(m.Step(), FetchExecuted);
        ASSERT_EQ(m.Step(), FetchExecuted);
        EXPECT_EQ(m.Cpu.SP, row.Sp);
        const int64_t address =
            static_cast<int64_t>(static_cast<uint64_t>(row.Base) + static_cast<uint64_t>(row.Sp));
        const bool inside = address >= 0 && static_cast<uint32_t>(address) + 8 <= 10000;
        EXPECT_EQ(m.Cpu.R[2], inside ? 5 : 0);
        if (!inside) {
            EXPECT_TRUE(m.Bytes() == before);
        }
    }
}

TEST(SelfModifyingCode, StoredWordExecutesWhenFetched) {
    // STORE [R2], R3 overwrites the slot at 16 (a NOP in the image) with INC R1 before it is
    // fetched; the slot at 24 is then overwritten while the loop runs twice.
    TImage image;
    image
        .Op(W(STORE, 0, 2, 3)) // 0
        .Op(W(NOP))            // 8
        .Op(W(NOP))            // 16: becomes INC R1 := R1 + 1
        .Op(W(NOP));           // 24
    TTestMachine m;
    ASSERT_EQ(m.Load(image), 0);
    m.Cpu.R[2] = 16;
    m.Cpu.R[3] = W(INC, 0, 1, 1);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(m.Step(), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[1], 1);
    EXPECT_EQ(m.Step(), FetchEndOfImage);
}

} // namespace
