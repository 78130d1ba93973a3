// The memory store: sizing, image loading from real files, the hex dump and the word and
// cell rules for addresses outside the buffer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <semaphore>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "TestMachine.h"

#if defined(__SANITIZE_ADDRESS__)
#define ROZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROZ_ASAN 1
#endif
#endif
#ifdef ROZ_ASAN
// The refused-allocation test asks for 2^62 bytes; the sanitizer must answer with a null
// pointer, as the system allocator does, instead of ending the process.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace {

namespace fs = std::filesystem;

// A temporary folder, removed with everything in it.
class TTempDir {
  public:
    TTempDir() {
        char pattern[] = "/tmp/roz-cpu-test-XXXXXX";
        FPath = ::mkdtemp(pattern);
    }
    ~TTempDir() { fs::remove_all(FPath); }
    std::string File(const std::string& name, size_t length, uint8_t first = 1) const {
        const fs::path path = FPath / name;
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < length; ++i)
            out.put(static_cast<char>(static_cast<uint8_t>(first + i)));
        return path.string();
    }
    std::string Path(const std::string& name) const { return (FPath / name).string(); }

  private:
    fs::path FPath;
};

TEST(MemoryStore, ConstructionGivesTenThousandZeroBytesAndResetRegisters) {
    TCCPU cpu;
    EXPECT_EQ(cpu.Memory.Size(), 10000);
    EXPECT_EQ(cpu.Memory.UsedLength(), 0);
    for (int64_t a = 0; a < 10000; ++a)
        ASSERT_EQ(cpu.Memory.PeekByte(a), 0) << a;
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        EXPECT_EQ(cpu.PanelRegister(i), std::string(TCCPUBase::PanelRegisterNames[i]) == "Version" ? 1 : 0)
            << TCCPUBase::PanelRegisterNames[i];
    EXPECT_EQ(cpu.Ports.Keyboard.Data.load(), 0u);
}

struct TSizeRow {
    const char* Name;
    int64_t Size;
    int32_t Status;
    int64_t SizeAfter;
};

class SetSize : public testing::TestWithParam<TSizeRow> {};

TEST_P(SetSize, StatusSizeAndZeroedBufferWithoutImage) {
    const TSizeRow& row = GetParam();
    TTestMachine m;
    const uint8_t image[5] = {9, 9, 9, 9, 9};
    ASSERT_EQ(m.Cpu.Memory.LoadBytes(image, 5), 0);
    EXPECT_EQ(m.Cpu.Memory.SetSize(row.Size), row.Status);
    EXPECT_EQ(m.Cpu.Memory.Size(), row.SizeAfter);
    EXPECT_EQ(m.Cpu.Memory.UsedLength(), 0);
    EXPECT_EQ(m.Cpu.Memory.Buffer() != nullptr, row.SizeAfter > 0);
    for (int64_t a = 0; a < row.SizeAfter; ++a)
        ASSERT_EQ(m.Cpu.Memory.PeekByte(a), 0);
    // With no buffer every fetch reports an address beyond memory.
    if (row.SizeAfter == 0) {
        EXPECT_EQ(m.Cpu.FetchAndExecute(0), FetchOutsideMemory);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SetSize,
                         testing::Values(TSizeRow{"Zero", 0, -1, 0}, TSizeRow{"Negative", -5, -1, 0},
                                         TSizeRow{"Min", INT64_MIN, -1, 0}, TSizeRow{"Sixteen", 16, 0, 16},
                                         TSizeRow{"One", 1, 0, 1}, TSizeRow{"Twenty000", 20000, 0, 20000},
                                         TSizeRow{"Mapped", (1 << 20) + 3, 0, (1 << 20) + 3}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(MemoryStore, RefusedAllocationKeepsOldMemorySizeAndImage) {
    TTestMachine m;
    const uint8_t image[3] = {7, 8, 9};
    ASSERT_EQ(m.Cpu.Memory.LoadBytes(image, 3), 0);
    m.Put64(500, 0x1122334455667788);
    const std::vector<uint8_t> before = m.Bytes();
    EXPECT_EQ(m.Cpu.Memory.SetSize(int64_t{1} << 62), -2);
    EXPECT_EQ(m.Cpu.Memory.Size(), 10000);
    EXPECT_EQ(m.Cpu.Memory.UsedLength(), 3);
    EXPECT_EQ(m.Bytes(), before);
    EXPECT_EQ(m.Cpu.Memory.SetSize(INT64_MAX), -2);
    EXPECT_EQ(m.Cpu.Memory.Size(), 10000);
}

// Resident pages of this process.
long ResidentPages() {
    long total = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return -1;
    const int read = std::fscanf(statm, "%ld %ld", &total, &resident);
    std::fclose(statm);
    return read == 2 ? resident : -1;
}

TEST(MemoryStore, LargestSizeIsReadyAtOnceAndCostsOnlyTouchedPages) {
    constexpr int64_t Largest = 2147483647;
    TCCPUMemory memory;
    const long before = ResidentPages();
    ASSERT_EQ(memory.SetSize(Largest), 0);
    EXPECT_EQ(memory.Size(), Largest);
    EXPECT_EQ(memory.PeekByte(Largest - 1), 0);
    memory.WriteCell(Largest - 8, {0x0123456789ABCDEF, 0xFFFFFFFFFFFFFFFF});
    EXPECT_EQ(memory.ReadWord(Largest - 8), 0x0123456789ABCDEFu);
    EXPECT_EQ(memory.Dump(Largest - 3, 4), ""); // the last three bytes are no whole group
    EXPECT_EQ(memory.Dump(Largest - 4, 4), "01234567\r\n");
    // A filled buffer would make 2 GiB resident; a few pages are all the accesses above need.
    const long grown = ResidentPages() - before;
    EXPECT_LT(grown * ::sysconf(_SC_PAGESIZE), 8 << 20) << grown << " pages";
}

TEST(MemoryStore, FillStatuses) {
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(TCCPUMemory::Fill(nullptr, 4, 0), -1);
    EXPECT_EQ(TCCPUMemory::Fill(buffer, 0, 0), -2);
    EXPECT_EQ(TCCPUMemory::Fill(buffer, -1, 0), -2);
    EXPECT_EQ(TCCPUMemory::Fill(buffer, 3, 0xAB), 0);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[2], 0xAB);
    EXPECT_EQ(buffer[3], 4);
}

TEST(LoadImage, FailuresLeaveMemoryUnchanged) {
    TTempDir dir;
    TTestMachine m;
    const std::string old = dir.File("old.bin", 10, 50);
    ASSERT_EQ(m.Cpu.Memory.LoadImage(old), 0);
    const std::vector<uint8_t> before = m.Bytes();
    const std::string pipe = dir.Path("pipe.bin");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    struct {
        const char* Name;
        std::string File;
        int32_t Status;
    } rows[] = {
        {"EmptyName", "", -1},
        {"Missing", dir.Path("missing.bin"), -2},
        {"FileAsFolder", old + "/inner.bin", -2},
        {"Folder", dir.Path(""), -3},
        {"EmptyFile", dir.File("empty.bin", 0), -4},
        {"AsLongAsMemory", dir.File("full.bin", 10000), -5},
        {"LongerThanMemory", dir.File("long.bin", 10001), -5},
        {"NamedPipe", pipe, -6},
        {"NullDevice", "/dev/null", -6},
        {"ZeroDevice", "/dev/zero", -6},
    };
    // A load that waited for a writer on the pipe would hang the test: this writer ends such a
    // wait after a few seconds, so that the row fails instead.
    std::binary_semaphore finished(0);
    std::thread rescue([&] {
        if (finished.try_acquire_for(std::chrono::seconds(5))) return;
        const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    });
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(m.Cpu.Memory.LoadImage(row.File), row.Status);
        EXPECT_EQ(m.Cpu.Memory.UsedLength(), 10);
        EXPECT_EQ(m.Cpu.Memory.Size(), 10000);
        EXPECT_EQ(m.Bytes(), before);
    }
    finished.release();
    rescue.join();
}

TEST(LoadImage, LongestImageIsOneByteShorterThanMemory) {
    TTempDir dir;
    TTestMachine m;
    ASSERT_EQ(m.Cpu.Memory.LoadImage(dir.File("max.bin", 9999, 0)), 0);
    EXPECT_EQ(m.Cpu.Memory.UsedLength(), 9999);
    for (int64_t a = 0; a < 9999; ++a)
        ASSERT_EQ(m.Cpu.Memory.PeekByte(a), static_cast<uint8_t>(a));
    EXPECT_EQ(m.Cpu.Memory.PeekByte(9999), 0);
}

TEST(LoadImage, ShortImageAfterLongOneKeepsTheRestAndBytesAreRaw) {
    TTempDir dir;
    TTestMachine m;
    ASSERT_EQ(m.Cpu.Memory.LoadImage(dir.File("long.bin", 100, 1)), 0);
    // Bytes 0x0D 0x0A and 0x1A must pass unchanged (no line-end or end-of-file handling).
    const std::string crlf = dir.Path("crlf.bin");
    {
        std::ofstream out(crlf, std::ios::binary);
        out.write("\r\n\x1a\n", 4);
    }
    ASSERT_EQ(m.Cpu.Memory.LoadImage(crlf), 0);
    EXPECT_EQ(m.Cpu.Memory.UsedLength(), 4);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(0), 0x0D);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(1), 0x0A);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(2), 0x1A);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(3), 0x0A);
    for (int64_t a = 4; a < 100; ++a)
        ASSERT_EQ(m.Cpu.Memory.PeekByte(a), static_cast<uint8_t>(1 + a));
}

TEST(LoadImage, LoadBytesStatuses) {
    TTestMachine m(16);
    const uint8_t data[16] = {};
    EXPECT_EQ(m.Cpu.Memory.LoadBytes(data, 0), -4);
    EXPECT_EQ(m.Cpu.Memory.LoadBytes(data, 16), -5);
    EXPECT_EQ(m.Cpu.Memory.LoadBytes(data, 15), 0);
    EXPECT_EQ(m.Cpu.Memory.UsedLength(), 15);
}

struct TDumpRow {
    const char* Name;
    int64_t Start;
    int64_t Count;
    const char* Text;
};

class Dump : public testing::TestWithParam<TDumpRow> {};

TEST_P(Dump, Text) {
    const TDumpRow& row = GetParam();
    TTestMachine m(32);
    for (int a = 0; a < 32; ++a)
        m.Cpu.Memory.Buffer()[a] = static_cast<uint8_t>(a + 1);
    m.Cpu.Memory.Buffer()[8] = 0xAB; // upper-case hex digits
    EXPECT_EQ(m.Cpu.Memory.Dump(row.Start, row.Count), row.Text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Dump,
    testing::Values(TDumpRow{"TwoGroups", 0, 8, "04030201\r\n08070605\r\n"},
                    TDumpRow{"PartialGroupDropped", 0, 6, "04030201\r\n"},
                    TDumpRow{"OddStart", 1, 4, "05040302\r\n"}, TDumpRow{"UpperCase", 8, 4, "0C0B0AAB\r\n"},
                    TDumpRow{"CountBelowFour", 0, 3, ""}, TDumpRow{"CountZero", 0, 0, ""},
                    TDumpRow{"CountNegative", 0, -4, ""}, TDumpRow{"StartAtSize", 32, 4, ""},
                    TDumpRow{"StartBeyondSize", 1000, 4, ""},
                    TDumpRow{"StartBeyondInt32", int64_t{1} << 40, 4, ""},
                    TDumpRow{"StopsAtSize", 26, 100, "1E1D1C1B\r\n"},
                    TDumpRow{"LastWholeGroup", 28, 100, "201F1E1D\r\n"},
                    TDumpRow{"NegativeStartShowsZeros", -2, 8, "02010000\r\n06050403\r\n"},
                    TDumpRow{"WhollyNegative", -8, 8, "00000000\r\n00000000\r\n"},
                    TDumpRow{"HugeCount", 24, INT64_MAX, "1C1B1A19\r\n201F1E1D\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MemoryStore, DumpOfFreshMemoryIs32ZeroLines) {
    TCCPU cpu;
    std::string expected;
    for (int i = 0; i < 32; ++i)
        expected += "00000000\r\n";
    EXPECT_EQ(cpu.Memory.Dump(0, 128), expected);
}

TEST(MemoryStore, PeekWordCountsOutsideBytesAsZero) {
    TTestMachine m(16);
    for (int a = 0; a < 16; ++a)
        m.Cpu.Memory.Buffer()[a] = static_cast<uint8_t>(a + 1);
    EXPECT_EQ(m.Cpu.Memory.PeekWord(0), 0x0807060504030201u);
    EXPECT_EQ(m.Cpu.Memory.PeekWord(12), 0x100F0E0Du);
    EXPECT_EQ(m.Cpu.Memory.PeekWord(-2), 0x0605040302010000u);
    EXPECT_EQ(m.Cpu.Memory.PeekWord(INT64_MAX - 3), 0u);
    EXPECT_EQ(m.Cpu.Memory.PeekWord(INT64_MIN), 0u);
}

// Words and cells at addresses that do not lie wholly inside the buffer.
struct TWordRow {
    const char* Name;
    int64_t Address;
    uint64_t Read; // the word read there; the memory holds byte a + 1 at a
};

class WordRead : public testing::TestWithParam<TWordRow> {};

TEST_P(WordRead, Value) {
    TTestMachine m(64);
    for (int a = 0; a < 64; ++a)
        m.Cpu.Memory.Buffer()[a] = static_cast<uint8_t>(a + 1);
    EXPECT_EQ(m.Cpu.Memory.ReadWord(GetParam().Address), GetParam().Read);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WordRead,
    testing::Values(TWordRow{"AtZero", 0, 0x0807060504030201u},
                    TWordRow{"LastWhole", 56, 0x403F3E3D3C3B3A39u}, TWordRow{"Straddling", 57, 0},
                    TWordRow{"AtSize", 64, 0}, TWordRow{"Negative", -8, 0}, TWordRow{"MinusOne", -1, 0},
                    TWordRow{"Min", INT64_MIN, 0},
                    TWordRow{"Low32Translation", (int64_t{1} << 32) + 8, 0x100F0E0D0C0B0A09u},
                    TWordRow{"Low32Outside", (int64_t{1} << 32) + 60, 0}, TWordRow{"Max", INT64_MAX, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MemoryCells, CellAtMinusEightReadsZeroThenWordAtZero) {
    TTestMachine m(64);
    m.Put64(0, 0x1122334455667788);
    const TCell cell = m.Cpu.Memory.ReadCell(-8);
    EXPECT_EQ(cell.Word0, 0u);
    EXPECT_EQ(cell.Word1, 0x1122334455667788u);
}

TEST(MemoryCells, WritesOnlyWordsWhollyInside) {
    struct {
        const char* Name;
        int64_t Address;
        bool Word0, Word1; // written?
        int64_t Index;     // where word 0 lands
    } rows[] = {
        {"Inside", 8, true, true, 8},
        {"SecondWordAtSize", 56, true, false, 56},
        {"SecondWordStraddles", 52, true, false, 52},
        {"FirstWordStraddles", 60, false, false, 60},
        {"Negative", -8, false, false, 0},
        {"NegativeNearZero", -1, false, false, 0},
        {"Low32Translation", (int64_t{1} << 32) + 16, true, true, 16},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TTestMachine m(64);
        std::memset(m.Cpu.Memory.Buffer(), 0xEE, 64);
        m.Cpu.Memory.WriteCell(row.Address, {0x0101010101010101, 0x0202020202020202});
        std::vector<uint8_t> expected(64, 0xEE);
        if (row.Word0) std::fill_n(expected.begin() + row.Index, 8, 0x01);
        if (row.Word1) std::fill_n(expected.begin() + row.Index + 8, 8, 0x02);
        EXPECT_EQ(m.Bytes(), expected);
    }
}

} // namespace
