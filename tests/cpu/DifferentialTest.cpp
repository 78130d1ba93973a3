// Random machines run by the run loop and by single steps must end in exactly the same
// state. The images lean towards what stresses the loop: valid register bytes, backward
// jumps (loops), calls and returns, memory traffic, monitor output, division by zero, jumps
// out of memory, jumps into the middle of a word, stores, copies, pushes and call records
// into code that has already run (the loop decodes code ahead), and memory edited from
// outside between two parts of a run.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <unordered_map>

#include "Differential.h"

namespace {

using namespace enc;

class TGenerator {
  public:
    explicit TGenerator(uint64_t seed) : FRandom(seed) {}

    diff::TSetup Next() {
        diff::TSetup setup;
        setup.MemorySize = Chance(25) ? 16 + Below(112) : 256 + Below(3840);
        const int64_t imageTarget =
            std::min<int64_t>(setup.MemorySize - 1, 8 + Below(std::min<int64_t>(setup.MemorySize, 1024)));
        TImage image;
        std::vector<int64_t> slots;
        while (image.Here() < imageTarget) {
            slots.push_back(image.Here());
            AddInstruction(image);
        }
        setup.ImageLength = std::min<int64_t>(image.Here(), setup.MemorySize - 1);
        setup.Memory = image.Bytes;
        setup.Memory.resize(static_cast<size_t>(setup.MemorySize));
        const bool noisy = Chance(50);
        for (size_t a = static_cast<size_t>(setup.ImageLength); a < setup.Memory.size(); ++a)
            setup.Memory[a] = noisy ? static_cast<uint8_t>(FRandom()) : 0;
        if (Chance(3)) setup.ImageLength = 0; // nothing loaded

        for (int i = 0; i < 16; ++i)
            setup.Registers[PanelIndex("R" + std::to_string(i))] = RegisterValue(setup, slots);
        auto set = [&](const char* name, int64_t value) { setup.Registers[PanelIndex(name)] = value; };
        set("Version", 1);
        set("IPOffset", Chance(85)   ? 0
                        : Chance(50) ? slots[Below(slots.size())]
                                     : RegisterValue(setup, slots));
        set("IPOffsetBegin", Chance(50) ? 0 : Chance(60) ? 8 : Below(64) - 16);
        set("SP", Chance(50) ? 0 : Below(setup.MemorySize) & ~15);
        set("StackOffsetBegin", Chance(20)   ? 0
                                : Chance(30) ? slots[Below(slots.size())] // records over code
                                : Chance(80) ? Below(setup.MemorySize)
                                             : static_cast<int64_t>(FRandom()));
        set("PSW", Below(8));
        set("IPSegment", Below(100));
        set("DataOffset", Below(100));
        setup.Keyboard = Chance(50) ? 0 : FRandom();
        setup.MaxSteps = Chance(5) ? 0 : Below(4000);
        if (Chance(20)) {
            setup.EditAt = 1 + Below(setup.MaxSteps);
            setup.EditAddress = slots[Below(slots.size())] + (Chance(70) ? 0 : Below(12) - 4);
            TImage edit;
            AddInstruction(edit);
            setup.EditBytes = edit.Bytes;
        }
        return setup;
    }

  private:
    bool Chance(int percent) { return static_cast<int>(FRandom() % 100) < percent; }
    int64_t Below(uint64_t n) { return n == 0 ? 0 : static_cast<int64_t>(FRandom() % n); }
    // Mostly R0..R7 (so that operands meet), sometimes R8..R15, rarely no register at all.
    uint32_t Reg() {
        const int roll = static_cast<int>(Below(100));
        if (roll < 75) return static_cast<uint32_t>(Below(8));
        if (roll < 95) return static_cast<uint32_t>(8 + Below(8));
        return static_cast<uint32_t>(FRandom() & 0xFF);
    }
    uint32_t Pick(std::initializer_list<uint32_t> ops) { return *(ops.begin() + Below(ops.size())); }

    void AddInstruction(TImage& image) {
        const int roll = static_cast<int>(Below(100));
        uint32_t word;
        if (roll < 25)
            word = W(Pick({ADD, SUB, MUL, AND, OR, XOR, SHL, SAR}), Reg(), Reg(), Reg());
        else if (roll < 35)
            word = W(Pick({MOV, INC, DEC, LNOT, CMP, CMP, ONES, CLR}), Reg(), Reg(), Reg());
        else if (roll < 38)
            word = W(DIV, Reg(), Reg(), Reg());
        else if (roll < 48)
            word = W(Pick({LOAD, STORE, STORE, MCOPY}), Reg(), Reg(), Reg());
        else if (roll < 52)
            word = W(Pick({RDCTL, WRCTL}), 0, Below(100) < 90 ? Reg() : static_cast<uint32_t>(Below(13)),
                     Below(100) < 60 ? static_cast<uint32_t>(Below(12)) : Reg());
        else if (roll < 64)
            word = W(Pick({JMP, JE, JNE, JNE, JLE, JG}), 0, 0, Reg());
        else if (roll < 71)
            word = W(Pick({CALL, CALL, RET, INT, IRET, CALLI}), 0, 0, Reg());
        else if (roll < 76)
            word = W(Pick({PUSH, POP}), 0, 0, Reg());
        else if (roll < 82) {
            image.Short(W(Pick({IN, OUT, OUT}), 0, Reg(), Reg()));
            return;
        } else if (roll < 85) {
            image.Short(W(BLKCOPY, Reg(), Reg(), Reg()));
            return;
        } else if (roll < 89) {
            image.Op(W(LDI, Reg())).Cell(Chance(50) ? Below(4096) : FRandom(), FRandom());
            return;
        } else if (roll < 96) {
            word = static_cast<uint32_t>(FRandom()); // anything, mostly words that select nothing
        } else {
            image.Short(static_cast<uint32_t>(Pick({0x70, 0x90, 0x07, 0x16, 0x35, 0x53, 0x80})) << 24);
            return;
        }
        image.Op(word);
        if (Chance(30)) {
            for (int k = 0; k < 4; ++k)
                image.Bytes[image.Bytes.size() - 1 - k] = static_cast<uint8_t>(FRandom());
        }
    }

    int64_t RegisterValue(const diff::TSetup& setup, const std::vector<int64_t>& slots) {
        const int roll = static_cast<int>(Below(100));
        if (roll < 30) return slots[Below(slots.size())] - 4;                // a jump target
        if (roll < 35) return slots[Below(slots.size())] - 4 + 1 + Below(7); // into a word
        if (roll < 45) return Below(setup.MemorySize + 16);                  // an address
        if (roll < 55) return slots[Below(slots.size())];                    // code to overwrite
        if (roll < 63) return 0;                                             // also a divisor
        if (roll < 70) return 1 + Below(20);                                 // a count or port
        if (roll < 76)
            return W(Pick({INC, ADD, JMP, JNE, CMP, OUT, STORE, LDI}), Reg(), Reg(),
                     Reg()); // a word to store
        if (roll < 80) return -1;
        if (roll < 84) return static_cast<int64_t>(uint64_t{1} << 56 | Below(1000)); // a print command
        if (roll < 88) return Chance(50) ? INT64_MIN : INT64_MAX;
        if (roll < 92) return setup.MemorySize - Below(8); // the last bytes
        return static_cast<int64_t>(FRandom());
    }

  public:
    // Checks for a setup: breakpoints on instruction starts and anywhere, write watches over
    // code, data and the stack, the port watches (with a register naming the port), a
    // return bound near SP; sometimes none.
    TDebugChecks ChecksFor(diff::TSetup& setup) {
        TDebugChecks checks;
        if (Chance(10)) return checks;
        const int64_t size = setup.MemorySize;
        for (int k = Below(4); k > 0; --k)
            checks.Breakpoints.push_back(
                static_cast<uint64_t>(Chance(70) ? Below(setup.ImageLength + 8) & ~3 : Below(size)));
        checks.SortBreakpoints();
        for (int k = Below(3); k > 0; --k) {
            const int64_t sp =
                setup.Registers[PanelIndex("StackOffsetBegin")] + setup.Registers[PanelIndex("SP")];
            const uint64_t begin =
                static_cast<uint64_t>(Chance(30) ? (sp & 0xFFFFFFFF) + Below(48) : Below(size));
            checks.Watches.push_back({begin, begin + 1 + Below(Chance(20) ? 256 : 24), true, false});
        }
        checks.WatchPortIn = Chance(20);
        checks.WatchPortOut = Chance(20);
        for (int k = checks.WatchPortIn || checks.WatchPortOut ? 2 : 0; k > 0; --k)
            setup.Registers[PanelIndex("R" + std::to_string(Below(8)))] =
                checks.WatchPortOut && Chance(70) ? 1 : 0;
        if (Chance(15)) checks.ReturnBelow = setup.Registers[PanelIndex("SP")] - 16 * Below(3);
        return checks;
    }

  private:
    std::mt19937_64 FRandom;
};

// What a setup's run does that decoding ahead must get right, seen by single steps: a word
// executed again after it was overwritten, and a word fetched at an address that no
// instruction of the image starts at (every slot starts at a multiple of 4).
struct TCoverage {
    bool Rewritten = false;
    bool IntoAWord = false;
};

TCoverage CoverageOf(const diff::TSetup& setup) {
    diff::TMachine m;
    TCoverage coverage;
    if (!diff::Build(setup, m)) return coverage;
    std::unordered_map<int64_t, uint32_t> seen;
    const uint64_t edit = setup.EditAt == 0 ? UINT64_MAX : setup.EditAt;
    for (uint64_t n = 0; n < setup.MaxSteps; ++n) {
        if (n == edit) diff::ApplyEdit(setup, m.Cpu);
        const int64_t ip = m.Cpu.IPOffset;
        if (m.Cpu.FetchStatus(ip) != FetchExecuted) break;
        uint32_t word;
        std::memcpy(&word, m.Cpu.Memory.Buffer() + ip, 4);
        const auto [at, fresh] = seen.emplace(ip, word);
        coverage.Rewritten |= !fresh && at->second != word;
        coverage.IntoAWord |= ip % 4 != 0;
        try {
            m.Cpu.FetchAndExecute(ip);
        } catch (const TDivisionByZero&) {
            break;
        }
        if (m.Cpu.IPOffset >= m.Cpu.Memory.Size()) break;
    }
    return coverage;
}

TEST(Differential, RunLoopEqualsSingleSteps) {
    TGenerator generator(20261208);
    constexpr int Rounds = 10000;
    int ends[5] = {};
    uint64_t executed = 0;
    int rewritten = 0, intoAWord = 0;
    for (int round = 0; round < Rounds; ++round) {
        const diff::TSetup setup = generator.Next();
        TRunResult stepEnd{TRunEnd::Stopped, 0, 0};
        const std::string difference = diff::RunBothWays(setup, &stepEnd);
        ASSERT_NE(stepEnd.End, TRunEnd::Stopped) << "round " << round << " was not built";
        ASSERT_EQ(difference, "") << "round " << round << ", memory " << setup.MemorySize << ", image "
                                  << setup.ImageLength << ", budget " << setup.MaxSteps;
        ++ends[static_cast<int>(stepEnd.End)];
        executed += stepEnd.Executed;
        const TCoverage coverage = CoverageOf(setup);
        rewritten += coverage.Rewritten;
        intoAWord += coverage.IntoAWord;
    }
    // The generator must reach every ending (a weak generator would make this test hollow).
    EXPECT_GT(ends[static_cast<int>(TRunEnd::EndOfImage)], Rounds / 10);
    EXPECT_GT(ends[static_cast<int>(TRunEnd::LeftMemory)], Rounds / 10);
    EXPECT_GT(ends[static_cast<int>(TRunEnd::StepLimit)], Rounds / 10);
    EXPECT_GT(ends[static_cast<int>(TRunEnd::DivisionByZero)], Rounds / 100);
    EXPECT_GT(executed, 100u * Rounds); // long runs (loops), not only a few words each
    EXPECT_GT(rewritten, Rounds / 100); // code changed after it ran, and ran again
    EXPECT_GT(intoAWord, Rounds / 20);  // jumps into the middle of a word
}

// The checked loop against single steps that make the checks by hand, resuming after every
// stop: checks that never fire leave it equal to the plain loop, and every stop lands where
// the steps stop, with the same reason.
TEST(Differential, CheckedRunLoopEqualsCheckedSteps) {
    TGenerator generator(20261209);
    constexpr int Rounds = 6000;
    using K = TDebugStop::TKind;
    int stops[7] = {}, quiet = 0;
    for (int round = 0; round < Rounds; ++round) {
        diff::TSetup setup = generator.Next();
        setup.EditAt = 0;
        const TDebugChecks checks = generator.ChecksFor(setup);
        int seen[7] = {};
        const std::string difference = diff::RunCheckedBothWays(setup, checks, 6, seen);
        ASSERT_EQ(difference, "") << "round " << round << ", memory " << setup.MemorySize << ", image "
                                  << setup.ImageLength << ", budget " << setup.MaxSteps;
        int all = 0;
        for (int k = 0; k < 7; ++k) {
            stops[k] += seen[k];
            all += seen[k];
        }
        quiet += all == 0;
    }
    // Every reason occurs (a weak generator would make this test hollow), and runs without one.
    for (K kind : {K::Breakpoint, K::WatchWrite, K::PortIn, K::PortOut, K::Returned})
        EXPECT_GT(stops[static_cast<int>(kind)], Rounds / 200) << "kind " << int(kind);
    EXPECT_GT(quiet, Rounds / 10);
}

} // namespace
