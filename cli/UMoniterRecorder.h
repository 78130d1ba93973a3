#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

#include "Usimplemoniter.h"

// The runner's monitor: prints each event as it happens (a print as its decimal number and
// "\n", a clear as a line holding "\f"), or, for the JSON report, records the events in
// order and the lines the monitor shows at the end (the numbers printed since the last
// clear). Recording keeps at most Limit events and the last Limit lines, so that a program
// that prints without end cannot exhaust memory; DroppedEvents counts the rest.
class TMoniterRecorder : public TMoniterSink {
  public:
    static constexpr uint64_t ClearEvent = UINT64_MAX; // in Events; prints are 0..2^32-1
    static constexpr size_t Limit = 1000000;

    explicit TMoniterRecorder(std::FILE* printTo) : FPrintTo(printTo) {}

    void MoniterOutput(uint64_t value) override;

    std::vector<uint64_t> Events;
    std::deque<uint32_t> Lines;
    uint64_t DroppedEvents = 0;

  private:
    std::FILE* FPrintTo; // nullptr: record instead
};
