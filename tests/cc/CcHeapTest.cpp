// The C library's heap (cc/runtime/malloc.c, compiled for the host with its functions renamed
// roz_*) over an arena that stands for the machine's memory: random sequences of malloc,
// calloc, realloc and free keep every block inside the arena, 16-aligned, apart from the
// others and with its contents; once everything is freed the heap is empty again (the stack
// limit back at its start) and one block of nearly all memory fits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "include/roziduv2_abi.h"

extern "C" {
void* roz_malloc(size_t size);
void* roz_calloc(size_t count, size_t size);
void* roz_realloc(void* block, size_t size);
void roz_free(void* block);
extern unsigned long __roz_stack_limit;
}

namespace {

constexpr size_t ArenaSize = 1 << 16;
alignas(16) unsigned char Arena[ArenaSize];
constexpr uintptr_t StackUse = 4096; // the stack pointer: this far into the arena

uintptr_t Top() {
    return (reinterpret_cast<uintptr_t>(Arena) + ArenaSize - ROZ_HEAP_GUARD) / 16 * 16;
}

struct TBlock {
    unsigned char* Data;
    size_t Size;
    unsigned char Fill;
};

void Check(const std::vector<TBlock>& blocks) {
    for (const TBlock& block : blocks) {
        const auto at = reinterpret_cast<uintptr_t>(block.Data);
        ASSERT_EQ(at % 16, 0u);
        ASSERT_GE(at, reinterpret_cast<uintptr_t>(Arena) + StackUse + ROZ_STACK_RESERVE);
        ASSERT_LE(at + block.Size, Top());
        for (size_t i = 0; i < block.Size; ++i)
            ASSERT_EQ(block.Data[i], block.Fill) << "a block lost its contents";
    }
}

} // namespace

// The builtins the heap is written over: memory ends at the arena's end, the stack is at its start.
extern "C" unsigned long __roz_memory_size(void) {
    return reinterpret_cast<uintptr_t>(Arena) + ArenaSize;
}
extern "C" unsigned long __roz_stack_pointer(void) {
    return reinterpret_cast<uintptr_t>(Arena) + StackUse;
}

TEST(CcHeap, RandomSequencesKeepBlocksApartAndWhole) {
    std::mt19937 random(1208);
    __roz_stack_limit = Top() - ROZ_STACK_RESERVE; // as the start-up sets it
    for (int round = 0; round < 20; ++round) {
        std::vector<TBlock> blocks;
        for (int step = 0; step < 2000; ++step) {
            const unsigned action = random() % 10;
            if (action < 5 || blocks.empty()) {
                const size_t size = random() % 4 ? random() % 200 : random() % 5000;
                const bool zeroed = random() % 4 == 0;
                auto* data = static_cast<unsigned char*>(zeroed ? roz_calloc(size, 1) : roz_malloc(size));
                if (!data) continue; // full
                if (zeroed) {
                    for (size_t i = 0; i < size; ++i)
                        ASSERT_EQ(data[i], 0) << "calloc's block is not zero";
                }
                const auto fill = static_cast<unsigned char>(random());
                std::memset(data, fill, size);
                blocks.push_back({data, size, fill});
            } else if (action < 8) {
                const size_t index = random() % blocks.size();
                roz_free(blocks[index].Data);
                blocks.erase(blocks.begin() + static_cast<long>(index));
            } else {
                TBlock& block = blocks[random() % blocks.size()];
                const size_t size = random() % 600 + 1;
                auto* data = static_cast<unsigned char*>(roz_realloc(block.Data, size));
                if (!data) continue; // the old block stays
                block.Data = data;
                std::memset(data + std::min(size, block.Size), block.Fill, size - std::min(size, block.Size));
                block.Size = size;
            }
            if (step % 100 == 0) Check(blocks);
            if (HasFatalFailure()) return;
        }
        Check(blocks);
        std::vector<std::pair<uintptr_t, uintptr_t>> ranges;
        for (const TBlock& block : blocks)
            ranges.emplace_back(reinterpret_cast<uintptr_t>(block.Data),
                                reinterpret_cast<uintptr_t>(block.Data) + block.Size);
        std::sort(ranges.begin(), ranges.end());
        for (size_t i = 1; i < ranges.size(); ++i)
            ASSERT_LE(ranges[i - 1].second, ranges[i].first) << "blocks overlap";
        std::shuffle(blocks.begin(), blocks.end(), random);
        for (const TBlock& block : blocks)
            roz_free(block.Data);
        ASSERT_EQ(__roz_stack_limit, Top() - ROZ_STACK_RESERVE) << "the heap is not empty after freeing all";
        const size_t most = Top() - (reinterpret_cast<uintptr_t>(Arena) + StackUse + ROZ_STACK_RESERVE) - 16;
        void* whole = roz_malloc(most);
        ASSERT_NE(whole, nullptr);
        EXPECT_EQ(roz_malloc(16), nullptr);
        roz_free(whole);
    }
}
