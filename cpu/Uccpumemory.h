#pragma once
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

static_assert(std::endian::native == std::endian::little, "memory words are stored in host order");

// A 16-byte memory cell: word 0 at the cell address, word 1 at the cell address + 8.
struct TCell {
    uint64_t Word0;
    uint64_t Word1;
};

// The machine's one flat byte address space, addressed from 0.
//
// Address rule for words (8 bytes) and cells: a non-negative address selects the byte index
// equal to its low 32 bits; a word that does not lie wholly inside the buffer reads as 0 and
// is not written; a negative address reads 0 and writes nothing. No access ever touches
// storage outside the buffer. All multi-byte values are little-endian.
//
// Not thread-safe: whoever executes the CPU owns it (see the run layer's hand-over).
class TCCPUMemory {
  public:
    TCCPUMemory() = default;
    ~TCCPUMemory();
    TCCPUMemory(const TCCPUMemory&) = delete;
    TCCPUMemory& operator=(const TCCPUMemory&) = delete;

    // Releases the buffer; size and used length become 0.
    void Clear();

    // Statuses: 0 done (all bytes 0, used length 0); -1 size <= 0 (memory left empty);
    // -2 the buffer could not be obtained (the old buffer, size and used length are kept);
    // -3 the fill failed (memory left empty): no longer produced, since a fresh buffer comes
    // zeroed from the system, but kept so that the statuses stay as callers know them.
    // A large buffer is mapped, not filled: the system supplies its zero pages on first
    // touch, so any size is ready at once and costs only the pages the program uses.
    int32_t SetSize(int64_t size);

    // Statuses: -1 no buffer, -2 length <= 0, else writes value into bytes 0..length-1 and 0.
    static int64_t Fill(uint8_t* buffer, int64_t length, uint8_t value);

    // Copies the file's bytes to addresses 0.. and sets the used length. Statuses: 0 done;
    // -1 empty name; -2 no such file; -3 cannot be opened or read (a directory included);
    // -4 empty; -5 not shorter than memory; -6 not a regular file (a named pipe, a device,
    // a socket), refused without waiting for a writer or reading anything. Every failure
    // leaves memory, size and used length unchanged. A file that shrinks while it is read
    // loads as the shorter image it has become.
    int32_t LoadImage(const std::string& fileName);

    // Same as LoadImage, from bytes in memory (for the runner's tests and the fuzzer);
    // statuses 0, -4, -5 as there.
    int32_t LoadBytes(const uint8_t* data, int64_t length);

    int64_t Size() const { return FSize; }
    int64_t UsedLength() const { return FUsedLength; }
    uint8_t* Buffer() { return FBuffer; }
    const uint8_t* Buffer() const { return FBuffer; }

    // The byte at a plain address, or 0 outside memory (viewer and register panel).
    uint8_t PeekByte(int64_t address) const {
        return (address >= 0 && address < FSize) ? FBuffer[address] : 0;
    }
    // Eight bytes from address upwards as one little-endian number; bytes outside memory
    // count as 0 (the register panel's current-instruction view).
    uint64_t PeekWord(int64_t address) const;

    uint64_t ReadWord(int64_t address) const { return ReadWordAt(FBuffer, FSize, address); }
    TCell ReadCell(int64_t address) const { return ReadCellAt(FBuffer, FSize, address); }
    void WriteCell(int64_t address, TCell cell) { WriteCellAt(FBuffer, FSize, address, cell); }

    // The hex-dump text: for each complete group of four bytes from start, eight upper-case
    // hex digits (the group read as a little-endian 32-bit value) and "\r\n". Stops at the
    // first address not below the size; bytes at negative addresses show as 00.
    std::string Dump(int64_t start, int64_t count) const;

    // The word and cell rules above over a raw buffer, shared with the instruction
    // definitions, which hold the buffer and size in locals.
    static uint64_t ReadWordAt(const uint8_t* buffer, int64_t size, int64_t address) {
        if (address < 0) return 0;
        const uint64_t index = static_cast<uint32_t>(address);
        if (index + 8 > static_cast<uint64_t>(size)) return 0;
        uint64_t value;
        std::memcpy(&value, buffer + index, 8);
        return value;
    }
    static TCell ReadCellAt(const uint8_t* buffer, int64_t size, int64_t address) {
        return {ReadWordAt(buffer, size, address),
                ReadWordAt(buffer, size, static_cast<int64_t>(static_cast<uint64_t>(address) + 8))};
    }
    static void WriteCellAt(uint8_t* buffer, int64_t size, int64_t address, TCell cell) {
        if (address < 0) return;
        const uint64_t index = static_cast<uint32_t>(address);
        if (index + 8 <= static_cast<uint64_t>(size)) std::memcpy(buffer + index, &cell.Word0, 8);
        if (index + 16 <= static_cast<uint64_t>(size)) std::memcpy(buffer + index + 8, &cell.Word1, 8);
    }

  private:
    int64_t FSize = 0;
    int64_t FUsedLength = 0;
    uint8_t* FBuffer = nullptr;
};
