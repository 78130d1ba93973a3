#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "UMoniterLog.h"

namespace {

constexpr uint64_t Print(uint64_t n) {
    return uint64_t{1} << 56 | n;
}

std::vector<uint32_t> AllLines(const TMoniterLog& log) {
    std::vector<uint32_t> lines;
    log.CopyLines(0, UINT64_MAX, lines);
    return lines;
}

TEST(MoniterLog, DecodesPortValuesIntoEvents) {
    struct TRow {
        const char* Name;
        uint64_t Value;
        std::vector<uint32_t> Lines; // after writing 7 first, then Value
    };
    const TRow rows[] = {
        {"print 65 is a number", Print(65), {7, 65}},
        {"largest number", Print(0xFFFFFFFF), {7, 0xFFFFFFFF}},
        {"bits 32..55 ignored", Print(0x00FFFFFF0000000A), {7, 10}},
        {"clear", 0, {}},
        {"command 0 with number 5", 5, {7}},
        {"command 2", uint64_t{2} << 56 | 1, {7}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TMoniterLog log;
        log.MoniterOutput(Print(7));
        const uint64_t generation = log.Snapshot().Generation;
        log.MoniterOutput(row.Value);
        EXPECT_EQ(AllLines(log), row.Lines);
        EXPECT_EQ(log.Snapshot().Generation != generation, row.Lines.size() != 1);
    }
}

TEST(MoniterLog, KeepsOrderAndClears) {
    TMoniterLog log;
    for (uint32_t n : {3u, 3u, 1u})
        log.MoniterOutput(Print(n));
    EXPECT_EQ(AllLines(log), (std::vector<uint32_t>{3, 3, 1}));
    log.MoniterOutput(0);
    log.MoniterOutput(Print(9));
    EXPECT_EQ(AllLines(log), (std::vector<uint32_t>{9}));
    log.Clear();
    const TMoniterLog::TSnapshot snapshot = log.Snapshot();
    EXPECT_EQ(snapshot.LineCount, 0u);
    EXPECT_EQ(snapshot.Generation, 6u);

    std::vector<TMoniterLog::TEvent> events;
    EXPECT_EQ(log.EventsSince(2, 100, events), 2u);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].Kind, TMoniterCommand::Print);
    EXPECT_EQ(events[0].Number, 1u);
    EXPECT_EQ(events[1].Kind, TMoniterCommand::Clear);
    EXPECT_EQ(events[2].Number, 9u);
    EXPECT_EQ(events[3].Kind, TMoniterCommand::Clear);

    std::vector<uint32_t> part;
    log.MoniterOutput(Print(4));
    log.MoniterOutput(Print(5));
    log.CopyLines(1, 10, part);
    EXPECT_EQ(part, (std::vector<uint32_t>{5}));
    log.CopyLines(2, 10, part);
    EXPECT_TRUE(part.empty());
}

TEST(MoniterLog, WrapsKeepingTheNewestLinesAndCountsTheDropped) {
    TMoniterLog log;
    const uint64_t total = TMoniterLog::Capacity + 10;
    for (uint64_t n = 0; n < total; ++n)
        log.MoniterOutput(Print(n));
    const TMoniterLog::TSnapshot snapshot = log.Snapshot();
    EXPECT_EQ(snapshot.LineCount, TMoniterLog::Capacity);
    EXPECT_GE(snapshot.LineCount, 1'000'000u);
    EXPECT_EQ(snapshot.Dropped, 10u);
    std::vector<uint32_t> lines;
    log.CopyLines(0, 2, lines);
    EXPECT_EQ(lines, (std::vector<uint32_t>{10, 11}));
    log.CopyLines(snapshot.LineCount - 1, 5, lines);
    EXPECT_EQ(lines, (std::vector<uint32_t>{uint32_t(total - 1)}));

    std::vector<TMoniterLog::TEvent> events;
    EXPECT_EQ(log.EventsSince(0, 1, events), 10u); // the gap shows in the number returned
    EXPECT_EQ(events.at(0).Number, 10u);

    log.MoniterOutput(0);
    EXPECT_EQ(log.Snapshot().LineCount, 0u);
    EXPECT_EQ(log.Snapshot().Dropped, 0u);
}

// A reader's copy always belongs to its snapshot: with only prints of n = sequence, line i
// of a snapshot is FirstLine + i, and every copied range is contiguous.
TEST(MoniterLog, ReadersGetConsistentCopiesWhileTheWriterAppends) {
    TMoniterLog log;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (uint32_t n = 0; n < 300'000; ++n)
            log.MoniterOutput(Print(n));
        done = true;
    });
    std::vector<uint32_t> lines;
    uint64_t lastGeneration = 0;
    while (!done) {
        const TMoniterLog::TSnapshot snapshot = log.CopyLines(0, 64, lines);
        ASSERT_GE(snapshot.Generation, lastGeneration);
        lastGeneration = snapshot.Generation;
        for (size_t i = 0; i < lines.size(); ++i)
            ASSERT_EQ(lines[i], snapshot.FirstLine + i);
        const uint64_t tail = snapshot.LineCount > 10 ? snapshot.LineCount - 10 : 0;
        const TMoniterLog::TSnapshot later = log.CopyLines(tail, 10, lines);
        for (size_t i = 0; i < lines.size(); ++i)
            ASSERT_EQ(lines[i], later.FirstLine + tail + i);
    }
    writer.join();
    EXPECT_EQ(log.Snapshot().LineCount, 300'000u);
}

} // namespace
