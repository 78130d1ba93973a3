#include "DebugFixture.h"
#include "ULocationResolver.h"

namespace {

struct TRow {
    const char* Name;
    const char* Program;
    const char* Location;
    std::vector<uint64_t> Addresses; // empty: an error containing Message
    const char* Message;
};

// Locations as the breakpoint list and the runner's --break take them. factorial.c at -O0:
// main at 304, factorial at 1460, line 10 (the for) in two ranges; at -O2 factorial is inlined
// and line 10 is split around the loop body.
TEST(SourceMap, ResolvesLocations) {
    const TRow rows[] = {
        {"line in two ranges", "factorial_O0", "factorial.c:10", {456, 896}, ""},
        {"line at -O2", "factorial_O2", "factorial.c:10", {488, 1076}, ""},
        {"full path", "factorial_O0", ROZ_SOURCE_DIR "/examples/c/factorial.c:11", {688}, ""},
        {"function", "factorial_O0", "factorial", {1460}, ""},
        {"assembler label of a function", "factorial_O0", "_main", {304}, ""},
        {"hex address", "factorial_O0", "0x130", {304}, ""},
        {"decimal address", "factorial_O0", "1460", {1460}, ""},
        {"no code at a line", "factorial_O0", "factorial.c:7", {}, "no code at line 7 of factorial.c"},
        {"unknown label", "factorial_O0", "nosuch", {}, "unknown label nosuch"},
        {"unknown file", "factorial_O0", "other.c:3", {}, "no source file other.c"},
        {"address outside", "factorial_O0", "0x99999", {}, "is not in the image"},
        {"bad line", "factorial_O0", "factorial.c:x", {}, "bad line number"},
        {"assembly label", "factorial_s", "recurse", {388}, ""},
        {"comment line moves on", "factorial_s", "factorial.s:27", {316}, ""},
        {"past the end", "factorial_s", "factorial.s:99", {}, "no code at line 99 of factorial.s"},
    };
    for (const TRow& row : rows) {
        dtest::TProgram program;
        if (!program.Load(row.Program)) continue; // the C fixtures need the compiler
        std::string error;
        const auto found = ResolveLocation(row.Location, program.Map, program.Image.size(), error);
        if (row.Addresses.empty()) {
            EXPECT_FALSE(found) << row.Name;
            EXPECT_NE(error.find(row.Message), std::string::npos) << row.Name << ": " << error;
        } else {
            ASSERT_TRUE(found) << row.Name << ": " << error;
            EXPECT_EQ(found->Addresses, row.Addresses) << row.Name;
        }
    }
}

TEST(SourceMap, AnswersAddressQuestions) {
    dtest::TProgram program;
    ROZ_LOAD_OR_SKIP(program, "factorial_O0");
    const TSourceMap& map = program.Map;
    EXPECT_EQ(map.LineAt(900).Line, 10u);
    EXPECT_FALSE(map.LineAt(8).Valid()); // the start-up has no line
    EXPECT_EQ(map.NameAt(1468), "factorial+0x8");
    EXPECT_EQ(map.FunctionAt(1468)->Name, "factorial");
    EXPECT_EQ(map.PlaceText(map.LineAt(1468)), "factorial.c:5");
    EXPECT_EQ(map.RangesOf({0, 10}), (std::vector<TSourceMap::TRange>{{456, 688}, {896, 1016}}));
    // Instruction starts walk the code by the instruction table: LDI takes 24 bytes.
    const std::vector<uint64_t> starts =
        map.InstructionStarts({304, 352}, program.Image.data(), program.Image.size());
    EXPECT_EQ(starts, (std::vector<uint64_t>{304, 312, 320, 328}));
}

} // namespace
