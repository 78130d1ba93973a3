// Builds a machine from the fuzzer's bytes, runs it by the run loop and by single steps for
// up to a few thousand instructions, and aborts on any difference in the outcome, the
// registers, memory or monitor output. The sanitizers catch any access outside the buffer.
//
// Input layout (missing bytes read as 0):
//   0..1   memory size: 16 + (value % 4081)      2..3  step budget: value % 4096
//   4      IPOffsetBegin (signed)                5     PSW
//   6      SP / 16                               7     StackOffsetBegin / 16
//   8..11  keyboard word                         12..43  R0..R15, 16-bit signed each
//   44..45 edit after this many instructions (value % 4096; 0: none)
//   46..47 edit address (value % memory size)    48..55  the 8 bytes written by the edit
//   56..   the code image (at most memory size - 1 bytes; none: nothing loaded)
// The same machine also runs by the checked loop against checked single steps, with checks
// taken from bytes already read: a breakpoint at the edit address and one at the edit
// address rounded down to 8, a write watch of 1..32 bytes at edit bytes 0..1 (modulo the
// memory size), the port watches from edit byte 3's low bits, a return bound from byte 4.
#include <cstdio>
#include <cstdlib>

#include "Differential.h"

namespace {

class TReader {
  public:
    TReader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    uint64_t Take(int bytes) {
        uint64_t value = 0;
        for (int k = 0; k < bytes; ++k, ++FAt)
            if (FAt < FSize) value |= uint64_t{FData[FAt]} << (8 * k);
        return value;
    }
    size_t At() const { return FAt; }

  private:
    const uint8_t* FData;
    size_t FSize;
    size_t FAt = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TReader in(data, size);
    diff::TSetup setup;
    setup.MemorySize = 16 + static_cast<int64_t>(in.Take(2) % 4081);
    setup.MaxSteps = in.Take(2) % 4096;
    auto set = [&](const char* name, int64_t value) { setup.Registers[PanelIndex(name)] = value; };
    set("Version", 1);
    set("IPOffsetBegin", static_cast<int8_t>(in.Take(1)));
    set("PSW", static_cast<int64_t>(in.Take(1)));
    set("SP", static_cast<int64_t>(in.Take(1)) * 16);
    set("StackOffsetBegin", static_cast<int64_t>(in.Take(1)) * 16);
    setup.Keyboard = in.Take(4);
    for (int r = 0; r < 16; ++r)
        set(("R" + std::to_string(r)).c_str(), static_cast<int16_t>(in.Take(2)));
    setup.EditAt = in.Take(2) % 4096;
    setup.EditAddress = static_cast<int64_t>(in.Take(2)) % setup.MemorySize;
    for (int k = 0; k < 8; ++k)
        setup.EditBytes.push_back(static_cast<uint8_t>(in.Take(1)));

    const size_t imageStart = in.At() < size ? in.At() : size;
    const int64_t image = std::min<int64_t>(static_cast<int64_t>(size - imageStart), setup.MemorySize - 1);
    setup.Memory.assign(data + imageStart, data + imageStart + image);
    setup.Memory.resize(static_cast<size_t>(setup.MemorySize));
    setup.ImageLength = image;

    const std::string difference = diff::RunBothWays(setup);
    if (!difference.empty()) {
        std::fprintf(stderr, "run loop and single steps differ:\n%s", difference.c_str());
        std::abort();
    }

    TDebugChecks checks;
    const auto edit = [&](int k) { return uint64_t{setup.EditBytes[k]}; };
    checks.Breakpoints = {uint64_t(setup.EditAddress), uint64_t(setup.EditAddress) & ~uint64_t{7}};
    checks.SortBreakpoints();
    const uint64_t watch = (edit(0) | edit(1) << 8) % uint64_t(setup.MemorySize);
    checks.Watches.push_back({watch, watch + 1 + edit(2) % 32, true, false});
    checks.WatchPortIn = (edit(3) & 1) != 0;
    checks.WatchPortOut = (edit(3) & 2) != 0;
    if (edit(4) & 1) checks.ReturnBelow = setup.Registers[PanelIndex("SP")] - int64_t(edit(4) >> 1) * 16;
    setup.EditAt = 0;
    int stops[7] = {};
    const std::string checked = diff::RunCheckedBothWays(setup, checks, 4, stops);
    if (!checked.empty()) {
        std::fprintf(stderr, "checked run loop and checked single steps differ:\n%s", checked.c_str());
        std::abort();
    }
    return 0;
}
