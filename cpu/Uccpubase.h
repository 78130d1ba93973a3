#pragma once
#include <array>
#include <cstdint>
#include <stdexcept>

#include "UControlRegisters.h"
#include "Uccpumemory.h"
#include "Uports.h"

// The one error an instruction raises: DIV with a divisor of 0. It leaves IPOffset at the
// DIV word, and the instruction does not count as executed.
class TDivisionByZero : public std::runtime_error {
  public:
    TDivisionByZero() : std::runtime_error("Division by zero") {}
};

// Fetch statuses.
enum : int64_t {
    FetchExecuted = 0,      // one word executed (or it selected nothing); IPOffset moved on
    FetchEndOfImage = 1,    // no whole instruction word left before the used length
    FetchNegative = -1,     // IPOffset < 0
    FetchOutsideMemory = -2 // no whole instruction word left before the memory size
};

// The simulated CPU: 16 general and 11 control registers, the memory store and the port
// block. Every register is a 64-bit two's-complement value; arithmetic wraps.
//
// Not thread-safe: only the thread that holds the CPU (the run thread during a run, the
// window's thread through the run layer's hand-over otherwise) may touch it.
class TCCPUBase {
  public:
    // Control register indexes as RDCTL and WRCTL select them (UControlRegisters.h).
    enum TControlIndex : int {
#define ROZ_CONTROL_INDEX(Index, Name) Ctl##Name = Index,
        ROZ_CONTROL_REGISTERS(ROZ_CONTROL_INDEX)
#undef ROZ_CONTROL_INDEX
            ControlRegisterCount = roz::ControlRegisterCount
    };
    // PSW flag bits set by CMP.
    enum : int64_t { FlagLE = 1, FlagEQ = 2, FlagGT = 4 };

    // Registers in declaration order.
    int64_t Version = 1;
    int64_t IPSegmentBegin = 0;
    int64_t IPOffsetBegin = 0;
    int64_t IPSegment = 0;
    int64_t IPOffset = 0;
    int64_t PSW = 0;
    int64_t R[16] = {};
    int64_t DataOffset = 0;
    int64_t DataSegment = 0;
    int64_t StackSegment = 0;
    int64_t StackOffsetBegin = 0;
    int64_t SP = 0;

    TCCPUMemory Memory;
    TPorts Ports;

    // The run clock: instructions executed since the last Reset (the window's Open also sets
    // it to 0 after a load). Not a register of the machine: no instruction reads it. Every
    // single step and run loop adds the instructions it executes (a DIV by zero does not
    // count); it has the CPU's thread rules, so the window reads it inside a hand-over.
    uint64_t Clock = 0;

    static constexpr int64_t DefaultMemorySize = 10000;

    // Constructs the memory store empty, sets the keyboard word to 0, resets the registers,
    // then sizes memory to 10000 zero bytes.
    TCCPUBase();
    TCCPUBase(const TCCPUBase&) = delete;
    TCCPUBase& operator=(const TCCPUBase&) = delete;

    // Version := 1, every other register := 0, Clock := 0; memory and ports stay. Always 0.
    int64_t Reset();

    // The control register with this index, or nullptr for an index outside 0..10.
    int64_t* ControlRegister(int64_t index);

    // The 27 registers in the register panel's order: IPOffset, IPOffsetBegin, IPSegment,
    // IPSegmentBegin, DataOffset, DataSegment, PSW, SP, StackOffsetBegin, StackSegment,
    // Version, R0..R15.
    static constexpr int PanelRegisterCount = 27;
    static constexpr TControlIndex PanelControlOrder[ControlRegisterCount] = {
        CtlIPOffset,         CtlIPOffsetBegin, CtlIPSegment, CtlIPSegmentBegin,
        CtlDataOffset,       CtlDataSegment,   CtlPSW,       CtlSP,
        CtlStackOffsetBegin, CtlStackSegment,  CtlVersion};
    static const std::array<const char*, PanelRegisterCount> PanelRegisterNames;
    int64_t& PanelRegister(int order);

    // Stack records: a 16-byte cell {value, 0} at StackOffsetBegin + SP; the stack grows up.
    int64_t Push(int64_t value);
    // Yields the record below SP and moves SP down by 16; -1 (nothing changed) without a buffer.
    int64_t Pop(TCell& record);

    // The fetch status that fetching at address would give, without executing anything:
    // FetchExecuted when a whole instruction word lies there in the loaded image.
    int64_t FetchStatus(int64_t address) const {
        if (address < 0) return FetchNegative;
        if (address >= Memory.Size() - 3) return FetchOutsideMemory;
        if (address >= Memory.UsedLength() - 3) return FetchEndOfImage;
        return FetchExecuted;
    }

    // Executes the one instruction at address (callers pass IPOffset) and returns a fetch
    // status. Throws TDivisionByZero with IPOffset unchanged.
    int64_t FetchAndExecute(int64_t address);

    // Executes one instruction word as if fetched at IPOffset, without the fetch's tests and
    // advance. Returns 0, or the stack status for PUSH and POP. Throws TDivisionByZero.
    int64_t Dispatch(uint32_t word);
};
