#pragma once
// Hand-encoded code images for the run layer's tests and benchmarks. Words are little-endian;
// groups 0..4 take 8-byte slots, the port instructions (group 5) 4 bytes. A taken jump goes
// to R[C] + 4, so a jump register holds the target's address minus 4.
#include <cstdint>
#include <vector>

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
    static uint32_t Enc(uint32_t g, uint32_t s, uint32_t a, uint32_t b, uint32_t c) {
        return g << 28 | s << 24 | a << 16 | b << 8 | c;
    }
    void Nop() { Word8(Enc(0, 0, 0, 0, 0)); }
    void Clr(int c) { Word8(Enc(0, 13, 0, 0, c)); }
    void Inc(int b, int c) { Word8(Enc(0, 14, 0, b, c)); }
    void Add(int a, int b, int c) { Word8(Enc(0, 8, a, b, c)); }
    void Div(int a, int b, int c) { Word8(Enc(0, 11, a, b, c)); }
    void Rdctl(int b, int index) { Word8(Enc(0, 5, 0, b, index)); }
    void Shl(int a, int b, int c) { Word8(Enc(4, 2, a, b, c)); }
    void Cmp(int b, int c) { Word8(Enc(1, 0, 0, b, c)); }
    void Jmp(int c) { Word8(Enc(1, 1, 0, 0, c)); }
    void Jle(int c) { Word8(Enc(1, 4, 0, 0, c)); }
    void In(int b, int c) { Word4(Enc(5, 0, 0, b, c)); }
    void Out(int b, int c) { Word4(Enc(5, 1, 0, b, c)); }

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
