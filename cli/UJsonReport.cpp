#include "UJsonReport.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "UDumpChunks.h"
#include "UJsonWriter.h"
#include "UWatchList.h"

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
                     const TJsonBreakpoint* breakpoint, const TProgramEnd* programEnd,
                     const TJsonWatchpoint* watchpoint) {
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
    if (watchpoint) {
        json.NewLine();
        json.Key("watchpoint");
        json.Value({{"location", watchpoint->Location},
                    {"address", watchpoint->Address},
                    {"size", watchpoint->Size},
                    {"old", watchpoint->Old},
                    {"new", watchpoint->New}});
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

namespace {

TJsonWriter::TValue ValueOf(const std::vector<uint8_t>& bytes) {
    if (bytes.size() <= 8) {
        uint64_t value = 0;
        for (size_t i = bytes.size(); i-- > 0;)
            value = value << 8 | bytes[i];
        return value;
    }
    std::string text;
    char hex[4];
    for (uint8_t byte : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}

std::string TextOf(const TJsonWriter::TValue& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

} // namespace

TJsonWatchpoint WatchpointReport(const TWatchpoint& watch, const std::string& location,
                                 const TDebugStop& stop, const TCCPUBase& cpu) {
    TJsonWatchpoint report;
    report.Location = location;
    if (watch.Kind != TWatchpoint::TKind::Memory) {
        report.New = stop.Value;
        return report;
    }
    report.Address = watch.Begin;
    report.Size = watch.End - watch.Begin;
    // The bytes now, and before: the same but for those the write changed (the stop's copy).
    std::vector<uint8_t> now(static_cast<size_t>(watch.End - watch.Begin));
    for (size_t i = 0; i < now.size(); ++i)
        now[i] = static_cast<uint8_t>(cpu.Memory.PeekByte(static_cast<int64_t>(watch.Begin + i)));
    std::vector<uint8_t> before = now;
    report.Read = stop.Kind == TDebugStop::TKind::WatchRead;
    if (stop.Kind == TDebugStop::TKind::WatchWrite)
        for (size_t i = 0; i < stop.Length; ++i)
            if (stop.Address + i >= watch.Begin && stop.Address + i < watch.End)
                before[static_cast<size_t>(stop.Address + i - watch.Begin)] = stop.Old[i];
    report.Old = ValueOf(before);
    report.New = ValueOf(now);
    return report;
}

std::string TJsonWatchpoint::Text() const {
    if (Old.is_null()) { // a port's word, in hex as the monitor and keyboard words are written
        char hex[24];
        std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(New.get<int64_t>()));
        return Location + " " + hex;
    }
    if (Read) return Location + " read " + TextOf(New);
    return Location + " " + TextOf(Old) + " -> " + TextOf(New);
}
