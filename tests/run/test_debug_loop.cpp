// The checked run loop's stops, one row per instruction that reads or writes memory or a
// port, at the edges of the watched ranges (the random differential test covers the rest).
#include <gtest/gtest.h>

#include <functional>

#include "TestImage.h"
#include "URunLoop.h"
#include "Uccpu.h"

using namespace rtest;
using roz::TInstr;
using K = TDebugStop::TKind;

namespace {

// R5 = 4000 and R6 = 4016 (data addresses), R2 = 7, R4 = 16, then the row's code.
struct TRow {
    const char* Name;
    std::function<void(TImage&)> Code;
    TDebugChecks Checks;
    K Kind;                // None: the program runs to its end
    uint64_t Address;      // WatchWrite / WatchRead: the first byte reported
    int64_t Value = 0;     // PortIn / PortOut
    uint64_t PresetAt = 0; // a byte set before the run, when not 0
    uint8_t Preset = 0;
};

TDebugChecks Watch(uint64_t begin, uint64_t end, bool write = true, bool read = false) {
    TDebugChecks checks;
    checks.Watches.push_back({begin, end, write, read});
    return checks;
}

TDebugChecks Ports(bool in, bool out) {
    TDebugChecks checks;
    checks.WatchPortIn = in;
    checks.WatchPortOut = out;
    return checks;
}

void Put(TImage& image, TInstr row, int a, int b, int c) {
    image.Put(row, a, b, c);
}

// A call of the next instruction: its records are the only effect.
void CallNext(TImage& image, bool inline_) {
    if (inline_) {
        const size_t at = image.Bytes.size();
        Put(image, TInstr::CALLI, 0, 0, 0);
        const uint64_t cell = at + 24 - 4; // the cell (8 bytes on) holds the target - 4
        for (int k = 0; k < 8; ++k)
            image.Bytes[at + 8 + k] = static_cast<uint8_t>(cell >> (8 * k));
        return;
    }
    TImage constant;
    constant.Const(3, 0);
    image.Const(3, static_cast<uint32_t>(image.Here() + constant.Here() + 8 - 4));
    Put(image, TInstr::CALL, 0, 0, 3);
}

TEST(CheckedLoop, StopsOfEveryAccess) {
    // The stack: StackOffsetBegin 0, SP 5000 (set below): records from byte 5000 on.
    const TRow rows[] = {
        {"STORE changes", [](TImage& i) { Put(i, TInstr::STORE, 0, 5, 2); }, Watch(4000, 4008), K::WatchWrite,
         4000},
        {"STORE its second word", [](TImage& i) { Put(i, TInstr::STORE, 0, 5, 2); }, Watch(4008, 4016),
         K::None, 0},
        {"STORE beside the range", [](TImage& i) { Put(i, TInstr::STORE, 0, 5, 2); }, Watch(4016, 4100),
         K::None, 0},
        {"STORE the same value",
         [](TImage& i) {
             Put(i, TInstr::STORE, 0, 5, 2);
             Put(i, TInstr::STORE, 0, 5, 2);
         },
         Watch(4000, 4001), K::WatchWrite, 4000}, // the first one only: then the byte holds 7
        {"MCOPY destination",
         [](TImage& i) {
             Put(i, TInstr::STORE, 0, 5, 2);
             Put(i, TInstr::MCOPY, 6, 0, 5);
         },
         Watch(4016, 4017), K::WatchWrite, 4016},
        {"MCOPY source read", [](TImage& i) { Put(i, TInstr::MCOPY, 6, 0, 5); },
         Watch(4015, 4016, false, true), K::WatchRead, 4015},
        {"LOAD read", [](TImage& i) { Put(i, TInstr::LOAD, 1, 0, 5); }, Watch(4007, 4009, false, true),
         K::WatchRead, 4007},
        {"LOAD beside", [](TImage& i) { Put(i, TInstr::LOAD, 1, 0, 5); }, Watch(4008, 4009, false, true),
         K::None, 0},
        {"PUSH", [](TImage& i) { Put(i, TInstr::PUSH, 0, 0, 2); }, Watch(5000, 5016), K::WatchWrite, 5000},
        {"CALL's return address", [](TImage& i) { CallNext(i, false); }, Watch(5016, 5024), K::WatchWrite,
         5016},
        {"CALLI's return address", [](TImage& i) { CallNext(i, true); }, Watch(5017, 5040), K::WatchWrite,
         5017},
        {"POP read",
         [](TImage& i) {
             Put(i, TInstr::PUSH, 0, 0, 2);
             Put(i, TInstr::POP, 0, 0, 1);
         },
         Watch(5000, 5001, false, true), K::WatchRead, 5000},
        {"BLKCOPY of equal bytes", [](TImage& i) { Put(i, TInstr::BLKCOPY, 6, 5, 4); }, Watch(4031, 4040),
         K::None, 0},
        {"BLKCOPY over the range's first byte",
         [](TImage& i) {
             i.Const(6, 3985);
             Put(i, TInstr::BLKCOPY, 6, 5, 4); // [3985, 4001) := [4000, 4016): byte 4000 := 9
         },
         Watch(4000, 4010), K::WatchWrite, 4000, 0, 4015, 9},
        {"BLKCOPY source read across the edge", [](TImage& i) { Put(i, TInstr::BLKCOPY, 6, 5, 4); },
         Watch(3990, 4001, false, true), K::WatchRead, 4000},
        {"IN from port 0", [](TImage& i) { i.In(0, 1); }, Ports(true, false), K::PortIn, 0, 42},
        {"IN from port 1", [](TImage& i) { i.In(ROne, 1); }, Ports(true, true), K::None, 0},
        {"OUT to port 1", [](TImage& i) { i.Out(ROne, 2); }, Ports(false, true), K::PortOut, 0, 7},
        {"OUT to port 0", [](TImage& i) { i.Out(0, 2); }, Ports(true, true), K::None, 0},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TImage image;
        image.Setup();
        image.Const(5, 4000);
        image.Const(6, 4016);
        image.Const(2, 7);
        image.Const(4, 16);
        image.Clr(0);
        const int64_t at = image.Here();
        row.Code(image);
        TCCPU cpu;
        image.Load(cpu);
        cpu.SP = 5000;
        cpu.IPOffsetBegin = 8; // CALLI's cell
        cpu.Ports.Keyboard.Data = 42;
        if (row.PresetAt) cpu.Memory.Buffer()[row.PresetAt] = row.Preset;
        TRunControl control;
        control.Word = TRunControl::Running;
        const TRunResult result = RunLoopChecked(cpu, control, row.Checks);
        if (row.Kind == K::None) {
            EXPECT_EQ(result.End, TRunEnd::EndOfImage);
            continue;
        }
        EXPECT_EQ(result.Stop.Kind, row.Kind);
        EXPECT_GE(result.Stop.Instruction, at);
        const uint8_t top = cpu.Memory.Buffer()[result.Stop.Instruction + 3];
        const int size = top >> 4 == 5 ? 4 : top == roz::TopByteOf(TInstr::CALLI) ? 24 : 8;
        EXPECT_EQ(cpu.IPOffset, result.Stop.Instruction + size); // right after it
        if (row.Kind == K::WatchWrite || row.Kind == K::WatchRead) {
            EXPECT_EQ(result.Stop.Address, row.Address);
        }
        if (row.Kind == K::PortIn || row.Kind == K::PortOut) {
            EXPECT_EQ(result.Stop.Value, row.Value);
        }
        // Each row hits once: the rest runs to the end.
        EXPECT_EQ(RunLoopChecked(cpu, control, row.Checks).End, TRunEnd::EndOfImage);
    }
}

// A breakpoint stops before its instruction; resuming executes it unchecked; a store that
// rewrites the word at a breakpoint still stops there, and the new word is what executes.
TEST(CheckedLoop, BreakpointsSurviveSelfModifiedCode) {
    TImage image;
    image.Setup();
    const size_t target = image.Const(5, 0); // R5: the breakpoint's address
    const size_t back = image.Const(3, 0);   // R3: the loop's jump register
    const uint32_t inc = roz::Encode(TInstr::INC, 0, 1, 1);
    image.Const(2, inc >> 24); // R2: the word INC R1, R1 that replaces CLR R1
    image.Const(7, 24);
    image.Shl(2, 2, 7);
    image.Const(8, inc & 0xFFFFFF);
    image.Add(2, 2, 8);
    image.Clr(1);
    const int64_t loop = image.Here();
    image.Clr(1);                      // rewritten by the STORE below
    image.Put(TInstr::STORE, 0, 5, 2); // the cell's zero word makes this slot a NOP
    image.Jmp(3);
    image.Patch(target, 5, static_cast<uint32_t>(loop));
    image.Patch(back, 3, static_cast<uint32_t>(loop - 4));
    TCCPU cpu;
    image.Load(cpu);
    TDebugChecks checks;
    checks.Breakpoints = {static_cast<uint64_t>(loop)};
    TRunControl control;
    control.Word = TRunControl::Running;
    for (int64_t pass = 0; pass < 4; ++pass) {
        const TRunResult result = RunLoopChecked(cpu, control, checks, UINT64_MAX, pass > 0);
        ASSERT_EQ(result.End, TRunEnd::Breakpoint);
        EXPECT_EQ(result.Stop.Instruction, loop);
        EXPECT_EQ(cpu.IPOffset, loop);
        EXPECT_EQ(cpu.R[1], pass <= 1 ? 0 : pass - 1); // CLR on the first pass, then INC
    }
    // Without the skip it stops at once, executing nothing.
    EXPECT_EQ(RunLoopChecked(cpu, control, checks).Executed, 0u);
}

TEST(CheckedLoop, ReturnBelowStopsAfterTheReturn) {
    TImage image;
    image.Setup();
    const size_t callee = image.Const(3, 0);
    image.Put(TInstr::CALL, 0, 0, 3);
    const int64_t after = image.Here();
    image.Nop();
    const int64_t function = image.Here();
    image.Put(TInstr::RET, 0, 0, 0);
    image.Patch(callee, 3, static_cast<uint32_t>(function - 4));
    TCCPU cpu;
    image.Load(cpu);
    cpu.SP = 5000;
    TDebugChecks checks;
    checks.ReturnBelow = 5000 + 1; // below the call's records, which put SP at 5048
    TRunControl control;
    control.Word = TRunControl::Running;
    const TRunResult result = RunLoopChecked(cpu, control, checks);
    EXPECT_EQ(result.End, TRunEnd::Returned);
    EXPECT_EQ(result.Stop.Instruction, function);
    EXPECT_EQ(cpu.IPOffset, after);
    EXPECT_EQ(cpu.SP, 5000);
}

} // namespace
