#include "UCliOptions.h"

#include <fstream>
#include <sstream>

std::optional<int64_t> ParseCliNumber(std::string_view text, bool allowNegative) {
    bool negative = false;
    if (!text.empty() && text[0] == '-' && allowNegative) {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    unsigned __int128 value = 0;
    for (char ch : text) {
        int digit;
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (base == 16 && ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        else if (base == 16 && ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > (unsigned __int128)UINT64_MAX) return std::nullopt;
    }
    if (negative) {
        if (value > (unsigned __int128)INT64_MAX + 1) return std::nullopt;
        return static_cast<int64_t>(-static_cast<__int128>(value));
    }
    return static_cast<int64_t>(static_cast<uint64_t>(value));
}

bool ParseKeyChanges(const std::string& fileName, std::string_view text, std::vector<TKeyChange>& changes,
                     std::string& error) {
    changes.clear();
    std::istringstream lines{std::string(text)};
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::string count, word, extra;
        if (!(fields >> count)) continue;
        const std::string where = fileName + ":" + std::to_string(number) + ": ";
        fields >> word;
        if (word.empty() || (fields >> extra)) {
            error = where + "expected 'COUNT WORD'";
            return false;
        }
        const auto at = ParseCliNumber(count, false), value = ParseCliNumber(word, false);
        if (!at || !value) {
            error = where + "'" + (at ? word : count) + "' is not a number";
            return false;
        }
        if (!changes.empty() && static_cast<uint64_t>(*at) < changes.back().At) {
            error = where + "instruction counts must not decrease";
            return false;
        }
        changes.push_back({static_cast<uint64_t>(*at), static_cast<uint64_t>(*value)});
    }
    return true;
}

bool TCliOptions::Parse(int argc, char** argv, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string text;
        auto value = [&]() {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            text = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            Help = true;
            return true;
        } else if (arg == "--memory-size") {
            if (!value()) return false;
            const auto n = ParseCliNumber(text, false);
            if (!n || *n < 1 || *n > 2147483647) {
                error = "--memory-size takes 1 to 2147483647, not '" + text + "'";
                return false;
            }
            MemorySize = *n;
            MemorySizeGiven = true;
        } else if (arg == "--max-steps" || arg == "--key") {
            if (!value()) return false;
            const auto n = ParseCliNumber(text, false);
            if (!n) {
                error = arg + " takes a number, not '" + text + "'";
                return false;
            }
            (arg == "--key" ? Key : MaxSteps) = static_cast<uint64_t>(*n);
        } else if (arg == "--keys") {
            if (!value()) return false;
            std::ifstream in(text, std::ios::binary);
            if (!in) {
                error = "--keys: " + text + ": cannot be read";
                return false;
            }
            std::ostringstream content;
            content << in.rdbuf();
            if (!ParseKeyChanges(text, content.str(), Keys, error)) return false;
        } else if (arg == "--dump") {
            if (!value()) return false;
            const size_t colon = text.find(':');
            std::optional<int64_t> start, count;
            if (colon != std::string::npos) {
                start = ParseCliNumber(std::string_view(text).substr(0, colon), true);
                count = ParseCliNumber(std::string_view(text).substr(colon + 1), false);
            }
            if (!start || !count || *count < 0) {
                error = "--dump takes START:COUNT, not '" + text + "'";
                return false;
            }
            // Addresses below memory show as 00; a start far below 0 would print billions of them.
            if (*start < INT32_MIN) {
                error = "--dump START must be at least -2147483648, not '" + text + "'";
                return false;
            }
            Dump = std::make_pair(*start, *count);
        } else if (arg == "--regs") {
            Regs = true;
        } else if (arg == "--trace") {
            Trace = true;
        } else if (arg.starts_with("--trace=")) {
            if (arg != "--trace=source") {
                error = "--trace takes no value or =source, not '" + arg.substr(8) + "'";
                return false;
            }
            Trace = TraceSource = true;
        } else if (arg == "--break" || arg.starts_with("--break=")) {
            if (arg == "--break") {
                if (i + 1 < argc) text = argv[++i];
            } else {
                text = arg.substr(8);
            }
            if (text.empty() || text.find_first_not_of(" \t") == std::string::npos) {
                error = "--break needs a location: an address, a label, a function or FILE:LINE";
                return false;
            }
            Breaks.push_back(text);
        } else if (arg == "--watch" || arg.starts_with("--watch=")) {
            if (arg == "--watch") {
                if (i + 1 < argc) text = argv[++i];
            } else {
                text = arg.substr(8);
            }
            if (text.empty() || text.find_first_not_of(" \t") == std::string::npos) {
                error = "--watch needs a location: in, out, ADDRESS [SIZE] [w|r|rw] or a C expression";
                return false;
            }
            Watches.push_back(text);
        } else if (arg == "--stats") {
            Stats = true;
        } else if (arg == "--json") {
            Json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
            return false;
        } else if (!Image.empty()) {
            error = "only one IMAGE may be given";
            return false;
        } else {
            Image = arg;
        }
    }
    if (Image.empty()) {
        error = "no IMAGE given";
        return false;
    }
    return true;
}
