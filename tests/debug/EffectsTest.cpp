// The effects record (EffectsOf) against the single-step model's own view of each instruction
// (ReadsOf, PortOf in CheckedSteps.cpp) and against what the instruction really does, over
// random words and machine states that lean on the edges: addresses near 0 and near the end
// of memory, negative and huge ones, register bytes out of range, stacks over the edges.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "CheckedSteps.h"
#include "UInstructionEffects.h"
#include "Uccpubase.h"

namespace {

class TRandomState {
  public:
    explicit TRandomState(uint64_t seed) : FRandom(seed) {}

    uint64_t Below(uint64_t n) { return FRandom() % n; }

    int64_t Address(int64_t size) {
        switch (Below(6)) {
        case 0:
            return static_cast<int64_t>(Below(32)) - 16;
        case 1:
            return size - static_cast<int64_t>(Below(32));
        case 2:
            return static_cast<int64_t>(FRandom());
        case 3:
            return static_cast<int64_t>(FRandom() & 0xFFFFFFFF00000000u) + static_cast<int64_t>(Below(64));
        default:
            return static_cast<int64_t>(Below(static_cast<uint64_t>(size)));
        }
    }

    uint32_t Word() {
        const roz::TInstruction& row = roz::Instructions[Below(roz::InstructionCount)];
        const auto reg = [&] { return static_cast<uint32_t>(Below(10) == 0 ? Below(256) : Below(16)); };
        const uint32_t top = Below(20) == 0 ? static_cast<uint32_t>(Below(256)) : row.TopByte;
        return top << 24 | reg() << 16 | reg() << 8 | reg();
    }

    void Fill(TCCPUBase& cpu) {
        cpu.Reset();
        const int64_t size = 64 + static_cast<int64_t>(Below(256));
        cpu.Memory.SetSize(size);
        for (int64_t k = 0; k < size; ++k)
            cpu.Memory.Buffer()[k] = static_cast<uint8_t>(FRandom());
        for (int64_t& r : cpu.R)
            r = Below(3) == 0 ? static_cast<int64_t>(Below(300)) - 150 : Address(size);
        // Ports: the map's numbers and others.
        cpu.R[Below(16)] = static_cast<int64_t>(Below(4)) - 1;
        cpu.StackOffsetBegin = Below(2) ? 0 : Address(size);
        cpu.SP = Below(2) ? static_cast<int64_t>(Below(static_cast<uint64_t>(size))) & ~15 : Address(size);
        cpu.IPOffset = 0;
    }

  private:
    std::mt19937_64 FRandom;
};

TEST(Effects, AgreeWithTheSingleStepModelAndWithExecution) {
    TRandomState random(7);
    TCCPUBase cpu, after;
    int seen[4] = {}; // words with reads, with writes, with a port, calls or returns
    for (int round = 0; round < 100000; ++round) {
        random.Fill(cpu);
        const uint32_t word = random.Word();
        const roz::TExecState s{cpu, cpu.IPOffset, cpu.Memory.Buffer(), cpu.Memory.Size()};
        const roz::TEffects e = roz::EffectsOfWord(s, word);
        SCOPED_TRACE(testing::Message() << "round " << round << " word 0x" << std::hex << word);

        std::vector<oracle::TReadRange> reads;
        for (int k = e.Writes; k < e.Count; ++k)
            reads.push_back({e.Begin[k], e.End[k]});
        ASSERT_EQ(reads, oracle::ReadsOf(cpu, word));

        const std::optional<int64_t> in = oracle::PortOf(cpu, word, roz::TInstr::IN);
        const std::optional<int64_t> out = oracle::PortOf(cpu, word, roz::TInstr::OUT);
        ASSERT_EQ(e.Port == roz::TPortAccess::In, in.has_value());
        ASSERT_EQ(e.Port == roz::TPortAccess::Out, out.has_value());
        if (in || out) {
            ASSERT_EQ(e.PortNumber, in ? *in : *out);
            ASSERT_EQ(e.PortRegister, word & 0xFF);
        }
        ASSERT_EQ(e.Returns, roz::IsReturnWord(word));

        // Executed on a copy: every byte it changes lies in a write range, and a call moves
        // IPOffset to somewhere other than behind itself exactly when the record says so.
        after.Reset();
        after.Memory.SetSize(cpu.Memory.Size());
        std::memcpy(after.Memory.Buffer(), cpu.Memory.Buffer(), static_cast<size_t>(cpu.Memory.Size()));
        std::copy(std::begin(cpu.R), std::end(cpu.R), std::begin(after.R));
        after.StackOffsetBegin = cpu.StackOffsetBegin;
        after.SP = cpu.SP;
        const int64_t spBefore = after.SP;
        try {
            after.Dispatch(word);
        } catch (const TDivisionByZero&) {
            continue;
        }
        for (int64_t k = 0; k < cpu.Memory.Size(); ++k) {
            if (cpu.Memory.Buffer()[k] == after.Memory.Buffer()[k]) continue;
            bool inside = false;
            for (int w = 0; w < e.Writes; ++w)
                inside |= static_cast<uint64_t>(k) >= e.Begin[w] && static_cast<uint64_t>(k) < e.End[w];
            ASSERT_TRUE(inside) << "byte " << k << " changed outside the writes";
        }
        ASSERT_EQ(e.Calls, roz::IsCallWord(word) && after.SP == roz::S(roz::U(spBefore) + 48));
        seen[0] += reads.empty() ? 0 : 1;
        seen[1] += e.Writes > 0;
        seen[2] += e.Port != roz::TPortAccess::None;
        seen[3] += e.Calls || e.Returns;
    }
    for (int kind : seen)
        EXPECT_GT(kind, 1000);
}

} // namespace
