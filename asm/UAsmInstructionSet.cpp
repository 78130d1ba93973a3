#include "UAsmInstructionSet.h"

#include <cctype>

namespace {

using E = TAsmInstructionSet;

const E::TEntry Entries[] = {
    {"NOP", 0x00, E::None},   {"MOV", 0x01, E::BC},      {"MCOPY", 0x02, E::MemAMemC},
    {"LOAD", 0x03, E::AMemC}, {"STORE", 0x04, E::MemBC}, {"RDCTL", 0x05, E::BCtl},
    {"WRCTL", 0x06, E::CtlC}, {"ADD", 0x08, E::ABC},     {"SUB", 0x09, E::ABC},
    {"MUL", 0x0A, E::ABC},    {"DIV", 0x0B, E::ABC},     {"ONES", 0x0C, E::C},
    {"CLR", 0x0D, E::C},      {"INC", 0x0E, E::BC},      {"DEC", 0x0F, E::BC},
    {"CMP", 0x10, E::BC},     {"JMP", 0x11, E::C},       {"JE", 0x12, E::C},
    {"JNE", 0x13, E::C},      {"JLE", 0x14, E::C},       {"JG", 0x15, E::C},
    {"AND", 0x20, E::ABC},    {"OR", 0x21, E::ABC},      {"XOR", 0x22, E::ABC},
    {"LNOT", 0x23, E::BC},    {"CALL", 0x30, E::C},      {"RET", 0x31, E::None},
    {"INT", 0x32, E::C},      {"IRET", 0x33, E::None},   {"CALLI", 0x34, E::Calli},
    {"SHL", 0x42, E::ABC},    {"SAR", 0x43, E::ABC},     {"IN", 0x50, E::CB},
    {"OUT", 0x51, E::BC},     {"BLKCOPY", 0x52, E::ABC}, {"PUSH", 0x60, E::C},
    {"POP", 0x61, E::C},      {"LDI", 0x81, E::Ldi},     {"LDA", 0x81, E::Lda},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

const char* const TAsmInstructionSet::ControlNames[11] = {
    "DataOffset", "DataSegment", "IPOffset",         "IPOffsetBegin", "IPSegment", "IPSegmentBegin",
    "PSW",        "SP",          "StackOffsetBegin", "StackSegment",  "Version"};

const TAsmInstructionSet::TEntry* TAsmInstructionSet::Find(std::string_view upperName) {
    for (const TEntry& entry : Entries)
        if (upperName == entry.Name) return &entry;
    return nullptr;
}

int TAsmInstructionSet::Size(const TEntry& entry) {
    if (entry.Form == Ldi || entry.Form == Lda || entry.Form == Calli) return 24;
    return (entry.TopByte >> 4) == 5 ? 4 : 8;
}

int TAsmInstructionSet::ControlIndex(std::string_view name) {
    for (int i = 0; i < 11; ++i)
        if (EqualNoCase(name, ControlNames[i])) return i;
    return -1;
}
