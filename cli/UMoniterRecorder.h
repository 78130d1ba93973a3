#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

#include "UMoniterLog.h"
#include "Usimplemoniter.h"

// The runner's monitor: prints each event as it happens (a print as its decimal number and
// "\n", a clear as a line holding "\f"), or, for the JSON report, records the events in
// order and the lines the monitor shows at the end (the numbers printed since the last
// clear). Recording keeps the first Limit events, DroppedEvents counting the rest, and the
// lines as the window's monitor keeps them: the newest LineLimit since the latest clear,
// DroppedLines counting the older ones since that clear. So a program that prints without
// end cannot exhaust memory, and the report shows what the window would.
class TMoniterRecorder : public TMoniterSink {
  public:
    static constexpr uint64_t ClearEvent = UINT64_MAX; // in Events; prints are 0..2^32-1
    static constexpr size_t Limit = 1000000;
    static constexpr size_t LineLimit = TMoniterLog::Capacity;

    explicit TMoniterRecorder(std::FILE* printTo) : FPrintTo(printTo) {}

    void MoniterOutput(uint64_t value) override;

    std::vector<uint64_t> Events;
    std::deque<uint32_t> Lines;
    uint64_t DroppedEvents = 0;
    uint64_t DroppedLines = 0;

  private:
    std::FILE* FPrintTo; // nullptr: record instead
};
