#pragma once
#include <atomic>
#include <cstdint>

// Port 0: the key the user holds down in the keyboard input area.
// Data layout: bits 0..15 the Windows virtual-key code, bit 32 Shift, bit 33 Alt,
// bit 34 Ctrl, everything else 0; 0 means no key is down.
// The window's thread writes Data whole on key events while the thread that executes
// the CPU reads it whole, so it is one atomic word (relaxed: it carries no other data).
class TKeyboardPort {
  public:
    static constexpr uint64_t ShiftBit = uint64_t{1} << 32;
    static constexpr uint64_t AltBit = uint64_t{1} << 33;
    static constexpr uint64_t CtrlBit = uint64_t{1} << 34;

    std::atomic<uint64_t> Data{0};

    // The word for a key-down event: key code in bits 0..15 and the modifier bits.
    static uint64_t KeyWord(uint16_t keyCode, bool shift, bool alt, bool ctrl) {
        return uint64_t{keyCode} | (shift ? ShiftBit : 0) | (alt ? AltBit : 0) | (ctrl ? CtrlBit : 0);
    }

    uint64_t Read(int64_t /*port*/) const { return Data.load(std::memory_order_relaxed); }
    int64_t Write(int64_t /*port*/, uint64_t /*value*/) { return 0; }
};
