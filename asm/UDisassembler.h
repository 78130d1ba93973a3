#pragma once
#include <cstdint>
#include <optional>
#include <string>

// The text of one instruction word in the assembler's syntax: the name, then the operands
// destination first ("ADD R1, R2, R3", "LOAD R1, [R2]", "RDCTL R1, SP"). A word that selects
// nothing, names a register outside R0..R15 or has non-zero bytes that its instruction
// ignores is shown as ".word 0xXXXXXXXX", so that assembling the text gives the word back.
// For LDI and CALLI, cellValue (word 0 of the operand cell, when the caller knows it) gives
// their operand: LDI shows the value it loads, CALLI the address where the call lands
// (cellValue + 4), which is what the assembler's CALLI operand means.
std::string Disassemble(uint32_t word, std::optional<uint64_t> cellValue = std::nullopt);
