#pragma once
#include <cstdint>

// What a value written to the monitor port asks for: bits 56..63 are the command byte
// (0 clear, 1 print), bits 0..31 the unsigned number; a clear needs the number 0.
struct TMoniterCommand {
    enum TKind { None, Clear, Print };
    TKind Kind;
    uint32_t Number;

    static TMoniterCommand Decode(uint64_t value) {
        const uint64_t command = value >> 56;
        const uint32_t number = static_cast<uint32_t>(value);
        if (command == 1) return {Print, number};
        if (command == 0 && number == 0) return {Clear, 0};
        return {None, 0};
    }
};

// Receives every value written to the monitor port, on the thread that executes the CPU,
// before the OUT instruction completes. The runner prints; the run layer's monitor log stores.
class TMoniterSink {
  public:
    virtual void MoniterOutput(uint64_t value) = 0;

  protected:
    ~TMoniterSink() = default;
};

// Port 1: the simple monitor. Data holds the value while a write is in progress, else 0.
// Only the thread that executes the CPU touches it.
class TSimpleMoniter {
  public:
    uint64_t Data = 0;
    TMoniterSink* Sink = nullptr; // not owned; a monitor without a sink drops its output

    uint64_t Read(int64_t /*port*/) const { return 0; }
    int64_t Write(int64_t /*port*/, uint64_t value) {
        Data = value;
        if (Sink) Sink->MoniterOutput(Data);
        Data = 0;
        return 0;
    }
};
