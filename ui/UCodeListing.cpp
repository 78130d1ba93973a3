#include "UCodeListing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "UDisassembler.h"
#include "UInstructionSet.h"

namespace {

// A symbol that names a place in the code: not a constant.
bool IsPlace(const TDebugInfo::TSymbol& symbol) {
    return symbol.Kind != "constant";
}

std::string ExpandTabs(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\t')
            out.append(8 - out.size() % 8, ' ');
        else if (c != '\r')
            out += c;
    }
    return out;
}

} // namespace

void TCodeListing::SetDebugInfo(std::optional<TDebugInfo> info,
                                std::vector<std::vector<std::string>> sources) {
    FInfo = std::move(info);
    FSources = std::move(sources);
    FSources.resize(FInfo ? FInfo->Sources.size() : 0);
    FEntries.clear();
    BuildSource();
    Rebuild();
}

bool TCodeListing::SetImage(const uint8_t* data, size_t size) {
    if (size == FImage.size() && (size == 0 || std::memcmp(data, FImage.data(), size) == 0)) return false;
    FImage.assign(data, data + size);
    FEntries.erase(std::remove_if(FEntries.begin(), FEntries.end(), [size](uint64_t a) { return a >= size; }),
                   FEntries.end());
    Rebuild();
    return true;
}

void TCodeListing::AddEntry(uint64_t address) {
    if (address + 4 > FImage.size()) return;
    const int64_t row = RowOfAddress(TMode::Disassembly, address);
    if (row >= 0 && FDisassembly[static_cast<size_t>(row)].Address == address) return;
    FEntries.insert(std::lower_bound(FEntries.begin(), FEntries.end(), address), address);
    Rebuild();
}

const std::vector<TCodeListing::TRow>& TCodeListing::Rows(TMode mode) const {
    switch (mode) {
    case TMode::Disassembly:
        return FDisassembly;
    case TMode::Source:
        return FSource;
    case TMode::Mixed:
        return FMixed;
    }
    return FDisassembly;
}

uint32_t TCodeListing::WordAt(uint64_t address) const {
    uint32_t word = 0;
    if (address + 4 <= FImage.size()) std::memcpy(&word, FImage.data() + address, 4);
    return word;
}

// The sweep: restart points are the symbols, line-table rows and entries; an instruction
// that would run over the next restart point is cut short there.
void TCodeListing::Rebuild() {
    FDisassembly.clear();
    FMixed.clear();
    const uint64_t size = FImage.size();
    std::vector<uint64_t> restarts = FEntries;
    std::multimap<uint64_t, uint32_t> labels;              // address -> symbol index, in definition order
    std::vector<std::pair<uint64_t, uint32_t>> lineStarts; // address -> line-table row
    if (FInfo) {
        for (uint32_t i = 0; i < FInfo->Symbols.size(); ++i)
            if (IsPlace(FInfo->Symbols[i]) && FInfo->Symbols[i].Address < size) {
                labels.emplace(FInfo->Symbols[i].Address, i);
                restarts.push_back(FInfo->Symbols[i].Address);
            }
        for (uint32_t i = 0; i < FInfo->Lines.size(); ++i)
            if (FInfo->Lines[i].From < size) {
                lineStarts.emplace_back(FInfo->Lines[i].From, i);
                restarts.push_back(FInfo->Lines[i].From);
            }
    }
    std::sort(restarts.begin(), restarts.end());
    restarts.erase(std::unique(restarts.begin(), restarts.end()), restarts.end());
    std::sort(lineStarts.begin(), lineStarts.end());

    FDisassembly.reserve(size / 8 + labels.size() + 1);
    size_t nextRestart = 0, nextLine = 0;
    auto label = labels.begin();
    std::pair<uint32_t, uint32_t> lastPlace{~0u, ~0u};
    uint64_t address = 0;
    while (address + 4 <= size) {
        // Labels and lines that fall inside the previous row (not on a restart) are skipped.
        while (label != labels.end() && label->first < address)
            ++label;
        for (; label != labels.end() && label->first == address; ++label) {
            const TRow row{address, label->second, 0, TKind::Label};
            FDisassembly.push_back(row);
            FMixed.push_back(row);
        }
        while (nextLine < lineStarts.size() && lineStarts[nextLine].first < address)
            ++nextLine;
        if (nextLine < lineStarts.size() && lineStarts[nextLine].first == address) {
            const TDebugInfo::TLine& line = FInfo->Lines[lineStarts[nextLine].second];
            if (std::make_pair(line.File, line.Line) != lastPlace)
                FMixed.push_back({address, lineStarts[nextLine].second, static_cast<uint16_t>(line.File),
                                  TKind::SourceLine});
            lastPlace = {line.File, line.Line};
        }
        while (nextRestart < restarts.size() && restarts[nextRestart] <= address)
            ++nextRestart;
        const uint64_t limit = std::min(size, nextRestart < restarts.size() ? restarts[nextRestart] : size);
        const TRow row{address, 0, 0, TKind::Instruction};
        FDisassembly.push_back(row);
        FMixed.push_back(row);
        address +=
            std::clamp<uint64_t>(roz::SizeOfWord(WordAt(address)), 4, std::max<uint64_t>(4, limit - address));
    }
}

void TCodeListing::BuildSource() {
    FSource.clear();
    FFileStart.clear();
    FSourceColumns = 0;
    if (!FInfo) return;
    // The first address of each line: the lowest From of its rows.
    std::map<std::pair<uint32_t, uint32_t>, uint64_t> firstAddress;
    for (const TDebugInfo::TLine& line : FInfo->Lines) {
        auto [it, added] = firstAddress.emplace(std::make_pair(line.File, line.Line), line.From);
        if (!added) it->second = std::min(it->second, line.From);
    }
    for (uint32_t file = 0; file < FSources.size(); ++file) {
        FFileStart.push_back(static_cast<int64_t>(FSource.size()));
        FSource.push_back({NoAddress, 0, static_cast<uint16_t>(file), TKind::FileHeader});
        for (uint32_t line = 1; line <= FSources[file].size(); ++line) {
            const auto found = firstAddress.find({file, line});
            FSource.push_back({found == firstAddress.end() ? NoAddress : found->second, line,
                               static_cast<uint16_t>(file), TKind::SourceLine});
            FSourceColumns =
                std::max(FSourceColumns, static_cast<int>(ExpandTabs(FSources[file][line - 1]).size()) + 8);
        }
    }
}

int64_t TCodeListing::RowOfAddress(TMode mode, uint64_t address) const {
    if (mode == TMode::Source) {
        if (!FInfo) return -1;
        const TDebugInfo::TLine* line = FInfo->LineAt(address);
        if (!line || line->File >= FFileStart.size() || line->Line > FSources[line->File].size()) return -1;
        return FFileStart[line->File] + line->Line;
    }
    const std::vector<TRow>& rows = Rows(mode);
    // The last row at or below address is the instruction there (labels and source lines
    // come before the instruction of their address).
    auto it = std::upper_bound(rows.begin(), rows.end(), address,
                               [](uint64_t a, const TRow& row) { return a < row.Address; });
    if (it == rows.begin()) return -1;
    --it;
    if (it->Kind != TKind::Instruction) return -1;
    const uint64_t next = std::next(it) == rows.end() ? FImage.size() : std::next(it)->Address;
    if (address >= std::max(next, it->Address + 4)) return -1;
    return it - rows.begin();
}

uint64_t TCodeListing::AddressOfRow(TMode mode, int64_t row) const {
    if (row < 0 || row >= RowCount(mode)) return NoAddress;
    return Row(mode, row).Address;
}

std::optional<std::pair<uint32_t, uint32_t>> TCodeListing::SourceOfRow(TMode mode, int64_t row) const {
    if (!FInfo || row < 0 || row >= RowCount(mode)) return std::nullopt;
    const TRow& r = Row(mode, row);
    if (mode == TMode::Source)
        return r.Kind == TKind::SourceLine ? std::optional(std::make_pair(uint32_t{r.File}, r.Index))
                                           : std::nullopt;
    if (r.Address == NoAddress) return std::nullopt;
    if (const TDebugInfo::TLine* line = FInfo->LineAt(r.Address))
        return std::make_pair(line->File, line->Line);
    return std::nullopt;
}

std::string TCodeListing::SymbolAt(uint64_t address) const {
    if (!FInfo) return {};
    for (const TDebugInfo::TSymbol& symbol : FInfo->Symbols)
        if (IsPlace(symbol) && symbol.Address == address) return symbol.Name;
    return {};
}

std::string TCodeListing::SourceText(uint32_t file, uint32_t line) const {
    if (file >= FSources.size() || line == 0 || line > FSources[file].size()) return {};
    return ExpandTabs(FSources[file][line - 1]);
}

std::string TCodeListing::Text(TMode mode, int64_t index) const {
    if (index < 0 || index >= RowCount(mode)) return {};
    const TRow& row = Row(mode, index);
    char head[64];
    switch (row.Kind) {
    case TKind::Label:
        return FInfo->Symbols[row.Index].Name + ":";
    case TKind::FileHeader: {
        const std::string& path = FInfo->Sources[row.File];
        return "── " + path + (FSources[row.File].empty() ? "  (源文件无法读取 source not readable)" : "") +
               " ──";
    }
    case TKind::SourceLine: {
        if (mode == TMode::Source) {
            std::snprintf(head, sizeof head, "%5u  ", row.Index);
            return head + SourceText(row.File, row.Index);
        }
        const TDebugInfo::TLine& line = FInfo->Lines[row.Index];
        std::snprintf(head, sizeof head, "%5u  ", line.Line);
        return head + SourceText(line.File, line.Line);
    }
    case TKind::Instruction:
        break;
    }
    const uint32_t word = WordAt(row.Address);
    const uint64_t next = index + 1 < RowCount(mode) ? Row(mode, index + 1).Address : FImage.size();
    std::optional<uint64_t> cell;
    if (roz::HasInlineCell(word >> 24) && row.Address + roz::InlineCellOffset + 8 <= FImage.size()) {
        uint64_t value;
        std::memcpy(&value, FImage.data() + row.Address + roz::InlineCellOffset, 8);
        cell = value;
    }
    std::snprintf(head, sizeof head, "%s%08llX  %08X  ", mode == TMode::Mixed ? "       " : "",
                  static_cast<unsigned long long>(row.Address), word);
    std::string text = head + Disassemble(word, cell);
    // The place an LDA loads or a CALLI calls: the cell holds it less 4.
    if (cell) {
        const std::string name = SymbolAt(*cell + 4);
        if (!name.empty()) text += "    ; " + name;
    }
    if (next > row.Address && next - row.Address < roz::SizeOfWord(word) && next < FImage.size())
        text += "    ; (截断 cut short)";
    return text;
}

int TCodeListing::MaxColumns(TMode mode) const {
    if (mode == TMode::Source) return FSourceColumns;
    int widest = 80;
    if (mode == TMode::Mixed) widest = std::max(widest, FSourceColumns);
    return widest;
}
