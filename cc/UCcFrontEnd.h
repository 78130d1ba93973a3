#pragma once
#include <string>
#include <vector>

#include "UCcOptions.h"

// Runs clang as a subprocess: one C file to textual LLVM IR for the freestanding x86-64
// target (so that the data layout is the host's: 32-bit int, 64-bit long and pointers,
// signed char), unoptimised (the passes run later, in-process), with line tables always
// (so that our own errors name the source line) and full debug information with -g.
// clang's diagnostics go to our stderr unchanged.
//
// The clang binary is the one found at configure time, or $ROZIDUV2_CLANG; its major version
// must equal the LLVM that reads the IR. Headers: -nostdinc, the user's -I, -isystem our
// include folder ($ROZIDUV2_INCLUDE, or include/ beside the executable, or
// ../share/roziduv2/include from it), -isystem clang's resource include folder. The C library's
// sources are found the same way: $ROZIDUV2_RUNTIME, runtime/ or ../share/roziduv2/runtime.
class TCcFrontEnd {
  public:
    explicit TCcFrontEnd(const TCcOptions& options) : FOptions(options) {}

    // The IR text, or false when clang failed (its messages are on stderr) or could not be
    // run (message in error, empty when clang reported the errors itself).
    bool Compile(const std::string& file, std::string& ir, std::string& error) const;

    std::vector<std::string> Arguments() const; // clang and the options before the file
    static std::string IncludeDirectory();
    static std::string RuntimeDirectory();

  private:
    static std::string ClangPath();
    static std::string SharedDirectory(const char* variable, const std::string& name);
    static std::string ResourceDirectory(const std::string& clang, std::string& error);
    static bool Run(const std::vector<std::string>& arguments, std::string& output, int& status,
                    std::string& error);

    const TCcOptions& FOptions;
};
