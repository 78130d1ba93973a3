#pragma once
// A small kit for the machine's tests: an instruction encoder, a CPU with a recording
// monitor and helpers to place words and read memory back.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "UInstructionSet.h"
#include "Uccpu.h"

namespace enc {

// Top bytes (group and sub-operation) of the instructions, by mnemonic.
enum : uint32_t {
#define ROZ_ENC_TOP(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow) Mnemonic = (Group) << 4 | (Sub),
    ROZ_INSTRUCTIONS(ROZ_ENC_TOP)
#undef ROZ_ENC_TOP
};

// Masks of the operand bytes A, B and C in a word.
constexpr uint32_t ByteA = 0xFF0000, ByteB = 0xFF00, ByteC = 0xFF;

constexpr uint32_t W(uint32_t top, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0) {
    return top << 24 | (a & 0xFF) << 16 | (b & 0xFF) << 8 | (c & 0xFF);
}

// A code image: Op puts a word in an 8-byte slot, Short in a 4-byte one (group 5),
// Cell a 16-byte inline operand.
struct TImage {
    std::vector<uint8_t> Bytes;

    int64_t Here() const { return static_cast<int64_t>(Bytes.size()); }
    TImage& Raw(uint64_t value, int width) {
        for (int k = 0; k < width; ++k)
            Bytes.push_back(static_cast<uint8_t>(value >> (8 * k)));
        return *this;
    }
    TImage& Op(uint32_t word) { return Raw(word, 4).Raw(0, 4); }
    TImage& Short(uint32_t word) { return Raw(word, 4); }
    TImage& Cell(uint64_t word0, uint64_t word1 = 0) { return Raw(word0, 8).Raw(word1, 8); }
    // LDI R[reg] with its value in the following cell (for IPOffsetBegin = 8).
    TImage& Ldi(uint32_t reg, uint64_t value) { return Op(W(LDI, reg)).Cell(value); }
};

} // namespace enc

// Records every value written to the monitor port.
class TRecordingSink : public TMoniterSink {
  public:
    std::vector<uint64_t> Values;
    void MoniterOutput(uint64_t value) override { Values.push_back(value); }
};

// A CPU as start-up builds it, with a recording monitor, helpers to place words and an
// optional zero image so that any address below the used length may be fetched.
struct TTestMachine {
    TCCPU Cpu;
    TRecordingSink Sink;

    explicit TTestMachine(int64_t size = TCCPUBase::DefaultMemorySize, int64_t zeroImage = 0) {
        Cpu.Ports.Moniter.Sink = &Sink;
        if (size != TCCPUBase::DefaultMemorySize) Cpu.Memory.SetSize(size);
        if (zeroImage > 0) {
            const std::vector<uint8_t> zeros(static_cast<size_t>(zeroImage), 0);
            Cpu.Memory.LoadBytes(zeros.data(), zeroImage);
        }
    }
    int32_t Load(const enc::TImage& image) { return Cpu.Memory.LoadBytes(image.Bytes.data(), image.Here()); }
    void Put32(int64_t address, uint32_t value) { std::memcpy(Cpu.Memory.Buffer() + address, &value, 4); }
    void Put64(int64_t address, uint64_t value) { std::memcpy(Cpu.Memory.Buffer() + address, &value, 8); }
    uint64_t Get64(int64_t address) const {
        uint64_t value;
        std::memcpy(&value, Cpu.Memory.Buffer() + address, 8);
        return value;
    }
    std::vector<uint8_t> Bytes() const {
        const uint8_t* b = Cpu.Memory.Buffer();
        return std::vector<uint8_t>(b, b + Cpu.Memory.Size());
    }
    // Places word at address and executes it there by one fetch.
    int64_t StepAt(int64_t address, uint32_t word) {
        Put32(address, word);
        Cpu.IPOffset = address;
        return Cpu.FetchAndExecute(address);
    }
    int64_t Step() { return Cpu.FetchAndExecute(Cpu.IPOffset); }
};

// The index in the register panel's order of the register with this name, or -1.
inline int PanelIndex(const std::string& name) {
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        if (name == TCCPUBase::PanelRegisterNames[i]) return i;
    return -1;
}
