#pragma once
// The control registers as RDCTL and WRCTL select them: index (the operand byte) and name.
// The name is also the TCCPUBase member that holds the register, and the text the
// assembler, the disassembler, the runner and the window show for it.
#include <array>
#include <cstdint>
#include <string_view>

// ROZ_CONTROL_REGISTER(Index, Name), indexes 0.. without gaps.
#define ROZ_CONTROL_REGISTERS(X)                                                                             \
    X(0, DataOffset)                                                                                         \
    X(1, DataSegment)                                                                                        \
    X(2, IPOffset)                                                                                           \
    X(3, IPOffsetBegin)                                                                                      \
    X(4, IPSegment)                                                                                          \
    X(5, IPSegmentBegin)                                                                                     \
    X(6, PSW)                                                                                                \
    X(7, SP)                                                                                                 \
    X(8, StackOffsetBegin)                                                                                   \
    X(9, StackSegment)                                                                                       \
    X(10, Version)

namespace roz {

#define ROZ_COUNT_CONTROL(Index, Name) +1
constexpr int ControlRegisterCount = 0 ROZ_CONTROL_REGISTERS(ROZ_COUNT_CONTROL);
#undef ROZ_COUNT_CONTROL

// Names by index.
constexpr std::array<const char*, ControlRegisterCount> ControlRegisterNames = [] {
    std::array<const char*, ControlRegisterCount> names{};
#define ROZ_CONTROL_NAME(Index, Name) names[Index] = #Name;
    ROZ_CONTROL_REGISTERS(ROZ_CONTROL_NAME)
#undef ROZ_CONTROL_NAME
    return names;
}();

// The name of the register with this index, or nullptr outside 0..ControlRegisterCount - 1.
constexpr const char* ControlRegisterName(int64_t index) {
    return index >= 0 && index < ControlRegisterCount ? ControlRegisterNames[static_cast<size_t>(index)]
                                                      : nullptr;
}

// The index of a control register name in any letter case, or -1.
constexpr int ControlRegisterIndex(std::string_view name) {
    auto upper = [](char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; };
    for (int i = 0; i < ControlRegisterCount; ++i) {
        const std::string_view candidate = ControlRegisterNames[static_cast<size_t>(i)];
        if (candidate.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < name.size() && same; ++k)
            same = upper(candidate[k]) == upper(name[k]);
        if (same) return i;
    }
    return -1;
}

static_assert([] {
    for (const char* name : ControlRegisterNames)
        if (!name) return false; // an index left out
    return true;
}());

} // namespace roz
