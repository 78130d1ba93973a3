#pragma once
#include <cstdint>

#include "Ukeyboardport.h"
#include "Usimplemoniter.h"

// The CPU's port block: port 0 the keyboard, port 1 the monitor, every other number
// (compared in all 64 bits) reads 0 and ignores writes.
class TPorts {
  public:
    TKeyboardPort Keyboard;
    TSimpleMoniter Moniter;

    uint64_t ReadPort(int64_t port) {
        if (port == 0) return Keyboard.Read(port);
        if (port == 1) return Moniter.Read(port);
        return 0;
    }
    // Always 0.
    int64_t WritePort(int64_t port, uint64_t value) {
        if (port == 0)
            Keyboard.Write(port, value);
        else if (port == 1)
            Moniter.Write(port, value);
        return 0;
    }
};
