#include "URunLoop.h"

#include <cstring>

#include "UInstructions.h"

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
    }
    return "?";
}

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

#define ROZ_HANDLER(Op)                                                                                      \
    L_##Op : Exec##Op(s, word);                                                                              \
    ROZ_NEXT();

namespace {

// Counted: keeps the step budget and the instruction count (one decrement and test per
// instruction, about a tenth of the loop's time); the uncounted loop skips both.
template <bool Counted> TRunResult RunLoopImpl(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps) {
    // One label per distinct handler; the table maps bits 31..24 of a word to them.
    // clang-format off
    static void* const opLabels[OpCount] = {
        &&L_None,  &&L_Nop,  &&L_Mov,  &&L_Mcopy, &&L_Load, &&L_Store,   &&L_Rdctl, &&L_Wrctl,
        &&L_Add,   &&L_Sub,  &&L_Mul,  &&L_Div,   &&L_Ones, &&L_Clr,     &&L_Inc,   &&L_Dec,
        &&L_Cmp,   &&L_Jmp,  &&L_Je,   &&L_Jne,   &&L_Jle,  &&L_Jg,      &&L_And,   &&L_Or,
        &&L_Xor,   &&L_Lnot, &&L_Shl,  &&L_Sar,   &&L_Call, &&L_Ret,     &&L_Int,   &&L_Calli,
        &&L_In,    &&L_Out,  &&L_Blkcopy, &&L_Push, &&L_Pop, &&L_StackNone, &&L_Ldi};
    // clang-format on
    static_assert(OpLdi + 1 == OpCount);
    void* labels[256];
    for (uint32_t top = 0; top < 256; ++top)
        labels[top] = opLabels[OpOfTopByte(top)];

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
        // clang-format off
        ROZ_HANDLER(Nop) ROZ_HANDLER(Mov) ROZ_HANDLER(Mcopy) ROZ_HANDLER(Load) ROZ_HANDLER(Store)
        ROZ_HANDLER(Rdctl) ROZ_HANDLER(Wrctl) ROZ_HANDLER(Add) ROZ_HANDLER(Sub) ROZ_HANDLER(Mul)
        ROZ_HANDLER(Div) ROZ_HANDLER(Ones) ROZ_HANDLER(Clr) ROZ_HANDLER(Inc) ROZ_HANDLER(Dec)
        ROZ_HANDLER(Cmp) ROZ_HANDLER(Jmp) ROZ_HANDLER(Je) ROZ_HANDLER(Jne) ROZ_HANDLER(Jle)
        ROZ_HANDLER(Jg) ROZ_HANDLER(And) ROZ_HANDLER(Or) ROZ_HANDLER(Xor) ROZ_HANDLER(Lnot)
        ROZ_HANDLER(Shl) ROZ_HANDLER(Sar) ROZ_HANDLER(Call) ROZ_HANDLER(Ret) ROZ_HANDLER(Int)
        ROZ_HANDLER(Calli) ROZ_HANDLER(In) ROZ_HANDLER(Out) ROZ_HANDLER(Blkcopy) ROZ_HANDLER(Push)
        ROZ_HANDLER(Pop) ROZ_HANDLER(StackNone) ROZ_HANDLER(Ldi)
            // clang-format on

            boundary :
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
        result.FetchStatus = s.Ip < 0             ? FetchNegative
                             : s.Ip >= s.Size - 3 ? FetchOutsideMemory
                                                  : FetchEndOfImage;
        result.End = result.FetchStatus == FetchEndOfImage ? TRunEnd::EndOfImage : TRunEnd::LeftMemory;
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

TRunResult RunLoop(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps) {
    return RunLoopImpl<true>(cpu, control, maxSteps);
}

TRunResult RunLoopUncounted(TCCPUBase& cpu, TRunControl& control) {
    TRunResult result = RunLoopImpl<false>(cpu, control, UINT64_MAX);
    result.Executed = 0;
    return result;
}
