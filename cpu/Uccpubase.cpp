#include "Uccpubase.h"

#include <algorithm>

#include "UInstructions.h"

const std::array<const char*, TCCPUBase::PanelRegisterCount> TCCPUBase::PanelRegisterNames = [] {
    static constexpr const char* general[16] = {"R0", "R1", "R2",  "R3",  "R4",  "R5",  "R6",  "R7",
                                                "R8", "R9", "R10", "R11", "R12", "R13", "R14", "R15"};
    std::array<const char*, PanelRegisterCount> names{};
    for (int i = 0; i < ControlRegisterCount; ++i)
        names[static_cast<size_t>(i)] = roz::ControlRegisterName(PanelControlOrder[i]);
    for (int i = 0; i < 16; ++i)
        names[static_cast<size_t>(ControlRegisterCount + i)] = general[i];
    return names;
}();

TCCPUBase::TCCPUBase() {
    Ports.Keyboard.Data.store(0, std::memory_order_relaxed);
    Reset();
    Memory.Clear();
    Memory.SetSize(DefaultMemorySize);
}

int64_t TCCPUBase::Reset() {
    Version = 1;
    IPSegmentBegin = IPOffsetBegin = IPSegment = IPOffset = PSW = 0;
    std::fill(std::begin(R), std::end(R), 0);
    DataOffset = DataSegment = StackSegment = StackOffsetBegin = SP = 0;
    Clock = 0;
    return 0;
}

int64_t* TCCPUBase::ControlRegister(int64_t index) {
    switch (index) {
#define ROZ_CONTROL_MEMBER(Index, Name)                                                                      \
    case Ctl##Name:                                                                                          \
        return &Name;
        ROZ_CONTROL_REGISTERS(ROZ_CONTROL_MEMBER)
#undef ROZ_CONTROL_MEMBER
    default:
        return nullptr;
    }
}

int64_t& TCCPUBase::PanelRegister(int order) {
    if (order >= ControlRegisterCount) return R[order - ControlRegisterCount];
    return *ControlRegister(PanelControlOrder[order]);
}

int64_t TCCPUBase::Push(int64_t value) {
    roz::TExecState s{*this, IPOffset, Memory.Buffer(), Memory.Size()};
    roz::PushRecord(s, value);
    return 0;
}

int64_t TCCPUBase::Pop(TCell& record) {
    roz::TExecState s{*this, IPOffset, Memory.Buffer(), Memory.Size()};
    if (!s.Mem) return -1;
    record = TCCPUMemory::ReadCellAt(s.Mem, s.Size, roz::S(roz::U(StackOffsetBegin) + roz::U(SP) - 16));
    SP = roz::S(roz::U(SP) - 16);
    return 0;
}

int64_t TCCPUBase::FetchAndExecute(int64_t address) {
    if (const int64_t status = FetchStatus(address); status != FetchExecuted) return status;
    const int64_t size = Memory.Size();
    uint32_t word;
    std::memcpy(&word, Memory.Buffer() + static_cast<uint32_t>(address), 4);
    roz::TExecState s{*this, IPOffset, Memory.Buffer(), size};
    roz::ExecuteWord(s, word); // a division by zero leaves IPOffset untouched
    IPOffset = roz::S(roz::U(s.Ip) + 4);
    ++Clock;
    return FetchExecuted;
}

int64_t TCCPUBase::Dispatch(uint32_t word) {
    roz::TExecState s{*this, IPOffset, Memory.Buffer(), Memory.Size()};
    const int64_t status = roz::ExecuteWord(s, word);
    IPOffset = s.Ip;
    return status;
}

namespace roz {

void ThrowDivisionByZero() {
    throw TDivisionByZero();
}

void BlockCopy(uint8_t* mem, int64_t size, int64_t destination, int64_t source, int64_t count) {
    if (count <= 0 || !mem) return;
    // The i with 0 <= i < count, 0 <= source + i < size and 0 <= destination + i < size form
    // one range [first, last).
    using Wide = __int128;
    const Wide first = std::max<Wide>({0, -Wide{source}, -Wide{destination}});
    const Wide last = std::min<Wide>({Wide{count}, Wide{size} - source, Wide{size} - destination});
    if (first >= last) return;
    const int64_t length = static_cast<int64_t>(last - first);
    uint8_t* to = mem + static_cast<int64_t>(destination + first);
    const uint8_t* from = mem + static_cast<int64_t>(source + first);
    if (to <= from || to >= from + length) {
        // Ascending byte order gives the same result as a plain move here.
        std::memmove(to, from, static_cast<size_t>(length));
        return;
    }
    // The destination starts inside the source: ascending byte order re-reads bytes already
    // written, so the destination repeats the first (to - from) source bytes. Write that
    // period once, then double the written run, which is whole periods long.
    const int64_t period = to - from;
    std::memcpy(to, from, static_cast<size_t>(period)); // period < length here
    for (int64_t done = period; done < length;) {
        const int64_t chunk = std::min(done, length - done);
        std::memcpy(to + done, to, static_cast<size_t>(chunk));
        done += chunk;
    }
}

} // namespace roz
