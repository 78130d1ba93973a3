// The run loop as it was before the run clock: the decoding loop without a step budget and
// without any count, as the window's run thread ran it. Kept as the benchmarks' "before"
// figure beside today's counted loop (bench_run_loop prints both side by side); frozen.
#include "URunLoopUncounted.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "UDecodeCache.h"
#include "UInstructions.h"

using namespace roz;

namespace {

// The last address (exclusive) from which the loop may fetch without the fetch's tests:
// below both size - 3 and used length - 3. Unsigned compare also rejects negative addresses.
uint64_t FetchLimit(const TCCPUMemory& memory) {
    const int64_t limit = (memory.Size() < memory.UsedLength() ? memory.Size() : memory.UsedLength()) - 3;
    return limit > 0 ? static_cast<uint64_t>(limit) : 0;
}

// The operand bytes that a form's Exec function tests with Regs: the decoder checks exactly
// these, so that TDecodedOperands may take them as registers.
constexpr uint32_t FormRegisters(TOperandForm form) {
    switch (form) {
    case TOperandForm::None:
    case TOperandForm::TargetCell:
        return 0;
    case TOperandForm::C:
    case TOperandForm::CtlC:
        return ByteC;
    case TOperandForm::BC:
    case TOperandForm::CB:
    case TOperandForm::MemBC:
        return ByteB | ByteC;
    case TOperandForm::ABC:
        return ByteA | ByteB | ByteC;
    case TOperandForm::MemAMemC:
    case TOperandForm::AMemC:
        return ByteA | ByteC;
    case TOperandForm::BCtl:
        return ByteB;
    case TOperandForm::RegCell:
    case TOperandForm::RegTarget:
        return ByteA;
    }
    return ByteA | ByteB | ByteC;
}

// Rows after which the next address may be other than the word's own address + its size:
// the jumps, the calls and returns (group 3) and WRCTL (which may write IPOffset). Only
// these test the control word and the decoded range afterwards.
constexpr bool MayTransfer(int group, int sub) {
    return (group == 1 && sub != 0) || group == 3 || (group == 0 && sub == 6);
}

// The registers the decoder checks, by operation.
constexpr std::array<uint32_t, OpCount> RegistersOfOp = [] {
    std::array<uint32_t, OpCount> masks{};
#define ROZ_MASK_ROW(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                               \
    masks[Op##Mnemonic] = FormRegisters(TOperandForm::Form);
    ROZ_INSTRUCTIONS(ROZ_MASK_ROW)
#undef ROZ_MASK_ROW
    return masks;
}();

// The operands of the rows whose next address comes from a register or memory and that
// read neither A nor B (jumps, calls, returns): bytes 5..7 of their entry hold the last
// address that the entry went to, and Target hands back that copy when the new address is
// the same number. The compare is a branch the host predicts, so the next entry's address
// no longer waits for the two loads (operand byte, then register) that computed the target:
// a loop's back jump becomes as cheap as a fall-through.
template <uint32_t Valid> struct TPredictingOperands : TDecodedOperands<Valid> {
    TDecodedWord* Entry;
    ROZ_INLINE int64_t Target(int64_t address) const {
        uint64_t raw;
        std::memcpy(&raw, Entry, sizeof raw);
        const uint64_t last = raw >> 40;
        // The same number as last, but not known to the compiler to equal address below, so
        // that it cannot hand on address (and its loads) instead.
        uint64_t copy = last;
        asm volatile("" : "+r"(copy));
        if (U(address) == last) [[likely]]
            return S(copy);
        if (U(address) < (uint64_t{1} << 24)) {
            Entry->A = static_cast<uint8_t>(address);
            Entry->B = static_cast<uint8_t>(address >> 8);
            Entry->Extra = static_cast<uint8_t>(address >> 16);
        }
        return address;
    }
};

// The operand source of a row's handler.
template <TOperandForm Form, bool Transfers> ROZ_INLINE auto OperandsOf(TDecodedWord* entry) {
    constexpr uint32_t valid = FormRegisters(Form);
    if constexpr (Transfers && (Form == TOperandForm::None || Form == TOperandForm::C ||
                                Form == TOperandForm::TargetCell)) {
        static_assert((valid & (ByteA | ByteB)) == 0, "A and B hold the last target");
        return TPredictingOperands<valid>{{0, 0, entry->C}, entry};
    } else {
        return TDecodedOperands<valid>{entry->A, entry->B, entry->C};
    }
}

thread_local TDecodeCache Cache;

} // namespace

// Dispatch through the decoded entry at IPOffset: every handler ends with its own copy of
// it, so the branch predictor sees one indirect jump per handler. The asm barrier and this
// file's -fno-gcse -fno-crossjumping (run/CMakeLists.txt) keep GCC from merging the copies.
// The entry exists for every address below the decoded range's end + Slack; one that is
// not decoded (zero) leads to L_Decode.
#define ROZ_DISPATCH()                                                                                       \
    do {                                                                                                     \
        entry = code + s.Ip;                                                                                 \
        target = decodeLabel + entry->Handler;                                                               \
        asm volatile("" : "+r"(target));                                                                     \
        goto* target;                                                                                        \
    } while (0)

// After an instruction that continues behind itself: the fetch's 4, the budget, the next
// entry (which L_Decode checks when it is not decoded). The control word waits for the next
// jump, call, return or undecoded word.
#define ROZ_NEXT_SEQUENTIAL()                                                                                \
    do {                                                                                                     \
        s.Ip = S(U(s.Ip) + 4);                                                                               \
        if constexpr (Counted) {                                                                             \
            if (--left == 0) [[unlikely]]                                                                    \
                goto boundary;                                                                               \
        }                                                                                                    \
        ROZ_DISPATCH();                                                                                      \
    } while (0)

// After an instruction that may have gone elsewhere: the fetch's 4, then the control word
// and the budget in one branch, then whether the target lies in the decoded range.
#define ROZ_NEXT_CHECKED()                                                                                   \
    do {                                                                                                     \
        s.Ip = S(U(s.Ip) + 4);                                                                               \
        uint64_t leave = control.Word.load(std::memory_order_relaxed) ^ TRunControl::Running;                \
        if constexpr (Counted) leave |= --left == 0;                                                         \
        if (leave) [[unlikely]]                                                                              \
            goto boundary;                                                                                   \
        if (U(s.Ip) >= decodedEnd) [[unlikely]]                                                              \
            goto boundary;                                                                                   \
        ROZ_DISPATCH();                                                                                      \
    } while (0)

#define ROZ_NEXT_FOR(Group, Sub)                                                                             \
    do {                                                                                                     \
        if constexpr (MayTransfer(Group, Sub))                                                               \
            ROZ_NEXT_CHECKED();                                                                              \
        else                                                                                                 \
            ROZ_NEXT_SEQUENTIAL();                                                                           \
    } while (0)

#define ROZ_HANDLER(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                                \
    L_##Mnemonic : Exec##Handler(s, OperandsOf<TOperandForm::Form, MayTransfer(Group, Sub)>(entry));         \
    ROZ_NEXT_FOR(Group, Sub);
#define ROZ_HANDLER_UNASSIGNED(Group, Handler, Advance)                                                      \
    L_##Handler : Exec##Handler(s, TDecodedOperands<0>{entry->A, entry->B, entry->C});                       \
    ROZ_NEXT_SEQUENTIAL();

// CMP at IPOffset and the conditional jump right after it (8 bytes on) in one handler, so
// that the jump's test of PSW follows CMP's without a dispatch between them. The pair's
// entry depends on the jump's entry, which it reads each time: the pair runs only while
// that entry holds the jump's own handler (a store over the jump, a breakpoint or a
// checkpoint there, or a budget of one instruction make it run CMP alone), and the jump's
// register and predicted target come from that entry as they would.
#define ROZ_FUSED(Jcc, JumpExec)                                                                             \
    L_Cmp##Jcc : {                                                                                           \
        TDecodedWord* const jump = entry + 8;                                                                \
        if (jump->Handler != handlerOf[Op##Jcc] || (Counted && left < 2)) [[unlikely]]                       \
            goto L_CMP;                                                                                      \
        ExecCmp(s, OperandsOf<TOperandForm::BC, false>(entry));                                              \
        s.Ip = S(U(s.Ip) + 4);                                                                               \
        if constexpr (Counted) --left;                                                                       \
        entry = jump;                                                                                        \
        Exec##JumpExec(s, OperandsOf<TOperandForm::C, true>(entry));                                         \
    }                                                                                                        \
    ROZ_NEXT_CHECKED();

#if defined(__clang__)
#pragma clang diagnostic ignored "-Wc99-designator" // the label table's [Op] = &&label
#endif

namespace {

// The one loop; Counted keeps the step budget and the instruction count (one decrement and
// test per instruction), the uncounted loop skips both.
//
// How it runs: each address of the loaded image (up to TDecodeCache::Capacity bytes) is
// decoded on its first execution into an entry holding its handler and operand bytes; a
// word whose register bytes fail its form, and every word beyond the decoded range, runs
// through L_Generic, which executes the word itself (ExecuteWord, as the single step does).
// Stores clear the entries they overlap (TCodeWatch in s), so a stored word is decoded again
// when it is fetched. The slow path (boundary) makes the run thread's end tests in their
// order, parks for the control word, and decodes.
//
// Checked (the debugger's variants: breakpoints only, or also Watched) changes only these
// places, so that code without a breakpoint or a watched access runs as in the plain loop:
//  - breakpoints: the decoder gives an address with a breakpoint the entry L_Break instead
//    of its word's handler (a store there clears the entry and the next decode sets it
//    again); addresses past the decoded range are looked up on the slow path;
//  - watches: the rows that access memory or ports, and RET, find their accesses before
//    executing and test them against the watches' hulls after (TWatchState); a hit goes to
//    the boundary, which ends the run after its test of the memory size; L_Generic
//    executes through ExecuteWordChecked. Only Watched pays for these.
// An input log on port reads or a counter for reverse execution would be further template
// parameters of the same kind.
// Checks: 0 the plain loop, 1 breakpoints only, 2 every check.
template <bool Counted, int Checks>
TRunResult RunLoopImpl(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps, const TDebugChecks* checks,
                       bool skipBreakpoint) {
    constexpr bool Checked = Checks > 0, Watched = Checks > 1;
    // One label per operation, then the entry offset of each; the labels are the function's own.
    static void* const opLabels[OpCount] = {[OpNone] = &&L_None,
#define ROZ_LABEL(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow) [Op##Mnemonic] = &&L_##Mnemonic,
#define ROZ_LABEL_UNASSIGNED(Group, Handler, Advance) [Op##Handler] = &&L_##Handler,
                                            ROZ_INSTRUCTIONS(ROZ_LABEL) ROZ_UNASSIGNED(ROZ_LABEL_UNASSIGNED)
#undef ROZ_LABEL
#undef ROZ_LABEL_UNASSIGNED
    };
    char* const decodeLabel = static_cast<char*>(&&L_Decode);
    int32_t handlerOf[OpCount];
    for (int op = 0; op < OpCount; ++op)
        handlerOf[op] = static_cast<int32_t>(static_cast<char*>(opLabels[op]) - decodeLabel);
    const int32_t genericHandler = static_cast<int32_t>(static_cast<char*>(&&L_Generic) - decodeLabel);
    const int32_t breakHandler = static_cast<int32_t>(static_cast<char*>(&&L_Break) - decodeLabel);
    // CMP followed by a conditional jump: the pair's handler, by the jump's operation.
    int32_t fusedOf[OpCount] = {};
    fusedOf[OpJE] = static_cast<int32_t>(static_cast<char*>(&&L_CmpJE) - decodeLabel);
    fusedOf[OpJNE] = static_cast<int32_t>(static_cast<char*>(&&L_CmpJNE) - decodeLabel);
    fusedOf[OpJLE] = static_cast<int32_t>(static_cast<char*>(&&L_CmpJLE) - decodeLabel);
    fusedOf[OpJG] = static_cast<int32_t>(static_cast<char*>(&&L_CmpJG) - decodeLabel);
    const uint64_t generation = control.DebugGeneration.load(std::memory_order_acquire);

    TDecodeCache& cache = Cache;
    cache.Drop(); // memory may have changed since the last run on this thread
    TDecodedWord* const code = cache.Words();
    TExecState s{cpu, cpu.IPOffset, cpu.Memory.Buffer(), cpu.Memory.Size()};
    uint64_t fetchLimit = FetchLimit(cpu.Memory);
    uint64_t decodedEnd = code ? std::min<uint64_t>(fetchLimit, TDecodeCache::Capacity) : 0;
    s.Watch = cache.Watch(decodedEnd);
    s.Watch.Limit = 0; // raised by the decoder: only stores near decoded code clear entries
    uint64_t left = maxSteps;
    TDecodedWord* entry = nullptr;
    char* target = nullptr;
    TRunResult result{TRunEnd::Stopped, 0, 0};
    // The checked loop's state: the watches, a hit found after an instruction, and the
    // breakpoint at the start that is not to stop (resuming from it).
    bool debugStop = false;
    bool skipFirst = skipBreakpoint;
    const int64_t skipAt = cpu.IPOffset;

    if (left == 0) {
        result.End = TRunEnd::StepLimit;
        goto done;
    }
    try {
        goto fetch;

    L_None:
        ROZ_NEXT_SEQUENTIAL();
        ROZ_INSTRUCTIONS(ROZ_HANDLER)
        ROZ_UNASSIGNED(ROZ_HANDLER_UNASSIGNED)
        ROZ_FUSED(JE, Je)
        ROZ_FUSED(JNE, Jne)
        ROZ_FUSED(JLE, Jle)
        ROZ_FUSED(JG, Jg)

    L_Generic : {
        uint32_t word;
        std::memcpy(&word, s.Mem + s.Ip, 4);
        // On a copy: the loop's own state must not escape to a call, or it would live in memory.
        TExecState generic = s;
        ExecuteWord(generic, word);
        s.Ip = generic.Ip;
    }
        s.Ip = S(U(s.Ip) + 4);
        if constexpr (Counted) --left;
        goto boundary;

    L_Decode:
        // Not decoded yet, or outside the decoded range: the slow path sorts it out.
        goto boundary;

    L_Break:
        // The checked loop's entry for an address with a breakpoint.
        if (skipFirst && s.Ip == skipAt) {
            skipFirst = false;
            goto L_Generic;
        }
        cpu.IPOffset = s.Ip;
        result.End = TRunEnd::Breakpoint;
        result.Stop.Kind = TDebugStop::TKind::Breakpoint;
        result.Stop.Instruction = s.Ip;
        goto done;

    watch_hit:
        __attribute__((unused));
        // A checked row hit a watch: the instruction is complete, the stop waits for the
        // boundary's test of the memory size.
        debugStop = true;
        s.Ip = S(U(s.Ip) + 4);
        if constexpr (Counted) --left;
        goto boundary;

    boundary:
        // The run thread body's end tests, in its order: memory size first, then Running.
        cpu.IPOffset = s.Ip;
        if (s.Ip >= s.Size) {
            result.End = TRunEnd::LeftMemory;
            result.FetchStatus = FetchOutsideMemory; // what the next fetch would report
            goto done;
        }
        if (Watched && debugStop) {
            result.End =
                result.Stop.Kind == TDebugStop::TKind::Returned ? TRunEnd::Returned : TRunEnd::Watchpoint;
            goto done;
        }
        if (Counted && left == 0) {
            result.End = TRunEnd::StepLimit;
            goto done;
        }
        if (control.Word.load(std::memory_order_acquire) != TRunControl::Running) {
            do {
                if (!control.AtBoundary()) {
                    result.End = TRunEnd::Stopped;
                    goto done;
                }
            } while (control.Word.load(std::memory_order_acquire) != TRunControl::Running);
            if (control.DebugGeneration.load(std::memory_order_acquire) != generation) {
                result.End = TRunEnd::DebugChanged;
                goto done;
            }
            // The window's thread may have stepped, reset, loaded, edited or re-sized meanwhile.
            s.Ip = cpu.IPOffset;
            s.Mem = cpu.Memory.Buffer();
            s.Size = cpu.Memory.Size();
            fetchLimit = FetchLimit(cpu.Memory);
            decodedEnd = code ? std::min<uint64_t>(fetchLimit, TDecodeCache::Capacity) : 0;
            cache.Drop();
            s.Watch = cache.Watch(decodedEnd);
            s.Watch.Limit = 0;
        }

    fetch:
        // The fetch's tests, then the entry, decoded now if it is not yet.
        if (U(s.Ip) >= fetchLimit) goto fetch_failed;
        if (U(s.Ip) >= decodedEnd) {
            if constexpr (Checked) {
                if (checks->HasBreakpoint(U(s.Ip))) goto L_Break;
            }
            goto L_Generic;
        }
        entry = code + s.Ip;
        if (entry->Handler == 0) {
            uint32_t word;
            std::memcpy(&word, s.Mem + s.Ip, 4);
            const TOp op = OpOfTopByte(word >> 24);
            const bool registers = Regs(word, RegistersOfOp[op]);
            entry->Handler = registers && !TDecodeCache::Checkpoint(U(s.Ip)) ? handlerOf[op] : genericHandler;
            if (op == OpCMP && entry->Handler == handlerOf[op] && U(s.Ip) + 8 < decodedEnd) {
                uint32_t next;
                std::memcpy(&next, s.Mem + s.Ip + 8, 4);
                if (const int32_t fused = fusedOf[OpOfTopByte(next >> 24)]) entry->Handler = fused;
            }
            if constexpr (Checked) {
                if (checks->HasBreakpoint(U(s.Ip))) entry->Handler = breakHandler;
            }
            entry->C = static_cast<uint8_t>(FieldC(word));
            entry->A = static_cast<uint8_t>(FieldA(word));
            entry->B = static_cast<uint8_t>(FieldB(word));
            entry->Extra = 0;
            cache.Touched(U(s.Ip));
            // A store at index may change the entries from index - (Reach - 1) on, so only
            // stores below the highest decoded address + Reach need to clear any.
            if (U(s.Ip) + TCodeWatch::Reach > s.Watch.Limit) s.Watch.Limit = U(s.Ip) + TCodeWatch::Reach;
        }
        target = decodeLabel + entry->Handler;
        goto* target;

    fetch_failed:
        cpu.IPOffset = s.Ip;
        SetFetchFailure(result, s.Ip, s.Size);
        goto done;
    } catch (const TDivisionByZero&) {
        // The DIV word did not complete: IPOffset stays at it and it is not counted.
        cpu.IPOffset = s.Ip;
        result.End = TRunEnd::DivisionByZero;
        result.Executed = maxSteps - left;
        return result;
    } catch (...) {
        // Any other failure goes to the caller as it is, with the CPU at the failing word.
        cpu.IPOffset = s.Ip;
        throw;
    }
done:
    result.Executed = maxSteps - left;
    if (result.End != TRunEnd::Breakpoint && result.End != TRunEnd::Watchpoint &&
        result.End != TRunEnd::Returned)
        result.Stop = {};
    return result;
}

} // namespace

TRunResult RunLoopUncountedBaseline(TCCPUBase& cpu, TRunControl& control) {
    TRunResult result = RunLoopImpl<false, 0>(cpu, control, UINT64_MAX, nullptr, false);
    result.Executed = 0;
    return result;
}
