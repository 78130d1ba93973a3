#include "UCcFrontEnd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ExecutableDirectory() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return ".";
    std::string path(buffer, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/'));
}

} // namespace

std::string TCcFrontEnd::ClangPath() {
    const char* override = std::getenv("ROZIDUV2_CLANG");
    return override && *override ? override : ROZ_CLANG_PATH;
}

std::string TCcFrontEnd::SharedDirectory(const char* variable, const std::string& name) {
    if (const char* override = std::getenv(variable); override && *override) return override;
    const std::string here = ExecutableDirectory();
    for (const std::string& candidate : {here + "/" + name, here + "/../share/roziduv2/" + name})
        if (IsDirectory(candidate)) return candidate;
    return here + "/" + name;
}

std::string TCcFrontEnd::IncludeDirectory() {
    return SharedDirectory("ROZIDUV2_INCLUDE", "include");
}

std::string TCcFrontEnd::RuntimeDirectory() {
    return SharedDirectory("ROZIDUV2_RUNTIME", "runtime");
}

std::string TCcFrontEnd::ResourceDirectory(const std::string& clang, std::string& error) {
    if (clang == ROZ_CLANG_PATH) return ROZ_CLANG_RESOURCE_DIR;
    std::string output;
    int status = 0;
    if (!Run({clang, "--version"}, output, status, error)) return {};
    const size_t at = output.find("clang version ");
    if (at == std::string::npos || std::atoi(output.c_str() + at + 14) != ROZ_LLVM_MAJOR) {
        error = clang + " is not clang " + std::to_string(ROZ_LLVM_MAJOR) +
                ", the version of the LLVM this compiler links";
        return {};
    }
    if (!Run({clang, "-print-resource-dir"}, output, status, error) || status != 0) return {};
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

std::vector<std::string> TCcFrontEnd::Arguments() const {
    std::vector<std::string> arguments = {ClangPath(),
                                          "--target=x86_64-unknown-none",
                                          "-ffreestanding",
                                          "-nostdlib",
                                          "-nostdinc",
                                          "-fsigned-char",
                                          "-fno-vectorize",
                                          "-fno-slp-vectorize",
                                          "-fno-unroll-loops",
                                          "-fno-stack-protector",
                                          std::string("-O") + FOptions.Level,
                                          FOptions.Debug ? "-g" : "-gline-tables-only"};
    for (const std::string& argument : FOptions.ClangArguments)
        arguments.push_back(argument);
    return arguments;
}

bool TCcFrontEnd::Compile(const std::string& file, std::string& ir, std::string& error) const {
    std::vector<std::string> arguments = Arguments();
    const std::string resources = ResourceDirectory(arguments.front(), error);
    if (!error.empty()) return false;
    for (const std::string& argument :
         {std::string("-isystem"), IncludeDirectory(), std::string("-isystem"), resources + "/include",
          std::string("-emit-llvm"), std::string("-S"), std::string("-Xclang"),
          std::string("-disable-llvm-passes"), std::string("-o"), std::string("-"), file})
        arguments.push_back(argument);
    int status = 0;
    if (!Run(arguments, ir, status, error)) return false;
    return status == 0;
}

bool TCcFrontEnd::Run(const std::vector<std::string>& arguments, std::string& output, int& status,
                      std::string& error) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        error = "cannot run the C front end " + arguments[0] + ": " + std::strerror(spawned) +
                " (install clang, or set ROZIDUV2_CLANG)";
        return false;
    }
    output.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got > 0) {
            output.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    int wait = 0;
    while (waitpid(child, &wait, 0) < 0 && errno == EINTR) {
    }
    status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + (WIFSIGNALED(wait) ? WTERMSIG(wait) : 0);
    return true;
}
