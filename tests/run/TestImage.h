#pragma once
// Code images for the run layer's tests and benchmarks, encoded from the instruction-set
// table: every instruction takes the bytes its row gives (8, the port instructions 4). A
// taken jump goes to R[C] + 4, so a jump register holds the target's address minus 4.
#include <cstdint>
#include <vector>

#include "UInstructionSet.h"
#include "Uccpubase.h"

namespace rtest {

enum : int { RPort = 11, RPrint = 14, ROne = 15 };

class TImage {
  public:
    std::vector<uint8_t> Bytes;

    int64_t Here() const { return static_cast<int64_t>(Bytes.size()); }
    void Word4(uint32_t w) {
        for (int i = 0; i < 4; ++i)
            Bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
    void Word8(uint32_t w) {
        Word4(w);
        Word4(0);
    }
    // The instruction in the slot its size gives: the word, then zero bytes.
    void Put(roz::TInstr row, uint32_t a, uint32_t b, uint32_t c) {
        Word4(roz::Encode(row, a, b, c));
        for (int i = 4; i < roz::InstructionOf(row).Size; i += 4)
            Word4(0);
    }
    void Nop() { Put(roz::TInstr::NOP, 0, 0, 0); }
    void Clr(int c) { Put(roz::TInstr::CLR, 0, 0, c); }
    void Inc(int b, int c) { Put(roz::TInstr::INC, 0, b, c); }
    void Add(int a, int b, int c) { Put(roz::TInstr::ADD, a, b, c); }
    void Div(int a, int b, int c) { Put(roz::TInstr::DIV, a, b, c); }
    void Rdctl(int b, int index) { Put(roz::TInstr::RDCTL, 0, b, index); }
    void Shl(int a, int b, int c) { Put(roz::TInstr::SHL, a, b, c); }
    void Cmp(int b, int c) { Put(roz::TInstr::CMP, 0, b, c); }
    void Jmp(int c) { Put(roz::TInstr::JMP, 0, 0, c); }
    void Jle(int c) { Put(roz::TInstr::JLE, 0, 0, c); }
    void In(int b, int c) { Put(roz::TInstr::IN, 0, b, c); }
    void Out(int b, int c) { Put(roz::TInstr::OUT, 0, b, c); }

    // R[r] := value (below 2^24) in a fixed length, so that it can be patched later; needs
    // R15 = 1 (Setup).
    size_t Const(int r, uint32_t value) {
        const size_t at = Bytes.size();
        Clr(r);
        for (int bit = 23; bit >= 0; --bit) {
            Shl(r, r, ROne);
            if (value >> bit & 1)
                Inc(r, r);
            else
                Nop();
        }
        return at;
    }
    void Patch(size_t at, int r, uint32_t value) {
        TImage again;
        again.Const(r, value);
        for (size_t i = 0; i < again.Bytes.size(); ++i)
            Bytes[at + i] = again.Bytes[i];
    }
    // R15 = 1, R11 = 1 (the monitor port), R14 = the print command (1 << 56).
    void Setup() {
        Clr(ROne);
        Inc(ROne, ROne);
        Clr(RPort);
        Inc(RPort, RPort);
        Const(13, 56);
        Shl(RPrint, ROne, 13);
    }
    void Load(TCCPUBase& cpu) const {
        cpu.Memory.LoadBytes(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    }
};

// A program that clears the monitor, then prints 1, 2, 3, ... and polls the keyboard once
// per line. limit 0: for ever; else it prints 1..limit and then ends at the end of the image,
// or fails on a division by zero with divideAtEnd. Loop registers: R1 the counter, R3 the
// loop's jump register, R7 the limit, R8 IPOffset read by RDCTL, R9 the key.
inline TImage Printer(uint32_t limit = 0, bool divideAtEnd = false) {
    TImage image;
    image.Setup();
    const size_t loopConst = image.Const(3, 0);
    image.Const(7, limit ? limit - 1 : 0);
    image.Clr(1);
    image.Clr(10);
    image.Clr(12);
    image.Out(RPort, 12); // clear
    const int64_t loop = image.Here();
    image.Inc(1, 1);
    image.Add(12, RPrint, 1);
    image.Out(RPort, 12);
    image.In(10, 9);
    image.Rdctl(8, TCCPUBase::CtlIPOffset);
    if (limit == 0) {
        image.Jmp(3);
    } else {
        image.Cmp(1, 7);
        image.Jle(3);
        if (divideAtEnd) image.Div(2, 2, 0);
    }
    image.Patch(loopConst, 3, static_cast<uint32_t>(loop - 4));
    return image;
}

// An endless loop of INC R1 and JMP R3, with no port access.
inline TImage Counter() {
    TImage image;
    image.Setup();
    const size_t at = image.Const(3, 0);
    const int64_t loop = image.Here();
    image.Inc(1, 1);
    image.Jmp(3);
    image.Patch(at, 3, static_cast<uint32_t>(loop - 4));
    return image;
}

} // namespace rtest
