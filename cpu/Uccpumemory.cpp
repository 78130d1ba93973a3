#include "Uccpumemory.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

static_assert(sizeof(size_t) >= sizeof(int64_t), "every positive size is a size_t");

// Buffers from this size up are mapped anonymously: the system hands out zero pages on first
// touch, so neither allocating nor zeroing touches them. Smaller ones come zeroed from the
// heap, where the sanitizer build also guards the buffer's edges. The mapping is committed
// memory (no MAP_NORESERVE): a system that could not back it refuses it here, with -2,
// rather than failing the program's store to it later.
constexpr int64_t MapThreshold = int64_t{1} << 20;

uint8_t* Allocate(int64_t size) {
    if (size < MapThreshold) return static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
    void* mapped = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapped == MAP_FAILED ? nullptr : static_cast<uint8_t*>(mapped);
}

void Release(uint8_t* buffer, int64_t size) {
    if (size < MapThreshold)
        std::free(buffer);
    else
        ::munmap(buffer, static_cast<size_t>(size));
}

// Closes the descriptor on every way out of the load.
struct TFileCloser {
    int Fd;
    ~TFileCloser() { ::close(Fd); }
};

} // namespace

TCCPUMemory::~TCCPUMemory() {
    Clear();
}

void TCCPUMemory::Clear() {
    if (FBuffer) Release(FBuffer, FSize);
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
    uint8_t* fresh = Allocate(size);
    if (!fresh) return -2;
    Clear();
    FBuffer = fresh;
    FSize = size;
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
    // Without O_NONBLOCK, opening a named pipe waits for a writer; with it the open returns at
    // once and the check below refuses whatever is not a regular file before anything is read.
    int fd;
    do
        fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? -2 : -3;
    const TFileCloser closer{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0) return -3;
    // A directory counts as unreadable, as it always has; other kinds have a status of their own.
    if (S_ISDIR(info.st_mode)) return -3;
    if (!S_ISREG(info.st_mode)) return -6;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return -3;
    const int64_t length = info.st_size;
    if (length <= 0) return -4;
    if (length >= FSize) return -5;
    // The file is read aside and copied in only once it has been read without error, so a read
    // that fails part-way leaves memory as it was.
    const std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
    if (!bytes) return -3;
    int64_t got = 0;
    while (got < length) {
        const ssize_t n = ::read(fd, bytes.get() + got, static_cast<size_t>(length - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -3;
        if (n == 0) break; // the file shrank after fstat
        got += n;
    }
    if (got == 0) return -3;
    std::memcpy(FBuffer, bytes.get(), static_cast<size_t>(got));
    FUsedLength = got;
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
