#pragma once
#include <cstdint>
#include <string_view>

#include "UInstructionSet.h"

// The instructions the assembler knows, from the machine's instruction-set table: every row
// and every alias with its operand form, its top byte (group and sub-operation, bits 31..24
// of the word) and the bytes it occupies.
class TAsmInstructionSet {
  public:
    using TForm = roz::TOperandForm;

    struct TEntry {
        const char* Name;
        uint8_t TopByte;
        TForm Form;
        int Size; // the word, the zero bytes and the inline cell, if any
    };

    // The entry for an upper-case name, or nullptr.
    static const TEntry* Find(std::string_view upperName);

    // True when the form reads an inline operand cell.
    static bool HasCell(TForm form) {
        return form == TForm::RegCell || form == TForm::TargetCell || form == TForm::RegTarget;
    }
};
