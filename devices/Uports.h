#pragma once
#include <cstdint>

#include "Ukeyboardport.h"
#include "Usimplemoniter.h"

// The CPU's port block and its map: port KeyboardPort the keyboard, port MoniterPort the
// monitor, every other number (compared in all 64 bits) reads 0 and ignores writes. These
// constants are the only place that names a port's number.
class TPorts {
  public:
    static constexpr int64_t KeyboardPort = 0;
    static constexpr int64_t MoniterPort = 1;

    TKeyboardPort Keyboard;
    TSimpleMoniter Moniter;

    uint64_t ReadPort(int64_t port) {
        if (port == KeyboardPort) return Keyboard.Read(port);
        if (port == MoniterPort) return Moniter.Read(port);
        return 0;
    }
    // Always 0.
    int64_t WritePort(int64_t port, uint64_t value) {
        if (port == KeyboardPort)
            Keyboard.Write(port, value);
        else if (port == MoniterPort)
            Moniter.Write(port, value);
        return 0;
    }
};
