// The run loop as it was before decoding ahead: every instruction fetches its word, looks
// its handler up by the top byte and tests the control word. Kept as the benchmarks'
// baseline (bench_run_loop prints both loops side by side).
#include "URunLoopBaseline.h"

#include <array>
#include <cstring>

#include "UInstructions.h"

using namespace roz;

namespace {

// The last address (exclusive) from which the fast path may fetch without the fetch's tests:
// below both size - 3 and used length - 3. Unsigned compare also rejects negative addresses.
uint64_t FetchLimit(const TCCPUMemory& memory) {
    const int64_t limit = (memory.Size() < memory.UsedLength() ? memory.Size() : memory.UsedLength()) - 3;
    return limit > 0 ? static_cast<uint64_t>(limit) : 0;
}

} // namespace

// Threaded dispatch: every handler ends with its own copy of the fetch and indirect jump, so
// the branch predictor sees one jump per handler. The asm barrier and this file's
// -fno-gcse -fno-crossjumping (run/CMakeLists.txt) keep GCC from merging those copies back
// into one shared jump.
#define ROZ_DISPATCH()                                                                                       \
    do {                                                                                                     \
        if (static_cast<uint64_t>(s.Ip) >= fetchLimit) [[unlikely]]                                          \
            goto fetch_failed;                                                                               \
        std::memcpy(&word, s.Mem + s.Ip, 4);                                                                 \
        target = labels[word >> 24];                                                                         \
        asm volatile("" : "+r"(target));                                                                     \
        goto* target;                                                                                        \
    } while (0)

// After an instruction: the fetch's advance of 4, then the boundary tests.
#define ROZ_NEXT()                                                                                           \
    do {                                                                                                     \
        s.Ip = S(U(s.Ip) + 4);                                                                               \
        /* One branch for both tests: the word differs from Running, or the budget is spent. */              \
        uint64_t leave = control.Word.load(std::memory_order_relaxed) ^ TRunControl::Running;                \
        if constexpr (Counted) leave |= --left == 0;                                                         \
        if (leave) [[unlikely]]                                                                              \
            goto boundary;                                                                                   \
        ROZ_DISPATCH();                                                                                      \
    } while (0)

#define ROZ_HANDLER(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                                \
    L_##Mnemonic : Exec##Handler(s, TWordOperands{word});                                                    \
    ROZ_NEXT();
#define ROZ_HANDLER_UNASSIGNED(Group, Handler, Advance)                                                      \
    L_##Handler : Exec##Handler(s, TWordOperands{word});                                                     \
    ROZ_NEXT();

#if defined(__clang__)
#pragma clang diagnostic ignored "-Wc99-designator" // the label table's [Op] = &&label
#endif

namespace {

using TTopLabels = std::array<void*, 256>;

// The label of every top byte, from the labels of the operations.
TTopLabels TopLabels(void* const (&opLabels)[OpCount]) {
    TTopLabels labels{};
    for (uint32_t top = 0; top < 256; ++top)
        labels[top] = opLabels[OpOfTopByte(top)];
    return labels;
}

// Counted: keeps the step budget and the instruction count (one decrement and test per
// instruction, about a tenth of the loop's time); the uncounted loop skips both.
template <bool Counted> TRunResult BaselineImpl(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps) {
    // One label per operation, then one per top byte; both built on the first call.
    static void* const opLabels[OpCount] = {[OpNone] = &&L_None,
#define ROZ_LABEL(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow) [Op##Mnemonic] = &&L_##Mnemonic,
#define ROZ_LABEL_UNASSIGNED(Group, Handler, Advance) [Op##Handler] = &&L_##Handler,
                                            ROZ_INSTRUCTIONS(ROZ_LABEL) ROZ_UNASSIGNED(ROZ_LABEL_UNASSIGNED)
#undef ROZ_LABEL
#undef ROZ_LABEL_UNASSIGNED
    };
    static const TTopLabels topLabels = TopLabels(opLabels);
    // A copy on the stack: addressed through the stack pointer, the dispatch needs no
    // register for the table's address (with the static table GCC spends a LEA per
    // instruction and spills the fetch limit).
    void* labels[256];
    std::memcpy(labels, topLabels.data(), sizeof labels);

    TExecState s{cpu, cpu.IPOffset, cpu.Memory.Buffer(), cpu.Memory.Size()};
    uint64_t fetchLimit = FetchLimit(cpu.Memory);
    uint64_t left = maxSteps;
    uint32_t word = 0;
    void* target = nullptr;
    TRunResult result{TRunEnd::Stopped, 0, 0};

    if (left == 0) {
        result.End = TRunEnd::StepLimit;
        goto done;
    }
    try {
        ROZ_DISPATCH();

    L_None:
        ROZ_NEXT();
        ROZ_INSTRUCTIONS(ROZ_HANDLER)
        ROZ_UNASSIGNED(ROZ_HANDLER_UNASSIGNED)

    boundary:
        // The run thread body's end tests, in its order: memory size first, then Running.
        cpu.IPOffset = s.Ip;
        if (s.Ip >= s.Size) {
            result.End = TRunEnd::LeftMemory;
            result.FetchStatus = FetchOutsideMemory; // what the next fetch would report
            goto done;
        }
        if (Counted && left == 0) {
            result.End = TRunEnd::StepLimit;
            goto done;
        }
        while (control.Word.load(std::memory_order_acquire) != TRunControl::Running) {
            if (!control.AtBoundary()) {
                result.End = TRunEnd::Stopped;
                goto done;
            }
        }
        // The window's thread may have stepped, reset, loaded or re-sized meanwhile.
        s.Ip = cpu.IPOffset;
        s.Mem = cpu.Memory.Buffer();
        s.Size = cpu.Memory.Size();
        fetchLimit = FetchLimit(cpu.Memory);
        ROZ_DISPATCH();

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
    return result;
}

} // namespace

TRunResult RunLoopBaseline(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps) {
    return BaselineImpl<true>(cpu, control, maxSteps);
}

TRunResult RunLoopBaselineUncounted(TCCPUBase& cpu, TRunControl& control) {
    TRunResult result = BaselineImpl<false>(cpu, control, UINT64_MAX);
    result.Executed = 0;
    return result;
}
