#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace llvm {
class Instruction;
}

// Assembly text for the machine's assembler, one statement a line, with the helpers that
// the instruction selection shares.
//
// Register roles in generated code (the calling convention: TCcFunctionLowering):
//   R0        return value (R1 its second word); else scratch of one IR instruction
//   R1..R4    scratch of one IR instruction's sequence (never live across instructions)
//   R5..R11   homes of values (register allocation); callee-saved: a function that uses one
//             saves it in its frame and restores it before it returns
//   R12       the constant 8 (set by the start-up, never changed)
//   R13       address scratch of the helpers below, and the constant of an extension
//   R14       address of the store scratch cell + 8 (set by the start-up, never changed)
//   R15       frame pointer FP: the absolute address of the current frame
// StackOffsetBegin stays 0, so SP is an absolute address too.
class TCcEmitter {
  public:
    static constexpr int FP = 15, ScratchCell = 14, Addr = 13, Eight = 12, FirstHome = 5, LastHome = 11;

    static std::string Reg(int number) { return "R" + std::to_string(number); }

    void Op(std::string_view mnemonic, std::string_view operands = {});
    void Label(std::string_view name);
    void Comment(std::string_view text);
    void Raw(std::string_view line);
    std::string NewLabel(); // unique in the whole output

    // reg := value, the shortest form (CLR, ONES or LDI).
    void Const(int reg, uint64_t value);
    // reg := the address of a symbol (plus offset).
    void Address(int reg, std::string_view symbol, int64_t offset = 0);
    // reg := FP + offset.
    void FrameAddress(int reg, int64_t offset);
    // reg := the 8 bytes at FP + offset (uses R13).
    void LoadFrame(int reg, int64_t offset);
    // The 16-byte cell at FP + offset := {reg, 0} with a plain STORE: only for frame slots
    // padded to 16 bytes (uses R13).
    void StoreFrame(int64_t offset, int reg);
    // Jumps to label: mnemonic is JMP, JE, JNE, JLE or JG (uses R13).
    void Jump(std::string_view mnemonic, std::string_view label);

    const std::string& Text() const { return FText; }

    // For the debug information: the text from here on is the code of this IR instruction
    // (until the next mark). Offset is where the mark was made in Text().
    struct TMark {
        size_t Offset;
        const llvm::Instruction* Instruction;
    };
    void Mark(const llvm::Instruction& instruction) { FMarks.push_back({FText.size(), &instruction}); }
    const std::vector<TMark>& Marks() const { return FMarks; }

  private:
    std::string FText;
    std::vector<TMark> FMarks;
    unsigned FLabels = 0;
};
