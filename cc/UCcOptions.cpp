#include "UCcOptions.h"

#include <cstdlib>

bool TCcOptions::Parse(int argc, char** argv, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // An option with its value either attached (-IDIR) or as the next argument (-I DIR).
        auto attached = [&](const char* name, std::string& value) {
            const std::string prefix = name;
            if (arg.rfind(prefix, 0) != 0) return false;
            if (arg.size() > prefix.size()) {
                value = arg.substr(prefix.size());
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                error = arg + " needs a value";
                value.clear();
            }
            return true;
        };
        std::string value;
        if (arg == "--help" || arg == "-h") {
            Help = true;
        } else if (arg == "-O0" || arg == "-O1" || arg == "-O2" || arg == "-Os") {
            Level = arg[2];
        } else if (arg == "-O") {
            Level = '1';
        } else if (arg == "-g") {
            Debug = true;
        } else if (arg == "-g0") {
            Debug = false;
        } else if (arg == "-S") {
            Assembly = true;
        } else if (arg == "--emit-ir") {
            EmitIr = true;
        } else if (arg == "-o") {
            if (i + 1 >= argc) {
                error = "-o needs a file name";
                return false;
            }
            Output = argv[++i];
        } else if (arg == "--memory-size") {
            if (i + 1 >= argc) {
                error = "--memory-size needs a value";
                return false;
            }
            char* end = nullptr;
            const std::string text = argv[++i];
            const long long size = std::strtoll(text.c_str(), &end, 0);
            if (text.empty() || *end || size < 1 || size > 2147483647) {
                error = "--memory-size takes a number from 1 to 2147483647, not '" + text + "'";
                return false;
            }
            MemorySize = size;
            MemorySizeGiven = true;
        } else if (arg == "--grow-memory") {
            GrowMemoryGiven = true;
        } else if (attached("-I", value) || attached("-D", value) || attached("-U", value)) {
            if (!error.empty()) return false;
            ClangArguments.push_back(arg.substr(0, 2) + value);
        } else if (arg == "-w" || arg.rfind("-W", 0) == 0 || arg.rfind("-f", 0) == 0 ||
                   arg.rfind("-std=", 0) == 0) {
            ClangArguments.push_back(arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
            return false;
        } else if (arg.size() < 2 || arg.compare(arg.size() - 2, 2, ".c") != 0) {
            error = "'" + arg + "' is not a C file (.c); assembly goes through roziduv2-asm";
            return false;
        } else {
            Inputs.push_back(arg);
        }
    }
    if (Help) return true;
    GrowMemory = !MemorySizeGiven || GrowMemoryGiven;
    if (Inputs.empty()) {
        error = "no input file given";
        return false;
    }
    if (Assembly && EmitIr) {
        error = "-S and --emit-ir exclude each other";
        return false;
    }
    return true;
}

std::string TCcOptions::OutputName() const {
    if (!Output.empty()) return Output;
    std::string name = Inputs.front();
    if (const size_t slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    name.erase(name.size() - 2);
    return name + (Assembly ? ".s" : EmitIr ? ".ll" : ".bin");
}
