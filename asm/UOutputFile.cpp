#include "UOutputFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string DirName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Failure(const std::string& path, int error) {
    return path + ": cannot be written (" + std::strerror(error) + ")";
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, at, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        at += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The descriptor that /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N names, else -1.
// These are written through the open descriptor itself: reopening them would start at offset
// 0 of a redirected file, and renaming over them would replace the shell's redirect target.
int StreamDescriptor(const std::string& path) {
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t length = std::strlen(prefix);
        if (path.compare(0, length, prefix) != 0 || path.size() == length || path.size() > length + 9)
            continue;
        int fd = 0;
        for (size_t i = length; i < path.size(); ++i) {
            if (path[i] < '0' || path[i] > '9') return -1;
            fd = fd * 10 + (path[i] - '0');
        }
        return fd;
    }
    return -1;
}

// What identifies a file for CheckDistinct.
struct TIdentity {
    bool Exists = false;
    bool Regular = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    std::string Canonical; // for a missing file
};

TIdentity Identify(const std::string& path) {
    TIdentity id;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        id.Exists = true;
        id.Regular = S_ISREG(st.st_mode) && StreamDescriptor(path) < 0;
        id.Device = st.st_dev;
        id.Inode = st.st_ino;
    } else {
        id.Canonical = TOutputFile::Resolve(path);
    }
    return id;
}

// Two uses clash when they are the same regular file, or the same file still to be made.
bool Clash(const TIdentity& a, const TIdentity& b) {
    if (a.Exists != b.Exists) return false;
    if (!a.Exists) return a.Canonical == b.Canonical;
    return a.Regular && b.Regular && a.Device == b.Device && a.Inode == b.Inode;
}

} // namespace

std::string TOutputFile::Resolve(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) { // the kernel's own limit on a chain of links
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), link, sizeof link - 1);
        if (length <= 0) break;
        const std::string target(link, static_cast<size_t>(length));
        current = target[0] == '/' ? target : DirName(current) + "/" + target;
    }
    std::string dir = DirName(current);
    if (char* real = ::realpath(dir.c_str(), nullptr)) {
        dir = real;
        std::free(real);
    }
    return (dir == "/" ? "" : dir) + "/" + BaseName(current);
}

std::string TOutputFile::CheckDistinct(const std::vector<TUse>& inputs, const std::vector<TUse>& outputs) {
    std::vector<TIdentity> inputIds, outputIds;
    for (const TUse& use : inputs)
        inputIds.push_back(Identify(use.Path));
    for (size_t i = 0; i < outputs.size(); ++i) {
        const TIdentity id = Identify(outputs[i].Path);
        auto message = [&](const TUse& other) {
            return "the " + outputs[i].What + " '" + outputs[i].Path + "' is the " + other.What + " '" +
                   other.Path + "' (the same file); nothing was written";
        };
        for (size_t j = 0; j < inputs.size(); ++j)
            if (Clash(id, inputIds[j])) return message(inputs[j]);
        for (size_t j = 0; j < i; ++j)
            if (Clash(id, outputIds[j])) return message(outputs[j]);
        outputIds.push_back(id);
    }
    return "";
}

std::string TOutputFile::Write(const std::string& path, const void* data, size_t size) {
    if (const int stream = StreamDescriptor(path); stream >= 0)
        return WriteAll(stream, data, size) ? "" : Failure(path, errno);
    struct stat st;
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // Opened by the name given: /dev/stdout's link leads to names like "pipe:[123]" that
        // only the kernel can open.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return Failure(path, errno);
        bool ok = WriteAll(fd, data, size);
        int error = errno;
        if (::close(fd) != 0 && ok) ok = false, error = errno;
        return ok ? "" : Failure(path, error);
    }

    const std::string target = Resolve(path);
    std::string temporary = DirName(target) + "/." + BaseName(target) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return Failure(path, errno);
    const mode_t mode = exists ? st.st_mode & 07777 : 0666 & ~CurrentUmask();
    bool ok = WriteAll(fd, data, size) && ::fchmod(fd, mode) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) ok = false, error = errno;
    // No fsync: the aim is that a failed write never replaces the old file, not durability
    // across a power cut.
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) ok = false, error = errno;
    if (!ok) {
        ::unlink(temporary.c_str());
        return Failure(path, error);
    }
    return "";
}
