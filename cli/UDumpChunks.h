#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

#include "Uccpumemory.h"

// Calls group(text8) for every line of the memory's hex dump of count bytes from start, in
// order, formatting at most 64 KiB of memory at a time so that a dump of any length runs in
// bounded memory.
template <class F> void ForEachDumpGroup(const TCCPUMemory& memory, int64_t start, int64_t count, F group) {
    constexpr int64_t Chunk = 1 << 16; // a multiple of 4: chunks keep the groups of the whole range
    for (int64_t done = 0; done < count && start < memory.Size() - done;) {
        const int64_t length = std::min(Chunk, count - done);
        const std::string text = memory.Dump(start + done, length);
        for (size_t at = 0; at + 8 <= text.size(); at += 10)
            group(text.data() + at);
        done += length;
    }
}
