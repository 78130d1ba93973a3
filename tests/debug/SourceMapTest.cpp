#include "DebugFixture.h"
#include "ULocationResolver.h"

namespace {

struct TRow {
    const char* Name;
    const char* Program;
    const char* Location;
    std::vector<uint64_t> Addresses; // empty: an error containing Message, or a C place
    const char* Message;
    unsigned Line = 0;   // C rows: compiled addresses move with the code generator, so the row
    size_t Count = 0;    // names the line (0: a function's entry) and how many ranges it has
};

// Locations as the breakpoint list and the runner's --break take them. factorial.c at -O0:
// main at 304, line 10 (the for) in two ranges; at -O2 factorial is inlined and line 10 is
// split around the loop body.
TEST(SourceMap, ResolvesLocations) {
    const TRow rows[] = {
        {"line in two ranges", "factorial_O0", "factorial.c:10", {}, "", 10, 2},
        {"line at -O2", "factorial_O2", "factorial.c:10", {}, "", 10, 2},
        {"full path", "factorial_O0", ROZ_SOURCE_DIR "/examples/c/factorial.c:11", {}, "", 11, 1},
        {"function", "factorial_O0", "factorial", {}, "", 0, 1},
        {"assembler label of a function", "factorial_O0", "_main", {304}, ""},
        {"hex address", "factorial_O0", "0x130", {304}, ""},
        {"decimal address", "factorial_O0", "304", {304}, ""},
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
        if (row.Count != 0) {
            ASSERT_TRUE(found) << row.Name << ": " << error;
            ASSERT_EQ(found->Addresses.size(), row.Count) << row.Name;
            for (uint64_t address : found->Addresses)
                if (row.Line != 0)
                    EXPECT_EQ(program.Map.LineAt(address).Line, row.Line) << row.Name;
                else
                    EXPECT_EQ(program.Map.NameAt(address), row.Location) << row.Name;
        } else if (row.Addresses.empty()) {
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
    std::string error;
    const auto factorial = ResolveLocation("factorial", map, program.Image.size(), error);
    ASSERT_TRUE(factorial) << error;
    const uint64_t inside = factorial->Addresses.front() + 8;
    EXPECT_FALSE(map.LineAt(8).Valid()); // the start-up has no line
    EXPECT_EQ(map.NameAt(inside), "factorial+0x8");
    EXPECT_EQ(map.FunctionAt(inside)->Name, "factorial");
    EXPECT_EQ(map.PlaceText(map.LineAt(inside)), "factorial.c:5");
    const auto ranges = map.RangesOf({0, 10});
    ASSERT_EQ(ranges.size(), 2u);
    for (const auto& range : ranges) {
        EXPECT_LT(range.From, range.To);
        EXPECT_EQ(map.LineAt(range.From).Line, 10u);
        EXPECT_EQ(map.LineAt(range.To - 8).Line, 10u);
    }
    // Instruction starts walk the code by the instruction table: LDI takes 24 bytes.
    const std::vector<uint64_t> starts =
        map.InstructionStarts({304, 352}, program.Image.data(), program.Image.size());
    EXPECT_EQ(starts, (std::vector<uint64_t>{304, 312, 320, 328}));
}

} // namespace
