#include "UWatchList.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "USourceMap.h"
#include "UWatchExpression.h"
#include "Uports.h"

std::string TWatchpoint::Text() const {
    switch (Kind) {
    case TKind::PortIn:
        return "port " + std::to_string(TPorts::KeyboardPort) + " input";
    case TKind::PortOut:
        return "port " + std::to_string(TPorts::MoniterPort) + " output";
    case TKind::Memory:
        break;
    }
    char text[64];
    std::snprintf(text, sizeof text, "[0x%llx, 0x%llx)", static_cast<unsigned long long>(Begin),
                  static_cast<unsigned long long>(End));
    return (Expression.empty() ? "" : Expression + " ") + text +
           (Write && Read ? " write/read"
            : Write       ? " write"
                          : " read");
}

std::optional<TWatchRequest> TWatchList::Parse(std::string_view text, const TSourceMap& map,
                                               const TCCPUBase* cpu, std::string& error) {
    std::vector<std::string> words;
    std::istringstream split{std::string(text)};
    for (std::string word; split >> word;)
        words.push_back(word);
    const auto lower = [](std::string word) {
        for (char& ch : word)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return word;
    };
    TWatchRequest request;
    if (words.empty()) {
        error = "no watch given (ADDRESS [SIZE] [w|r|rw], a C expression such as moves, a[3] or p->next, "
                "or in / out)";
        return std::nullopt;
    }
    if (words.size() == 1 && (lower(words[0]) == "in" || lower(words[0]) == "out")) {
        request.Kind = lower(words[0]) == "in" ? TWatchpoint::TKind::PortIn : TWatchpoint::TKind::PortOut;
        return request;
    }
    std::string access = "w";
    if (words.size() > 1) {
        const std::string last = lower(words.back());
        if (last == "w" || last == "r" || last == "rw" || last == "wr") {
            access = last;
            words.pop_back();
        }
    }
    request.Write = access.find('w') != std::string::npos;
    request.Read = access.find('r') != std::string::npos;
    const auto number = [](const std::string& word, uint64_t& value) {
        try {
            size_t used = 0;
            value = std::stoull(word, &used, 0);
            return used == word.size() && word[0] != '-';
        } catch (const std::exception&) {
            return false;
        }
    };
    if (std::isdigit(static_cast<unsigned char>(words[0][0]))) {
        if (words.size() > 2 || !number(words[0], request.Begin) ||
            (words.size() == 2 && (!number(words[1], request.Size) || request.Size == 0))) {
            error = "'" + std::string(text) + "' (ADDRESS [SIZE] [w|r|rw], a C expression, or in / out)";
            return std::nullopt;
        }
        return request;
    }
    std::string expression;
    for (const std::string& word : words)
        expression += (expression.empty() ? "" : " ") + word;
    if (map.Info().Functions.empty() && map.Info().Globals.empty()) {
        error =
            "'" + expression + "' is not an address, and the program has no C debug information for names";
        return std::nullopt;
    }
    const std::optional<TWatchObject> object = ResolveWatchExpression(expression, map, cpu, error);
    if (!object) return std::nullopt;
    request.Begin = object->Address;
    request.Size = object->Size;
    request.Expression = expression;
    return request;
}

int TWatchList::Add(const TWatchRequest& request) {
    if (request.Kind != TWatchpoint::TKind::Memory) return AddPort(request.Kind);
    const int id = AddMemory(request.Begin, request.Size, request.Write, request.Read);
    FItems.back().Expression = request.Expression;
    return id;
}

int TWatchList::Add(std::string_view text, const TSourceMap& map, const TCCPUBase* cpu, std::string& error) {
    const std::optional<TWatchRequest> request = Parse(text, map, cpu, error);
    return request ? Add(*request) : 0;
}

void TWatchList::SetImage(const TSourceMap& map) {
    std::erase_if(FItems, [&](TWatchpoint& item) {
        if (item.Expression.empty()) return false;
        std::string error;
        const std::optional<TWatchObject> object =
            ResolveWatchExpression(item.Expression, map, nullptr, error);
        if (!object) return true;
        item.Begin = object->Address;
        item.End = object->Address + object->Size;
        return false;
    });
    ResetHits();
}

int TWatchList::AddMemory(uint64_t begin, uint64_t size, bool write, bool read) {
    TWatchpoint watch;
    watch.Id = FNextId++;
    watch.Begin = begin;
    watch.End = begin + std::max<uint64_t>(size, 1);
    watch.Write = write || !read;
    watch.Read = read;
    FItems.push_back(std::move(watch));
    return FItems.back().Id;
}

int TWatchList::AddPort(TWatchpoint::TKind kind) {
    TWatchpoint watch;
    watch.Id = FNextId++;
    watch.Kind = kind;
    FItems.push_back(std::move(watch));
    return FItems.back().Id;
}

bool TWatchList::Remove(int id) {
    return std::erase_if(FItems, [&](const TWatchpoint& item) { return item.Id == id; }) != 0;
}

const TWatchpoint* TWatchList::Find(int id) const {
    for (const TWatchpoint& item : FItems)
        if (item.Id == id) return &item;
    return nullptr;
}

TWatchpoint* TWatchList::Find(int id) {
    for (TWatchpoint& item : FItems)
        if (item.Id == id) return &item;
    return nullptr;
}

void TWatchList::ResetHits() {
    for (TWatchpoint& item : FItems)
        item.Hits = 0;
}

void TWatchList::AddTo(TDebugChecks& checks) {
    FCheckIds.clear();
    for (const TWatchpoint& item : FItems) {
        if (!item.Enabled) continue;
        switch (item.Kind) {
        case TWatchpoint::TKind::Memory:
            checks.Watches.push_back({item.Begin, item.End, item.Write, item.Read});
            FCheckIds.push_back(item.Id);
            break;
        case TWatchpoint::TKind::PortIn:
            checks.WatchPortIn = true;
            break;
        case TWatchpoint::TKind::PortOut:
            checks.WatchPortOut = true;
            break;
        }
    }
}

int TWatchList::Decide(const TCCPUBase& cpu, const TDebugStop& stop, const TSourceMap& map) {
    std::vector<int> ids;
    Matching(cpu, stop, map, ids);
    int result = 0;
    for (int id : ids)
        if (Find(id)->Hit(cpu) && result == 0) result = id;
    return result;
}

void TWatchList::Matching(const TCCPUBase& cpu, const TDebugStop& stop, const TSourceMap& map,
                          std::vector<int>& ids) const {
    // The start-up's copy of .data and clearing of .bss change C variables before main runs:
    // no watch on a C object stops there.
    const bool startUp = !map.FunctionAt(static_cast<uint64_t>(stop.Instruction));
    const auto hit = [&](const TWatchpoint& item) {
        if (item.Matches(cpu)) ids.push_back(item.Id);
    };
    for (const TWatchpoint& item : FItems) {
        switch (stop.Kind) {
        case TDebugStop::TKind::PortIn:
            if (item.Kind == TWatchpoint::TKind::PortIn) hit(item);
            break;
        case TDebugStop::TKind::PortOut:
            if (item.Kind == TWatchpoint::TKind::PortOut) hit(item);
            break;
        case TDebugStop::TKind::WatchWrite:
        case TDebugStop::TKind::WatchRead: {
            const size_t index = static_cast<size_t>(stop.Watch);
            if (stop.Watch >= 0 && index < FCheckIds.size() && FCheckIds[index] == item.Id &&
                !(startUp && !item.Expression.empty()))
                hit(item);
            break;
        }
        case TDebugStop::TKind::None:
        case TDebugStop::TKind::Breakpoint:
        case TDebugStop::TKind::Returned:
            break;
        }
    }
}
