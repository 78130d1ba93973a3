#include "UBreakpointList.h"

#include <algorithm>
#include <cstdio>

bool TStopRule::SetCondition(std::string_view text) {
    Parsed.reset();
    ConditionError.clear();
    Condition = std::string(text);
    if (Condition.find_first_not_of(" \t\r\n") == std::string::npos) {
        Condition.clear();
        return true;
    }
    TDebugExpression::TError error;
    std::unique_ptr<TDebugExpression> parsed = TDebugExpression::Parse(Condition, error);
    if (!parsed) {
        ConditionError = "column " + std::to_string(error.Column) + ": " + error.Message;
        return false;
    }
    Parsed = std::move(parsed);
    return true;
}

bool TStopRule::Matches(const TCCPUBase& cpu) const {
    return Enabled && !(Parsed && Parsed->Evaluate(cpu) == 0);
}

bool TStopRule::Hit(const TCCPUBase& cpu) {
    if (!Matches(cpu)) return false;
    ++Hits;
    return Hits > Ignore || !ConditionError.empty();
}

std::string TStopRule::Summary() const {
    std::string text = "hits " + std::to_string(Hits);
    if (Ignore) text += "; ignore " + std::to_string(Ignore);
    if (!ConditionError.empty())
        text += "; condition error: " + ConditionError;
    else if (!Condition.empty())
        text += "; if " + Condition;
    return text;
}

std::optional<int> TBreakpointList::Add(std::string_view location, const TSourceMap& map,
                                        uint64_t imageLength, std::string& error) {
    std::optional<TResolvedLocation> where = ResolveLocation(location, map, imageLength, error);
    if (!where) return std::nullopt;
    // A second breakpoint on the same code would stop once but count twice: keep the first.
    for (const TBreakpoint& item : FItems)
        if (item.Where.Addresses == where->Addresses) return item.Id;
    TBreakpoint breakpoint;
    breakpoint.Id = FNextId++;
    breakpoint.Where = std::move(*where);
    breakpoint.LocationText = std::string(location);
    FItems.push_back(std::move(breakpoint));
    return FItems.back().Id;
}

int TBreakpointList::AddAddress(uint64_t address, const TSourceMap& map) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(address));
    std::string error;
    return *Add(text, map, 0, error);
}

bool TBreakpointList::Toggle(uint64_t address, const TSourceMap& map) {
    const auto before = FItems.size();
    std::erase_if(FItems, [&](const TBreakpoint& item) {
        const std::vector<uint64_t>& at = item.Where.Addresses;
        return std::find(at.begin(), at.end(), address) != at.end();
    });
    if (FItems.size() != before) return false;
    AddAddress(address, map);
    return true;
}

bool TBreakpointList::Remove(int id) {
    return std::erase_if(FItems, [&](const TBreakpoint& item) { return item.Id == id; }) != 0;
}

const TBreakpoint* TBreakpointList::Find(int id) const {
    for (const TBreakpoint& item : FItems)
        if (item.Id == id) return &item;
    return nullptr;
}

TBreakpoint* TBreakpointList::Find(int id) {
    for (TBreakpoint& item : FItems)
        if (item.Id == id) return &item;
    return nullptr;
}

const TBreakpoint* TBreakpointList::FindAt(uint64_t address) const {
    for (const TBreakpoint& item : FItems)
        for (uint64_t at : item.Where.Addresses)
            if (at == address) return &item;
    return nullptr;
}

void TBreakpointList::ResetHits() {
    for (TBreakpoint& item : FItems)
        item.Hits = 0;
}

void TBreakpointList::AddTo(TDebugChecks& checks) const {
    for (const TBreakpoint& item : FItems)
        if (item.Enabled)
            checks.Breakpoints.insert(checks.Breakpoints.end(), item.Where.Addresses.begin(),
                                      item.Where.Addresses.end());
}

int TBreakpointList::Decide(const TCCPUBase& cpu, uint64_t address) {
    std::vector<int> ids;
    Matching(cpu, address, ids);
    int stop = 0;
    for (int id : ids)
        if (Find(id)->Hit(cpu) && stop == 0) stop = id;
    return stop;
}

void TBreakpointList::Matching(const TCCPUBase& cpu, uint64_t address, std::vector<int>& ids) const {
    for (const TBreakpoint& item : FItems) {
        const std::vector<uint64_t>& at = item.Where.Addresses;
        if (std::find(at.begin(), at.end(), address) != at.end() && item.Matches(cpu)) ids.push_back(item.Id);
    }
}
