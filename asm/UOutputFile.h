#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Writing a tool's output files (images, listings, debug information) without losing data.
//
// Write: a regular file (or a name that does not exist yet) is written to a temporary file
// beside it and renamed over it, so that a failure leaves the old file as it was and never a
// truncated one. A symbolic link is followed to its final target, which is replaced there
// (the link stays a link). The old file's permission bits are kept; a new file gets
// 0666 & ~umask. Anything else that exists (/dev/null, a FIFO, a terminal) is written
// directly, since it cannot be renamed over; /dev/stdout, /dev/stderr and /dev/fd/N are
// written to the process's own descriptor, so that a redirect to a file keeps its place.
//
// CheckDistinct: refuses a set of files where an output is an input or another output. Files
// are compared, not names: existing ones by device and inode (so "./a", "dir/../a", a symbolic
// link and a hard link to a are a), missing ones by the canonical path of their directory
// plus their name, after following symbolic links. Existing files that are not regular
// files, and the descriptor names above, are never refused: writing /dev/null twice loses
// nothing, and /dev/stdin and /dev/stdout are often the same terminal.
//
// Not thread-safe: Write reads the umask by setting it.
class TOutputFile {
  public:
    struct TUse {
        std::string Path;
        std::string What; // how messages name it: "source", "image", "listing"
    };

    // "" on success, else a message naming the file and the reason.
    static std::string Write(const std::string& path, const void* data, size_t size);

    // "" when every output is a file of its own, else a message naming the first clash, e.g.
    // "the image 'c.s' is the source 'c.s' (the same file); nothing was written".
    static std::string CheckDistinct(const std::vector<TUse>& inputs, const std::vector<TUse>& outputs);

    // The path that Write writes: symbolic links followed (also a dangling one, to the file it
    // names), the directory made canonical when it exists. Exposed for the comparison above.
    static std::string Resolve(const std::string& path);
};
