#pragma once
// Operand text shared by the files of the instruction selection (internal to cc/).
#include <string>

#include "UCcEmitter.h"

namespace cc_text {

inline std::string R(int number) {
    return TCcEmitter::Reg(number);
}
inline std::string Three(int a, int b, int c) {
    return R(a) + ", " + R(b) + ", " + R(c);
}
// "[Rn]", a register as a memory operand.
inline std::string Mem(int number) {
    return "[" + R(number) + "]";
}

} // namespace cc_text
