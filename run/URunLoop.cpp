#include "URunLoop.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "UDecodeCache.h"
#include "UInstructions.h"
#include "URunPolicies.h"

using namespace roz;

const char* RunEndName(TRunEnd end) {
    switch (end) {
    case TRunEnd::EndOfImage:
        return "end";
    case TRunEnd::LeftMemory:
        return "left-memory";
    case TRunEnd::Stopped:
        return "stopped";
    case TRunEnd::StepLimit:
        return "step-limit";
    case TRunEnd::DivisionByZero:
        return "division-by-zero";
    case TRunEnd::Breakpoint:
        return "breakpoint";
    case TRunEnd::Watchpoint:
        return "watchpoint";
    case TRunEnd::Returned:
        return "returned";
    case TRunEnd::DebugChanged:
        return "debug-changed";
    }
    return "?";
}

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

// Rows after which the next address may be other than the word's own address + its size
// (TFlow other than Next): only these test the control word and the decoded range afterwards.
constexpr bool MayTransfer(TFlow flow) {
    return flow != TFlow::Next;
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

// The clock: at every dispatch, 8 times the instructions executed since the last reset is
// clock8 + IPOffset (mod 2^64), so straight-line code of 8-byte instructions keeps it for
// nothing. An instruction of another size adds 8 - its size; one that may go elsewhere adds
// at + 8 - the new IPOffset (at: its own address), once per jump, call or return.
#define ROZ_CLOCK_AFTER(at) (clock8 += U(at) + 8 - U(s.Ip))
#define ROZ_CLOCK_NOW() ((clock8 + U(s.Ip)) >> 3)

// After an instruction of Size bytes that continues behind itself: the fetch's 4, the
// clock, the budget, the next entry (which L_Decode checks when it is not decoded). The
// control word waits for the next jump, call, return or undecoded word.
#define ROZ_NEXT_SEQUENTIAL(Size)                                                                            \
    do {                                                                                                     \
        s.Ip = S(U(s.Ip) + 4);                                                                               \
        if constexpr ((Size) != 8) clock8 += 8 - uint64_t{Size};                                             \
        if constexpr (TPolicy::Budgeted) {                                                                   \
            if (--left == 0) [[unlikely]]                                                                    \
                goto boundary;                                                                               \
        }                                                                                                    \
        ROZ_DISPATCH();                                                                                      \
    } while (0)

// After the instruction at `at` that may have gone elsewhere: the fetch's 4 and the clock,
// then the control word and the budget in one branch, then whether the target lies in the
// decoded range.
#define ROZ_NEXT_CHECKED()                                                                                   \
    do {                                                                                                     \
        s.Ip = S(U(s.Ip) + 4);                                                                               \
        ROZ_CLOCK_AFTER(at);                                                                                 \
        uint64_t leave = control.Word.load(std::memory_order_relaxed) ^ TRunControl::Running;                \
        if constexpr (TPolicy::Budgeted) leave |= --left == 0;                                               \
        if (leave) [[unlikely]]                                                                              \
            goto boundary;                                                                                   \
        if (U(s.Ip) >= decodedEnd) [[unlikely]]                                                              \
            goto boundary;                                                                                   \
        ROZ_DISPATCH();                                                                                      \
    } while (0)

#define ROZ_NEXT_FOR(Flow, Size)                                                                             \
    do {                                                                                                     \
        if constexpr (MayTransfer(TFlow::Flow))                                                              \
            ROZ_NEXT_CHECKED();                                                                              \
        else                                                                                                 \
            ROZ_NEXT_SEQUENTIAL(Size);                                                                       \
    } while (0)

// A row that the policy observes finds its effects before executing and hands them to the
// policy after; a stop it asks for ends the run at the next boundary (policyStop).
#define ROZ_HANDLER(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                                \
    L_##Mnemonic : {                                                                                         \
        at = s.Ip;                                                                                           \
        const auto o = OperandsOf<TOperandForm::Form, MayTransfer(TFlow::Flow)>(entry);                      \
        if constexpr (TPolicy::Observes(Op##Mnemonic)) {                                                     \
            const TEffects effects = EffectsOf<Op##Mnemonic>(s, o);                                          \
            Exec##Handler(s, o);                                                                             \
            if (policy.After(effects, s, at, (clock8 + U(at)) >> 3, result.Stop)) [[unlikely]]               \
                goto policy_stop;                                                                            \
        } else {                                                                                             \
            Exec##Handler(s, o);                                                                             \
        }                                                                                                    \
    }                                                                                                        \
    ROZ_NEXT_FOR(Flow, Size);
#define ROZ_HANDLER_UNASSIGNED(Group, Handler, Advance)                                                      \
    L_##Handler : Exec##Handler(s, TDecodedOperands<0>{entry->A, entry->B, entry->C});                       \
    ROZ_NEXT_SEQUENTIAL((Advance) + 4);

// CMP at IPOffset and the conditional jump right after it (8 bytes on) in one handler, so
// that the jump's test of PSW follows CMP's without a dispatch between them. The pair's
// entry depends on the jump's entry, which it reads each time: the pair runs only while
// that entry holds the jump's own handler (a store over the jump, a breakpoint or a
// checkpoint there, or a budget of one instruction make it run CMP alone), and the jump's
// register and predicted target come from that entry as they would.
#define ROZ_FUSED(Jcc, JumpExec)                                                                             \
    L_Cmp##Jcc : {                                                                                           \
        TDecodedWord* const jump = entry + 8;                                                                \
        if (jump->Handler != handlerOf[Op##Jcc] || (TPolicy::Budgeted && left < 2)) [[unlikely]]             \
            goto L_CMP;                                                                                      \
        ExecCmp(s, OperandsOf<TOperandForm::BC, false>(entry));                                              \
        s.Ip = S(U(s.Ip) + 4);                                                                               \
        if constexpr (TPolicy::Budgeted) --left;                                                             \
        entry = jump;                                                                                        \
        at = s.Ip;                                                                                           \
        Exec##JumpExec(s, OperandsOf<TOperandForm::C, true>(entry));                                         \
    }                                                                                                        \
    ROZ_NEXT_CHECKED();

#if defined(__clang__)
#pragma clang diagnostic ignored "-Wc99-designator" // the label table's [Op] = &&label
#endif

namespace {

// The one loop, over a policy (URunPolicies.h) that says what it checks or records.
//
// How it runs: each address of the loaded image (up to TDecodeCache::Capacity bytes) is
// decoded on its first execution into an entry holding its handler and operand bytes; a
// word whose register bytes fail its form, and every word beyond the decoded range, runs
// through L_Generic, which executes the word itself (ExecuteWord, as the single step does).
// Stores clear the entries they overlap (TCodeWatch in s), so a stored word is decoded again
// when it is fetched. The slow path (boundary) makes the run thread's end tests in their
// order, writes the clock back, parks for the control word, and decodes.
//
// What a policy changes, so that code without a breakpoint or an observed row runs as in
// the plain loop:
//  - StopsBefore: the decoder gives an address with a breakpoint the entry L_Break instead
//    of its word's handler (a store there clears the entry and the next decode sets it
//    again); addresses past the decoded range are looked up on the slow path;
//  - Observes: those rows find their effects before executing and hand them to After; a
//    stop goes to the boundary, which ends the run after its test of the memory size;
//    L_Generic does the same for the words it executes;
//  - Budgeted: one decrement and test per instruction.
template <class TPolicy> TRunResult RunLoopImpl(TCCPUBase& cpu, TRunControl& control, TPolicy& policy) {
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
    uint64_t left = policy.Left;
    // The clock (ROZ_CLOCK_AFTER), and the instructions of this call before the last park.
    uint64_t clock8 = 8 * cpu.Clock - U(s.Ip);
    uint64_t since = cpu.Clock, executed = 0;
    int64_t at = s.Ip; // the address of the instruction executing
    TDecodedWord* entry = nullptr;
    char* target = nullptr;
    TRunResult result{TRunEnd::Stopped, 0, 0};
    bool policyStop = false; // the policy asked to stop after the last instruction
    policy.Load(s);

    if (TPolicy::Budgeted && left == 0) {
        result.End = TRunEnd::StepLimit;
        goto done;
    }
    try {
        goto fetch;

    L_None:
        ROZ_NEXT_SEQUENTIAL(4);
        ROZ_INSTRUCTIONS(ROZ_HANDLER)
        ROZ_UNASSIGNED(ROZ_HANDLER_UNASSIGNED)
        ROZ_FUSED(JE, Je)
        ROZ_FUSED(JNE, Jne)
        ROZ_FUSED(JLE, Jle)
        ROZ_FUSED(JG, Jg)

    L_Generic : {
        uint32_t word;
        std::memcpy(&word, s.Mem + s.Ip, 4);
        at = s.Ip;
        // On a copy: the loop's own state must not escape to a call, or it would live in memory.
        TExecState generic = s;
        if (TPolicy::Observes(OpOfTopByte(word >> 24))) {
            const TEffects effects = EffectsOfWord(generic, word);
            ExecuteWord(generic, word);
            policyStop = policy.After(effects, generic, at, (clock8 + U(at)) >> 3, result.Stop);
        } else {
            ExecuteWord(generic, word);
        }
        s.Ip = S(U(generic.Ip) + 4);
    }
        ROZ_CLOCK_AFTER(at);
        if constexpr (TPolicy::Budgeted) --left;
        goto boundary;

    L_Decode:
        // Not decoded yet, or outside the decoded range: the slow path sorts it out.
        goto boundary;

    L_Break:
        // The entry of an address where the policy stops before the instruction.
        if (policy.Resumes(s.Ip)) goto L_Generic;
        cpu.IPOffset = s.Ip;
        result.End = TRunEnd::Breakpoint;
        result.Stop.Kind = TDebugStop::TKind::Breakpoint;
        result.Stop.Instruction = s.Ip;
        result.Stop.Clock = ROZ_CLOCK_NOW();
        goto done;

    policy_stop:
        __attribute__((unused));
        // An observed row asked to stop: the instruction is complete, the stop waits for the
        // boundary's test of the memory size.
        policyStop = true;
        s.Ip = S(U(s.Ip) + 4);
        ROZ_CLOCK_AFTER(at);
        if constexpr (TPolicy::Budgeted) --left;
        goto boundary;

    boundary:
        // The run thread body's end tests, in its order: memory size first, then Running.
        cpu.IPOffset = s.Ip;
        cpu.Clock = ROZ_CLOCK_NOW();
        if (s.Ip >= s.Size) {
            result.End = TRunEnd::LeftMemory;
            result.FetchStatus = FetchOutsideMemory; // what the next fetch would report
            goto done;
        }
        if (policyStop) {
            result.End =
                result.Stop.Kind == TDebugStop::TKind::Returned ? TRunEnd::Returned : TRunEnd::Watchpoint;
            goto done;
        }
        if (TPolicy::Budgeted && left == 0) {
            result.End = TRunEnd::StepLimit;
            goto done;
        }
        if (control.Word.load(std::memory_order_acquire) != TRunControl::Running) {
            executed += cpu.Clock - since;
            do {
                if (!control.AtBoundary()) {
                    // The body no longer holds the CPU: nothing more may touch it.
                    result.End = TRunEnd::Stopped;
                    result.Executed = executed;
                    result.Stop = {};
                    return result;
                }
            } while (control.Word.load(std::memory_order_acquire) != TRunControl::Running);
            // The window's thread may have stepped, reset, loaded, edited or re-sized meanwhile.
            s.Ip = cpu.IPOffset;
            since = cpu.Clock;
            clock8 = 8 * cpu.Clock - U(s.Ip);
            if (control.DebugGeneration.load(std::memory_order_acquire) != generation) {
                result.End = TRunEnd::DebugChanged;
                goto done;
            }
            s.Mem = cpu.Memory.Buffer();
            s.Size = cpu.Memory.Size();
            fetchLimit = FetchLimit(cpu.Memory);
            decodedEnd = code ? std::min<uint64_t>(fetchLimit, TDecodeCache::Capacity) : 0;
            cache.Drop();
            s.Watch = cache.Watch(decodedEnd);
            s.Watch.Limit = 0;
            policy.Load(s);
        }

    fetch:
        // The fetch's tests, then the entry, decoded now if it is not yet.
        if (U(s.Ip) >= fetchLimit) goto fetch_failed;
        if (U(s.Ip) >= decodedEnd) {
            if constexpr (TPolicy::StopsBefore) {
                if (policy.StopBefore(U(s.Ip))) goto L_Break;
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
            if constexpr (TPolicy::StopsBefore) {
                if (policy.StopBefore(U(s.Ip))) entry->Handler = breakHandler;
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
    } catch (...) {
        // Any other failure goes to the caller as it is, with the CPU at the failing word.
        cpu.IPOffset = s.Ip;
        cpu.Clock = ROZ_CLOCK_NOW();
        throw;
    }
done:
    cpu.Clock = ROZ_CLOCK_NOW();
    result.Executed = executed + (cpu.Clock - since);
    if (result.End != TRunEnd::Breakpoint && result.End != TRunEnd::Watchpoint &&
        result.End != TRunEnd::Returned)
        result.Stop = {};
    return result;
}

template <class TBase>
TRunResult RunChecksWith(TCCPUBase& cpu, TRunControl& control, const TDebugChecks& checks, TBase base,
                         bool skipBreakpoint) {
    const bool onlyBreakpoints =
        checks.Watches.empty() && !checks.WatchPortIn && !checks.WatchPortOut && !checks.ReturnBelow;
    if (onlyBreakpoints) {
        TBreakpointRun<TBase> policy(base, checks, skipBreakpoint, cpu.IPOffset);
        return RunLoopImpl(cpu, control, policy);
    }
    TCheckedRun<TBase> policy(base, checks, skipBreakpoint, cpu.IPOffset);
    return RunLoopImpl(cpu, control, policy);
}

} // namespace

// The policies' instantiations: a new policy is added here and in URunPolicies.h.
TRunResult RunLoop(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps) {
    if (maxSteps == UINT64_MAX) {
        TPlainRun policy;
        return RunLoopImpl(cpu, control, policy);
    }
    TBudgetRun policy(maxSteps);
    return RunLoopImpl(cpu, control, policy);
}

TRunResult RunLoopChecked(TCCPUBase& cpu, TRunControl& control, const TDebugChecks& checks, uint64_t maxSteps,
                          bool skipBreakpoint) {
    if (maxSteps == UINT64_MAX) return RunChecksWith(cpu, control, checks, TPlainRun{}, skipBreakpoint);
    return RunChecksWith(cpu, control, checks, TBudgetRun(maxSteps), skipBreakpoint);
}
