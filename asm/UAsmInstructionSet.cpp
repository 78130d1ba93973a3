#include "UAsmInstructionSet.h"

#include <array>

namespace {

using E = TAsmInstructionSet;

constexpr size_t EntryCount = std::size(roz::Instructions) + std::size(roz::Aliases);

constexpr std::array<E::TEntry, EntryCount> Entries = [] {
    std::array<E::TEntry, EntryCount> entries{};
    size_t at = 0;
    for (const roz::TInstruction& row : roz::Instructions)
        entries[at++] = {row.Mnemonic, row.TopByte, row.Form, row.Size};
    for (const roz::TAlias& alias : roz::Aliases) {
        const roz::TInstruction& row = roz::InstructionOf(alias.Row);
        entries[at++] = {alias.Mnemonic, row.TopByte, alias.Form, row.Size};
    }
    return entries;
}();

} // namespace

const TAsmInstructionSet::TEntry* TAsmInstructionSet::Find(std::string_view upperName) {
    for (const TEntry& entry : Entries)
        if (upperName == entry.Name) return &entry;
    return nullptr;
}
