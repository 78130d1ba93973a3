#include "UCallStack.h"

#include <cstdio>

#include "UInstructionSet.h"
#include "UPlace.h"
#include "UStepPlan.h"
#include "Uccpubase.h"

namespace {

// Where a C function's frame pointer is its own and where its prologue saves registers.
// From the frame facts of the debug information; for files written before them, read from
// the compiler's prologue code.
struct TFrameFacts {
    std::vector<std::pair<uint64_t, uint64_t>> PointerValid; // FP is this frame's there
    bool CallerAtReturn = false; // read from the code: FP is the caller's at each RET too
    uint64_t SavedFrom = 0;      // from here on the saved registers are in the frame
    std::vector<TDebugInfo::TSavedRegister> Saved;

    bool FrameSet(const TCCPUBase& cpu, uint64_t address) const {
        if (CallerAtReturn && TStepPlan::IsReturn(cpu, address)) return false;
        for (const auto& [from, to] : PointerValid)
            if (address >= from && address < to) return true;
        return false;
    }
};

// base + offset as the machine adds addresses (wrapping): a frame pointer may hold anything.
int64_t At(int64_t base, int64_t offset) {
    return static_cast<int64_t>(static_cast<uint64_t>(base) + static_cast<uint64_t>(offset));
}

constexpr int PrologueScan = 24; // instructions: the prologue is a handful plus one PUSH per home

// Files without frame facts: FP is set after the prologue's MOV into the frame register, and
// the PUSHes after it save registers at the end of the frame, in order.
TFrameFacts ReadPrologue(const TCCPUBase& cpu, const TDebugInfo::TFunction& function) {
    uint64_t frameSet = 0, pushesEnd = 0;
    std::vector<int> pushed;
    uint64_t at = function.Address;
    const uint64_t end = function.Address + function.Size;
    for (int i = 0; i < PrologueScan && at < end; ++i) {
        const uint32_t word = static_cast<uint32_t>(cpu.Memory.PeekWord(static_cast<int64_t>(at)));
        const roz::TInstruction* row = roz::InstructionOfWord(word);
        if (!row) break;
        const uint64_t next = at + row->Size;
        const uint32_t b = (word >> 8) & 0xFF, c = word & 0xFF;
        if (frameSet == 0) {
            if (row->TopByte == roz::TopByteOf(roz::TInstr::MOV) &&
                b == static_cast<uint32_t>(function.Frame.FramePointer))
                frameSet = pushesEnd = next;
        } else if (row->TopByte == roz::TopByteOf(roz::TInstr::PUSH) && c < 16) {
            pushed.push_back(static_cast<int>(c));
            pushesEnd = next;
        } else if (!pushed.empty()) {
            break;
        }
        at = next;
    }
    TFrameFacts facts;
    facts.PointerValid = {{frameSet ? frameSet : function.Address, end}};
    facts.CallerAtReturn = true;
    facts.SavedFrom = pushesEnd;
    const int64_t count = static_cast<int64_t>(pushed.size());
    for (int64_t i = 0; i < count; ++i)
        facts.Saved.push_back({pushed[static_cast<size_t>(i)], function.Frame.Size - 16 * (count - i)});
    return facts;
}

TFrameFacts FactsOf(const TCCPUBase& cpu, const TDebugInfo::TFunction& function) {
    const TDebugInfo::TFrame& frame = function.Frame;
    if (!frame.Facts) return ReadPrologue(cpu, function);
    return {frame.PointerValid, false, frame.SavedFrom, frame.Saved};
}

std::string FrameText(const TSourceMap& map, const TStackFrame& frame) {
    const TPlace place{frame.Where, frame.Function ? frame.Function->Name : map.NameAt(frame.Where),
                       map.PlaceText(frame.Line)};
    return FormatPlace(place, TPlaceFormat::FunctionAddress);
}

// Code without frame information (assembly): the CALL records on the stack, found below SP
// as three cells {PSW, return address, IPSegment} whose return address follows a call
// instruction of the image and whose IPSegment is the current one; a cell that does not
// start such records (a PUSHed value) is passed over. Appends the callers of frame 0.
void ScanRecords(const TCCPUBase& cpu, const TSourceMap& map, std::vector<TStackFrame>& frames,
                 size_t maxFrames) {
    constexpr int ScanCells = 4096;
    const uint64_t bottom = static_cast<uint64_t>(cpu.StackOffsetBegin);
    uint64_t top = bottom + static_cast<uint64_t>(cpu.SP);
    const uint64_t imageEnd = static_cast<uint64_t>(cpu.Memory.UsedLength());
    const auto cell = [&](uint64_t at, int word) {
        return cpu.Memory.ReadWord(static_cast<int64_t>(at + 8 * static_cast<uint64_t>(word)));
    };
    for (int scanned = 0; scanned < ScanCells && top >= bottom + 48 && frames.size() < maxFrames; ++scanned) {
        const uint64_t records = top - 48;
        const uint64_t saved = cell(records + 16, 0);
        // The saved address is where the call's handler left IPOffset: the return goes on 4
        // bytes further, behind the call.
        const std::optional<uint64_t> call = TStepPlan::CallReturningTo(cpu, saved + 4);
        const uint64_t where = call.value_or(0);
        const bool isRecords = cell(records, 1) == 0 && cell(records + 16, 1) == 0 &&
                               cell(records + 32, 1) == 0 &&
                               static_cast<int64_t>(cell(records + 32, 0)) == cpu.IPSegment && call &&
                               where < imageEnd && (!map.HasLines() || map.LineAt(where).Valid());
        if (!isRecords) {
            top -= 16;
            continue;
        }
        TStackFrame caller;
        caller.Address = saved + 4;
        caller.Where = where;
        caller.Line = map.LineAt(where);
        caller.Text = FrameText(map, caller);
        frames.push_back(caller);
        top = records;
    }
}

constexpr uint32_t CallerKnown = 0x1FE0u | 1u << 14; // R5..R12 and R14 survive a call

} // namespace

std::vector<TStackFrame> CallStack(const TCCPUBase& cpu, const TSourceMap& map, size_t maxFrames) {
    std::vector<TStackFrame> frames;
    TStackFrame frame;
    frame.Address = frame.Where = static_cast<uint64_t>(cpu.IPOffset);
    frame.Function = map.FunctionAt(frame.Address);
    frame.Line = map.LineAt(frame.Where);
    for (int r = 0; r < 16; ++r)
        frame.R[r] = cpu.R[r];
    frame.Known = 0xFFFF;
    bool innermost = true;
    while (frames.size() < maxFrames) {
        const TDebugInfo::TFunction* function = frame.Function;
        TFrameFacts facts;
        // At the entry (until the prologue has set FP) and at the RET (after the epilogue) the
        // frame register still or again holds the caller's FP, and the frame starts at SP.
        bool fromSp = false;
        if (function) {
            facts = FactsOf(cpu, *function);
            fromSp = innermost && !facts.FrameSet(cpu, frame.Address);
            frame.Base = fromSp ? cpu.SP : frame.R[function->Frame.FramePointer];
        }
        frame.Text = FrameText(map, frame);
        frames.push_back(frame);
        if (!function) {
            if (innermost) ScanRecords(cpu, map, frames, maxFrames);
            break;
        }

        const TDebugInfo::TFrame& layout = function->Frame;
        TStackFrame caller;
        // The callee-saved registers this frame's prologue pushed hold the caller's values.
        for (int r = 0; r < 16; ++r)
            caller.R[r] = frame.R[r];
        caller.Known = frame.Known & CallerKnown;
        if (!fromSp && (!innermost || frame.Address >= facts.SavedFrom))
            for (const TDebugInfo::TSavedRegister& save : facts.Saved) {
                caller.R[save.Register] =
                    static_cast<int64_t>(cpu.Memory.ReadWord(At(frame.Base, save.Offset)));
                caller.Known |= 1u << save.Register;
            }
        const int64_t callerBase =
            fromSp ? cpu.R[layout.FramePointer]
                   : static_cast<int64_t>(cpu.Memory.ReadWord(At(frame.Base, layout.CallerFrame)));
        const uint64_t returnAddress = cpu.Memory.ReadWord(At(frame.Base, layout.Records + 16)) + 4;
        caller.R[layout.FramePointer] = callerBase;
        caller.Known |= 1u << layout.FramePointer;
        caller.Address = returnAddress;
        caller.Where = TStepPlan::CallReturningTo(cpu, returnAddress).value_or(returnAddress - 8);
        caller.Function = map.FunctionAt(returnAddress);
        caller.Line = map.LineAt(caller.Where);
        // Code outside C functions (the start-up) called this one, or the chain is broken.
        if (!caller.Function || callerBase >= frame.Base || callerBase < 0) break;
        frame = caller;
        innermost = false;
    }
    return frames;
}
