// IN, OUT and the port bus with its keyboard and monitor; BLKCOPY; DIV by zero.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestMachine.h"

namespace {

using namespace enc;

constexpr uint64_t Print = uint64_t{1} << 56;

struct TInRow {
    const char* Name;
    int64_t Port;
    uint64_t Read;
};

class InPort : public testing::TestWithParam<TInRow> {};

TEST_P(InPort, ReadsThePortAndAdvancesByFour) {
    TTestMachine m(10000, 64);
    m.Cpu.Ports.Keyboard.Data = TKeyboardPort::KeyWord(0x41, true, false, false);
    m.Cpu.R[1] = GetParam().Port;
    m.Cpu.R[2] = 99;
    ASSERT_EQ(m.StepAt(8, W(IN, 0xAB, 1, 2)), FetchExecuted);
    EXPECT_EQ(static_cast<uint64_t>(m.Cpu.R[2]), GetParam().Read);
    EXPECT_EQ(m.Cpu.IPOffset, 12);
    EXPECT_EQ(m.Cpu.Ports.Keyboard.Data.load(), 0x100000041u); // the read does not clear it
}

INSTANTIATE_TEST_SUITE_P(Rows, InPort,
                         testing::Values(TInRow{"KeyboardWithShift", 0, 0x100000041u},
                                         TInRow{"Monitor", 1, 0}, TInRow{"Two", 2, 0},
                                         TInRow{"MinusOne", -1, 0},
                                         TInRow{"Bit32IsNoPort", int64_t{1} << 32, 0},
                                         TInRow{"Bit32PlusOneIsNoPort", (int64_t{1} << 32) + 1, 0},
                                         TInRow{"Min", INT64_MIN, 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Ports, InTwiceYieldsTheSameKeyAndReplacesThePortRegister) {
    TTestMachine m(10000, 64);
    m.Cpu.Ports.Keyboard.Data = TKeyboardPort::KeyWord(0x0D, false, true, true);
    EXPECT_EQ(m.Cpu.Ports.Keyboard.Data.load(), 0x60000000Du);
    m.Cpu.R[1] = 0;
    ASSERT_EQ(m.StepAt(0, W(IN, 0, 1, 2)), FetchExecuted);
    ASSERT_EQ(m.StepAt(4, W(IN, 0, 1, 3)), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[2], 0x60000000D);
    EXPECT_EQ(m.Cpu.R[3], 0x60000000D);
    ASSERT_EQ(m.StepAt(8, W(IN, 0, 1, 1)), FetchExecuted); // port number read first, then replaced
    EXPECT_EQ(m.Cpu.R[1], 0x60000000D);
    m.Cpu.Ports.Keyboard.Data = 0;
    m.Cpu.R[1] = 0;
    ASSERT_EQ(m.StepAt(12, W(IN, 0, 1, 2)), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[2], 0);
}

TEST(Ports, OutReachesTheMonitorOnlyOnPortOne) {
    struct {
        const char* Name;
        int64_t Port;
        bool Reaches;
    } rows[] = {{"Keyboard", 0, false},
                {"Monitor", 1, true},
                {"Seven", 7, false},
                {"Bit32PlusOne", (int64_t{1} << 32) + 1, false},
                {"MinusOne", -1, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TTestMachine m(10000, 64);
        m.Cpu.Ports.Keyboard.Data = 0x41;
        m.Cpu.R[1] = row.Port;
        m.Cpu.R[2] = int64_t(Print | 65);
        m.Put32(0, W(OUT, 0xCD, 1, 2));
        m.Put32(4, W(OUT, 0, 1, 2));
        const std::vector<uint8_t> before = m.Bytes();
        ASSERT_EQ(m.Step(), FetchExecuted);
        EXPECT_EQ(m.Cpu.IPOffset, 4);
        ASSERT_EQ(m.Step(), FetchExecuted);
        const std::vector<uint64_t> reached{Print | 65, Print | 65};
        EXPECT_EQ(m.Sink.Values, row.Reaches ? reached : std::vector<uint64_t>());
        EXPECT_EQ(m.Cpu.R[1], row.Port);
        EXPECT_EQ(m.Cpu.R[2], int64_t(Print | 65));
        EXPECT_EQ(m.Cpu.Ports.Keyboard.Data.load(), 0x41u);
        EXPECT_EQ(m.Cpu.Ports.Moniter.Data, 0u);
        EXPECT_TRUE(m.Bytes() == before);
    }
}

// The monitor holds the value in Data while the sink runs, and 0 afterwards.
class TDataCheckingSink : public TMoniterSink {
  public:
    const TSimpleMoniter* Moniter = nullptr;
    std::vector<uint64_t> SeenData;
    void MoniterOutput(uint64_t) override { SeenData.push_back(Moniter->Data); }
};

TEST(Ports, MonitorDataDuringAndAfterWrite) {
    TPorts ports;
    TDataCheckingSink sink;
    sink.Moniter = &ports.Moniter;
    ports.Moniter.Sink = &sink;
    EXPECT_EQ(ports.WritePort(1, 0xABC), 0);
    EXPECT_EQ(sink.SeenData, std::vector<uint64_t>{0xABC});
    EXPECT_EQ(ports.Moniter.Data, 0u);
    EXPECT_EQ(ports.ReadPort(1), 0u);
    EXPECT_EQ(ports.WritePort(0, 5), 0);
    EXPECT_EQ(ports.WritePort(9, 5), 0);
    EXPECT_EQ(sink.SeenData.size(), 1u);
    // Without a sink the output is dropped.
    ports.Moniter.Sink = nullptr;
    EXPECT_EQ(ports.WritePort(1, Print | 1), 0);
    EXPECT_EQ(ports.Moniter.Data, 0u);
}

struct TDecodeRow {
    const char* Name;
    uint64_t Value;
    TMoniterCommand::TKind Kind;
    uint32_t Number;
};

class MoniterDecode : public testing::TestWithParam<TDecodeRow> {};

TEST_P(MoniterDecode, Command) {
    const TMoniterCommand command = TMoniterCommand::Decode(GetParam().Value);
    EXPECT_EQ(command.Kind, GetParam().Kind);
    if (command.Kind == TMoniterCommand::Print) {
        EXPECT_EQ(command.Number, GetParam().Number);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MoniterDecode,
    testing::Values(TDecodeRow{"ZeroClears", 0, TMoniterCommand::Clear, 0},
                    TDecodeRow{"ClearIgnoresBits32To55", 0x00FFFFFF00000000, TMoniterCommand::Clear, 0},
                    TDecodeRow{"ClearWithNumberDoesNothing", 5, TMoniterCommand::None, 0},
                    TDecodeRow{"PrintNumber", Print | 65, TMoniterCommand::Print, 65},
                    TDecodeRow{"PrintZero", Print, TMoniterCommand::Print, 0},
                    TDecodeRow{"PrintLargest", Print | 0xFFFFFFFF, TMoniterCommand::Print, 0xFFFFFFFFu},
                    TDecodeRow{"PrintIgnoresBits32To55", Print | 0x00ABCDEF00000000 | 10,
                               TMoniterCommand::Print, 10},
                    TDecodeRow{"CommandTwo", (uint64_t{2} << 56) | 1, TMoniterCommand::None, 0},
                    TDecodeRow{"CommandFF", ~uint64_t{0}, TMoniterCommand::None, 0},
                    TDecodeRow{"CommandFFNumberZero", uint64_t{0xFF} << 56, TMoniterCommand::None, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Keyboard, KeyWordLayout) {
    EXPECT_EQ(TKeyboardPort::KeyWord(0x41, false, false, false), 0x41u);
    EXPECT_EQ(TKeyboardPort::KeyWord(0xFFFF, true, true, true), 0x70000FFFFu);
    EXPECT_EQ(TKeyboardPort::KeyWord(0x30, false, true, false), 0x200000030u);
    TPorts ports;
    ports.Keyboard.Data = 0x41;
    EXPECT_EQ(ports.ReadPort(0), 0x41u);
    EXPECT_EQ(ports.ReadPort(0), 0x41u);
    ports.WritePort(0, 7);
    EXPECT_EQ(ports.Keyboard.Data.load(), 0x41u);
}

// ---- BLKCOPY -------------------------------------------------------------------------------

// Byte-by-byte copy in ascending order, passing over bytes outside memory; count bounded.
void ModelCopy(std::vector<uint8_t>& mem, int64_t to, int64_t from, int64_t count) {
    const int64_t size = static_cast<int64_t>(mem.size());
    for (int64_t i = 0; i < count; ++i) {
        const __int128 d = static_cast<__int128>(to) + i, s = static_cast<__int128>(from) + i;
        if (d >= 0 && d < size && s >= 0 && s < size)
            mem[static_cast<size_t>(d)] = mem[static_cast<size_t>(s)];
        if (d >= size && s >= size) break;
    }
}

struct TCopyRow {
    const char* Name;
    int64_t To, From, Count;
};

class Blkcopy : public testing::TestWithParam<TCopyRow> {};

TEST_P(Blkcopy, MatchesByteByByteCopy) {
    const TCopyRow& row = GetParam();
    TTestMachine m(1000, 8);
    for (int a = 8; a < 1000; ++a)
        m.Cpu.Memory.Buffer()[a] = static_cast<uint8_t>(a * 13 + 5);
    m.Cpu.R[1] = row.To;
    m.Cpu.R[2] = row.From;
    m.Cpu.R[3] = row.Count;
    m.Put32(0, W(BLKCOPY, 1, 2, 3));
    std::vector<uint8_t> expected = m.Bytes();
    ModelCopy(expected, row.To, row.From, std::min<int64_t>(row.Count, 4000));
    m.Cpu.IPOffset = 0;
    ASSERT_EQ(m.Step(), FetchExecuted);
    EXPECT_EQ(m.Cpu.IPOffset, 4);
    EXPECT_TRUE(m.Bytes() == expected);
    EXPECT_EQ(m.Cpu.Memory.UsedLength(), 8);
    EXPECT_EQ(m.Cpu.R[1], row.To);
    EXPECT_EQ(m.Cpu.R[2], row.From);
    EXPECT_EQ(m.Cpu.R[3], row.Count);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Blkcopy,
    testing::Values(TCopyRow{"Apart", 500, 100, 50}, TCopyRow{"RepeatsOneByteUp", 101, 100, 10},
                    TCopyRow{"ShiftsDown", 100, 101, 10}, TCopyRow{"RepeatsThreeBytes", 103, 100, 200},
                    TCopyRow{"Same", 100, 100, 50}, TCopyRow{"CountZero", 200, 100, 0},
                    TCopyRow{"CountMinusOne", 200, 100, -1}, TCopyRow{"CountMin", 200, 100, INT64_MIN},
                    TCopyRow{"DestinationRunsPastSize", 995, 100, 10},
                    TCopyRow{"SourceRunsPastSize", 100, 995, 10}, TCopyRow{"SourceNegative", 200, -3, 10},
                    TCopyRow{"DestinationNegative", -3, 200, 10}, TCopyRow{"BothNegative", -50, -30, 100},
                    TCopyRow{"BothOutside", 2000, 3000, 10},
                    TCopyRow{"DestinationBeyondInt32", (int64_t{1} << 32) + 100, 100, 10},
                    TCopyRow{"HugeCountApart", 600, 8, INT64_MAX},
                    TCopyRow{"HugeCountRepeating", 101, 100, INT64_MAX},
                    TCopyRow{"HugeCountShiftingDown", 100, 107, INT64_MAX},
                    TCopyRow{"HugeCountFromNegative", 0, -500, INT64_MAX},
                    TCopyRow{"NearMaxAddresses", INT64_MAX - 5, INT64_MAX - 9, INT64_MAX},
                    TCopyRow{"NearMinAddresses", INT64_MIN, INT64_MIN + 3, INT64_MAX},
                    TCopyRow{"WrapsFromTopToZero", INT64_MAX, 100, INT64_MAX}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(BlkcopyRandom, MatchesTheModel) {
    std::mt19937_64 random(7);
    for (int round = 0; round < 2000; ++round) {
        const int64_t size = 8 + static_cast<int64_t>(random() % 120);
        TTestMachine m(size, 4);
        for (int64_t a = 4; a < size; ++a)
            m.Cpu.Memory.Buffer()[a] = static_cast<uint8_t>(random());
        auto pick = [&] { return static_cast<int64_t>(random() % (size + 40)) - 20; };
        const int64_t to = pick(), from = pick(), count = static_cast<int64_t>(random() % (size + 20)) - 5;
        m.Cpu.R[1] = to;
        m.Cpu.R[2] = from;
        m.Cpu.R[3] = count;
        m.Put32(0, W(BLKCOPY, 1, 2, 3));
        std::vector<uint8_t> expected = m.Bytes();
        ModelCopy(expected, to, from, count);
        m.Cpu.IPOffset = 0;
        ASSERT_EQ(m.Step(), FetchExecuted);
        ASSERT_TRUE(m.Bytes() == expected)
            << "size " << size << " to " << to << " from " << from << " count " << count;
    }
}

// ---- DIV by zero -----------------------------------------------------------------------------

TEST(DivisionByZero, ThrowsAndLeavesEverythingAtTheDivWord) {
    for (int64_t dividend : {int64_t{0}, int64_t{7}, INT64_MIN}) {
        SCOPED_TRACE(dividend);
        TTestMachine m(10000, 64);
        m.Cpu.R[1] = 11;
        m.Cpu.R[2] = dividend;
        m.Cpu.R[3] = 0;
        m.Put32(16, W(DIV, 1, 2, 3));
        m.Cpu.IPOffset = 16;
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                m.Step();
                FAIL() << "no exception";
            } catch (const TDivisionByZero& error) {
                EXPECT_STREQ(error.what(), "Division by zero");
            }
            EXPECT_EQ(m.Cpu.IPOffset, 16);
            EXPECT_EQ(m.Cpu.R[1], 11);
        }
        // A std::runtime_error to callers that know no more.
        EXPECT_THROW(m.Step(), std::runtime_error);
        // The divisor register itself as destination: still nothing written.
        m.Put32(16, W(DIV, 3, 2, 3));
        EXPECT_THROW(m.Step(), TDivisionByZero);
        EXPECT_EQ(m.Cpu.R[3], 0);
    }
}

} // namespace
