#include "UJsonReport.h"

#include "UDumpChunks.h"
#include "UJsonWriter.h"

#include <cinttypes>

namespace {
// The registers in the panel's order, each as sixteen upper-case hex digits.
TJsonWriter::TValue PanelRegisters(TCCPUBase& cpu) {
    TJsonWriter::TValue registers = TJsonWriter::TValue::object();
    for (int order = 0; order < TCCPUBase::PanelRegisterCount; ++order) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016" PRIX64, static_cast<uint64_t>(cpu.PanelRegister(order)));
        registers[TCCPUBase::PanelRegisterNames[order]] = hex;
    }
    return registers;
}
} // namespace

// The events, lines and dump groups can each run to a million and more entries: they are
// streamed from where they are kept, not copied into a tree first.
void WriteJsonReport(std::FILE* out, const char* endName, int status, uint64_t executed, TCCPUBase& cpu,
                     const TMoniterRecorder& monitor, const std::optional<std::pair<int64_t, int64_t>>& dump,
                     const TJsonBreakpoint* breakpoint, const TProgramEnd* programEnd) {
    TJsonWriter json(out);
    json.BeginObject();
    json.Key("end");
    json.String(endName);
    json.Key("status");
    json.Int(status);
    json.Key("instructions");
    json.UInt(executed);
    json.NewLine();
    json.Key("registers");
    json.Value(PanelRegisters(cpu));
    json.NewLine();

    json.Key("monitor");
    json.BeginObject();
    json.Key("events");
    json.BeginArray();
    for (uint64_t event : monitor.Events) {
        if (event == TMoniterRecorder::ClearEvent)
            json.String("clear");
        else
            json.UInt(event);
    }
    json.EndArray();
    json.Key("dropped_events");
    json.UInt(monitor.DroppedEvents);
    json.Key("lines");
    json.BeginArray();
    for (uint32_t line : monitor.Lines)
        json.UInt(line);
    json.EndArray();
    json.Key("dropped_lines");
    json.UInt(monitor.DroppedLines);
    json.EndObject();
    json.NewLine();

    json.Key("dump");
    if (!dump) {
        json.Null();
    } else {
        json.BeginObject();
        json.Key("start");
        json.Int(dump->first);
        json.Key("count");
        json.Int(dump->second);
        json.Key("groups");
        json.BeginArray();
        ForEachDumpGroup(cpu.Memory, dump->first, dump->second,
                         [&](const char* group) { json.String(std::string_view(group, 8)); });
        json.EndArray();
        json.EndObject();
    }
    if (breakpoint) {
        auto textOrNull = [](const std::string& text) {
            return text.empty() ? TJsonWriter::TValue() : TJsonWriter::TValue(text);
        };
        json.NewLine();
        json.Key("breakpoint");
        json.Value({{"address", breakpoint->Address},
                    {"location", breakpoint->Location},
                    {"function", textOrNull(breakpoint->Function)},
                    {"source", textOrNull(breakpoint->Source)}});
    }
    if (programEnd && programEnd->Kind == TProgramEnd::TKind::Assert) {
        json.NewLine();
        json.Key("assert");
        json.Value({{"expression", programEnd->Expression},
                    {"file", programEnd->File},
                    {"line", programEnd->Line},
                    {"function", programEnd->Function}});
    }
    if (programEnd && programEnd->MainResult) {
        json.NewLine();
        json.Key("main_result");
        json.Int(*programEnd->MainResult);
    }
    json.EndObject();
}

void WriteJsonRefusal(std::FILE* out, const std::string& reason) {
    TJsonWriter(out).Value({{"end", "refused"}, {"status", 2}, {"reason", reason}});
}
