#include "UProgramEnd.h"

#include <cstdio>

#include "UPlace.h"
#include "Uccpubase.h"

namespace {

// A C string of the program, as far as it is readable: at most Limit characters, the rest
// cut to "..."; characters outside printable ASCII (and the quote and backslash) escaped.
std::string ReadString(const TCCPUBase& cpu, uint64_t address) {
    constexpr int Limit = 200;
    std::string text;
    for (int i = 0; i < Limit; ++i) {
        const int64_t at = static_cast<int64_t>(address + static_cast<uint64_t>(i));
        if (at < 0 || at >= cpu.Memory.Size()) break;
        const unsigned char ch = cpu.Memory.PeekByte(at);
        if (ch == 0) return text;
        if (ch >= 0x20 && ch < 0x7F && ch != '\\') {
            text += static_cast<char>(ch);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", ch);
            text += escape;
        }
    }
    return text + "...";
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The C call that entered the frame at FP (the function whose code runs there): the
// function that made it and the call's line, from the CALL's return address in the records
// below the frame (the layout every C function's frame shares).
void CallerOfFrame(const TSourceMap& map, const TCCPUBase& cpu, TProgramEnd& end) {
    const TDebugInfo::TFrame layout;
    const int64_t fp = cpu.R[layout.FramePointer];
    const uint64_t returnAddress =
        cpu.Memory.PeekWord(
            static_cast<int64_t>(static_cast<uint64_t>(fp) + static_cast<uint64_t>(layout.Records + 16))) +
        4;
    const uint64_t call = returnAddress - 8;
    if (const TDebugInfo::TFunction* caller = map.FunctionAt(call)) {
        end.Function = caller->Name;
        end.Place = map.PlaceText(map.LineAt(call));
    }
}

} // namespace

const char* TProgramEnd::Reason() const {
    switch (Kind) {
    case TKind::Ordinary:
        return "end";
    case TKind::StackOverflow:
        return "stack-overflow";
    case TKind::Assert:
        return "assert";
    case TKind::Abort:
        return "abort";
    }
    return "end";
}


std::string TProgramEnd::Text() const {
    std::string what;
    switch (Kind) {
    case TKind::Ordinary:
        return "";
    case TKind::StackOverflow:
        what = "栈溢出stack overflow";
        break;
    case TKind::Assert:
        what = "断言失败assertion failed: " + Expression;
        break;
    case TKind::Abort:
        what = "调用了abort() called";
        break;
    }
    const std::string where = Where();
    if (!where.empty()) what += (Kind == TKind::Assert ? ", in " : " in ") + where;
    return "程序异常结束Program ended abnormally: " + what;
}

std::string TProgramEnd::Where() const {
    return FormatPlace({0, Function, Place}, TPlaceFormat::Function);
}

TProgramEnd ClassifyProgramEnd(const TSourceMap& map, const TCCPUBase& cpu) {
    TProgramEnd end;
    const TDebugInfo& info = map.Info();
    const uint64_t r0 = static_cast<uint64_t>(cpu.R[0]);
    std::string reason;
    for (const TDebugInfo::TEndMark& mark : info.Ends)
        if (mark.R0 == r0) reason = mark.Reason;
    if (reason == "assert") {
        end.Kind = TProgramEnd::TKind::Assert;
        end.Expression = ReadString(cpu, static_cast<uint64_t>(cpu.R[1]));
        end.File = ReadString(cpu, static_cast<uint64_t>(cpu.R[2]));
        end.Line = static_cast<uint64_t>(cpu.R[3]);
        end.Function = ReadString(cpu, static_cast<uint64_t>(cpu.R[4]));
        end.Place = BaseName(end.File) + ":" + std::to_string(end.Line);
    } else if (reason == "stack-overflow") {
        end.Kind = TProgramEnd::TKind::StackOverflow;
        // Found by a function's entry: R1 is its CALL's register, the entry less 4. Found
        // elsewhere (a variable-length array, a large argument area), R1 is no entry: then
        // the caller of the frame at FP says where.
        const uint64_t entry = static_cast<uint64_t>(cpu.R[1]) + 4;
        const TDebugInfo::TFunction* function = map.FunctionAt(entry);
        if (function && function->Address == entry) {
            end.Function = function->Name;
            end.Place = map.PlaceText({function->File, function->Line});
        } else {
            CallerOfFrame(map, cpu, end);
            if (!end.Function.empty()) end.Function = "a function called from " + end.Function;
        }
    } else if (reason == "abort") {
        end.Kind = TProgramEnd::TKind::Abort; // abort() keeps its own frame (noinline)
        CallerOfFrame(map, cpu, end);
    } else if (info.Language == "c" && static_cast<int64_t>(static_cast<int32_t>(r0)) == cpu.R[0]) {
        end.MainResult = static_cast<int32_t>(r0);
    }
    return end;
}
