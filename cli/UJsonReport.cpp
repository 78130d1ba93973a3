#include "UJsonReport.h"

#include "UDumpChunks.h"

#include <cinttypes>

void WriteJsonReport(std::FILE* out, const char* endName, int status, uint64_t executed, TCCPUBase& cpu,
                     const TMoniterRecorder& monitor,
                     const std::optional<std::pair<int64_t, int64_t>>& dump) {
    std::fprintf(out, "{\"end\": \"%s\", \"status\": %d, \"instructions\": %" PRIu64 ",\n \"registers\": {",
                 endName, status, executed);
    for (int order = 0; order < TCCPUBase::PanelRegisterCount; ++order)
        std::fprintf(out, "%s\"%s\": \"%016" PRIX64 "\"", order ? ", " : "",
                     TCCPUBase::PanelRegisterNames[order], static_cast<uint64_t>(cpu.PanelRegister(order)));
    std::fputs("},\n \"monitor\": {\"events\": [", out);
    bool first = true;
    for (uint64_t event : monitor.Events) {
        if (event == TMoniterRecorder::ClearEvent)
            std::fprintf(out, "%s\"clear\"", first ? "" : ", ");
        else
            std::fprintf(out, "%s%" PRIu64, first ? "" : ", ", event);
        first = false;
    }
    std::fprintf(out, "], \"dropped_events\": %" PRIu64 ", \"lines\": [", monitor.DroppedEvents);
    first = true;
    for (uint32_t line : monitor.Lines) {
        std::fprintf(out, "%s%" PRIu32, first ? "" : ", ", line);
        first = false;
    }
    std::fprintf(out, "], \"dropped_lines\": %" PRIu64 "},\n \"dump\": ", monitor.DroppedLines);
    if (!dump) {
        std::fputs("null}\n", out);
        return;
    }
    std::fprintf(out, "{\"start\": %" PRId64 ", \"count\": %" PRId64 ", \"groups\": [", dump->first,
                 dump->second);
    bool firstGroup = true;
    ForEachDumpGroup(cpu.Memory, dump->first, dump->second, [&](const char* group) {
        std::fprintf(out, "%s\"%.8s\"", firstGroup ? "" : ", ", group);
        firstGroup = false;
    });
    std::fputs("]}}\n", out);
}

void WriteJsonRefusal(std::FILE* out, const std::string& reason) {
    std::fputs("{\"end\": \"refused\", \"status\": 2, \"reason\": \"", out);
    for (const char ch : reason) {
        if (ch == '"' || ch == '\\')
            std::fprintf(out, "\\%c", ch);
        else if (static_cast<unsigned char>(ch) < 0x20)
            std::fprintf(out, "\\u%04x", ch);
        else
            std::fputc(ch, out);
    }
    std::fputs("\"}\n", out);
}
