#include "Uccpumemory.h"

#include <cstdio>
#include <new>
#include <sys/stat.h>

TCCPUMemory::~TCCPUMemory() {
    Clear();
}

void TCCPUMemory::Clear() {
    delete[] FBuffer;
    FBuffer = nullptr;
    FSize = 0;
    FUsedLength = 0;
}

int32_t TCCPUMemory::SetSize(int64_t size) {
    if (size <= 0) {
        Clear();
        return -1;
    }
    // The new buffer is obtained before the old one goes, so a refused allocation loses nothing.
    uint8_t* fresh = nullptr;
    if (static_cast<uint64_t>(size) <= SIZE_MAX)
        fresh = new (std::nothrow) uint8_t[static_cast<size_t>(size)];
    if (!fresh) return -2;
    Clear();
    FBuffer = fresh;
    FSize = size;
    if (Fill(FBuffer, FSize, 0) != 0) {
        Clear();
        return -3;
    }
    return 0;
}

int64_t TCCPUMemory::Fill(uint8_t* buffer, int64_t length, uint8_t value) {
    if (!buffer) return -1;
    if (length <= 0) return -2;
    std::memset(buffer, value, static_cast<size_t>(length));
    return 0;
}

int32_t TCCPUMemory::LoadImage(const std::string& fileName) {
    if (fileName.empty()) return -1;
    struct stat info;
    if (::stat(fileName.c_str(), &info) != 0) return -2;
    if (S_ISDIR(info.st_mode)) return -3;
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file) return -3;
    int64_t length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
    if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return -3;
    }
    if (length <= 0) {
        std::fclose(file);
        return -4;
    }
    if (length >= FSize) {
        std::fclose(file);
        return -5;
    }
    // Read into memory directly: the file is shorter than the buffer. A short read (the file
    // shrank meanwhile) leaves the bytes beyond it as they were, like the byte-wise original.
    const size_t got = std::fread(FBuffer, 1, static_cast<size_t>(length), file);
    std::fclose(file);
    if (got == 0) return -3;
    FUsedLength = static_cast<int64_t>(got);
    return 0;
}

int32_t TCCPUMemory::LoadBytes(const uint8_t* data, int64_t length) {
    if (length <= 0) return -4;
    if (length >= FSize) return -5;
    std::memcpy(FBuffer, data, static_cast<size_t>(length));
    FUsedLength = length;
    return 0;
}

uint64_t TCCPUMemory::PeekWord(int64_t address) const {
    uint64_t value = 0;
    for (int k = 7; k >= 0; --k) {
        const int64_t at = (address > INT64_MAX - k) ? -1 : address + k;
        value = (value << 8) | PeekByte(at);
    }
    return value;
}

std::string TCCPUMemory::Dump(int64_t start, int64_t count) const {
    std::string result;
    if (count <= 0 || start >= FSize) return result;
    // Only whole groups below the size produce lines.
    const __int128 available = static_cast<__int128>(FSize) - start;
    const __int128 bytes = count < available ? count : available;
    const int64_t groups = static_cast<int64_t>(bytes / 4);
    result.resize(static_cast<size_t>(groups) * 10);
    static const char digits[] = "0123456789ABCDEF";
    char* out = result.data();
    for (int64_t g = 0; g < groups; ++g) {
        const int64_t base = start + g * 4;
        for (int k = 3; k >= 0; --k) {
            const uint8_t b = PeekByte(base + k);
            *out++ = digits[b >> 4];
            *out++ = digits[b & 15];
        }
        *out++ = '\r';
        *out++ = '\n';
    }
    return result;
}
