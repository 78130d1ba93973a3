// The compiler's builtins: the reserved __roz_* functions that <roziduv2.h> and the C library
// are written over, each a few instructions in place of a call.
#include <llvm/IR/Instructions.h>

#include "UCcAsmText.h"
#include "UCcFunctionLowering.h"
#include "UCcModuleLowering.h"
#include "UCcSequences.h"
#include "UCcValueBits.h"

using namespace llvm;
using namespace cc_text;

namespace {

struct TBuiltin {
    const char* Name;
    unsigned Arguments;
};

constexpr TBuiltin Builtins[] = {
    {"__roz_print", 1},         // (n): monitor command 1, the low 32 bits of n
    {"__roz_clear_monitor", 0}, // monitor command 0 with number 0
    {"__roz_key", 0},           // the word of port 0
    {"__roz_in", 1},            // (port): the word read from the port
    {"__roz_out", 2},           // (port, word): writes the word to the port
    {"__roz_exit", 1},          // (r0): R0 := r0, then the end as when main returns
    {"__roz_exit_with", 5},     // (r0, r1, r2, r3, r4): R0..R4 := them, then the end
    {"__roz_memory_size", 0},   // --memory-size
    {"__roz_stack_pointer", 0}, // SP, the first free byte of the stack
};

} // namespace

bool TCcFunctionLowering::SelectBuiltin(CallInst& instruction, const std::string& name) {
    const TBuiltin* builtin = nullptr;
    for (const TBuiltin& candidate : Builtins)
        if (name == candidate.Name) builtin = &candidate;
    if (!builtin) return false;
    if (instruction.arg_size() != builtin->Arguments)
        Fail(instruction, "the builtin '" + name + "' takes " + std::to_string(builtin->Arguments) +
                              " argument" + (builtin->Arguments == 1 ? "" : "s"));
    if (name == "__roz_print") {
        const Value& number = *instruction.getArgOperand(0);
        int value = Operand(number, 1);
        if (!FBits->FitsUnsigned(number, 32)) {
            FOut.Op("AND", Three(1, value, ConstOperand(0xFFFFFFFF, 2)));
            value = 1;
        }
        FOut.Op("OR", Three(1, value, ConstOperand(uint64_t{1} << 56, 2)));
        FOut.Op("OUT", R(ConstOperand(1, 2)) + ", " + R(1));
    } else if (name == "__roz_clear_monitor") {
        FOut.Op("CLR", R(1));
        FOut.Const(2, 1);
        FOut.Op("OUT", R(2) + ", " + R(1));
    } else if (name == "__roz_key" || name == "__roz_in") {
        if (name == "__roz_key")
            FOut.Op("CLR", R(2));
        else
            Materialize(2, *instruction.getArgOperand(0));
        FOut.Op("IN", R(1) + ", " + R(2));
    } else if (name == "__roz_out") {
        Materialize(2, *instruction.getArgOperand(0));
        Materialize(1, *instruction.getArgOperand(1));
        FOut.Op("OUT", R(2) + ", " + R(1));
    } else if (name == "__roz_exit") {
        Materialize(0, *instruction.getArgOperand(0));
        FOut.Op("LDA", R(1) + ", __roz_end");
        FOut.Op("JMP", R(1));
    } else if (name == "__roz_exit_with") { // Materialize touches only its register and Addr
        for (unsigned i = 0; i < 5; ++i)
            Materialize(static_cast<int>(i), *instruction.getArgOperand(i));
        FOut.Jump("JMP", "__roz_end");
    } else if (name == "__roz_memory_size") {
        FOut.Const(1, static_cast<uint64_t>(FModule.MemorySize()));
    } else if (name == "__roz_stack_pointer") {
        FOut.Op("RDCTL", R(1) + ", SP");
    }
    if (!instruction.getType()->isVoidTy()) Result(instruction, 1);
    return true;
}
