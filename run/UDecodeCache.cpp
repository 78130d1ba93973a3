#include "UDecodeCache.h"

#include <cstring>
#include <sys/mman.h>

namespace {

constexpr size_t MappedBytes = (TDecodeCache::Capacity + TDecodeCache::Slack) * sizeof(TDecodedWord);
// Above this many bytes of entries a drop hands the pages back instead of clearing them.
constexpr size_t ClearLimit = size_t{256} << 10;

} // namespace

TDecodeCache::~TDecodeCache() {
    if (FWords) ::munmap(FWords, MappedBytes);
}

TDecodedWord* TDecodeCache::Words() {
    if (FWords || FRefused) return FWords;
    void* mapped = ::mmap(nullptr, MappedBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) {
        FRefused = true;
        return nullptr;
    }
    FWords = static_cast<TDecodedWord*>(mapped);
    return FWords;
}

void TDecodeCache::Drop() {
    if (!FWords || FLow >= FHigh) return;
    // Invalidations during the run only ever cleared entries, so [FLow, FHigh) covers all.
    const size_t bytes = (FHigh - FLow) * sizeof(TDecodedWord);
    if (bytes <= ClearLimit) {
        std::memset(FWords + FLow, 0, bytes);
    } else {
        // Whole pages go back to the system and read as zero again; the partial pages at both
        // ends are cleared by hand.
        const uintptr_t from = reinterpret_cast<uintptr_t>(FWords + FLow), to = from + bytes;
        const uintptr_t page = 4096, first = (from + page - 1) & ~(page - 1), last = to & ~(page - 1);
        std::memset(reinterpret_cast<void*>(from), 0, first - from);
        std::memset(reinterpret_cast<void*>(last), 0, to - last);
        if (::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) != 0)
            std::memset(reinterpret_cast<void*>(first), 0, last - first);
    }
    FLow = UINT64_MAX;
    FHigh = 0;
}
