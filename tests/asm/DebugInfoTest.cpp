// Debug information files: random contents survive writing and reading unchanged; a file is
// refused for an image that is not its own, for a newer version and for a broken line table;
// an assembled source's line table covers exactly its instructions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <unistd.h>

#include "UAsmDebugInfo.h"
#include "UAssembler.h"
#include "UDebugInfo.h"
#include "UInstructionSet.h"

namespace {

namespace fs = std::filesystem;

std::string RandomText(std::mt19937_64& random) {
    static const std::vector<std::string> pieces = {"main", "i",          "\"q\"", "a\\b", "\n",
                                                    "函数", "struct s *", " ",     "é"};
    std::string text;
    for (int n = random() % 4; n > 0; --n)
        text += pieces[random() % pieces.size()];
    return text;
}

// Values at the edges of their fields: 0, small, and the largest.
uint64_t RandomNumber(std::mt19937_64& random) {
    switch (random() % 4) {
    case 0:
        return 0;
    case 1:
        return random() % 100;
    case 2:
        return UINT64_MAX - random() % 3;
    default:
        return random();
    }
}

TDebugInfo::TVariable RandomVariable(std::mt19937_64& random, uint32_t files) {
    static const char* const kinds[] = {"frame", "register", "address", "value"};
    TDebugInfo::TVariable variable{RandomText(random),
                                   random() % 2 ? "local" : "parameter",
                                   {RandomText(random), "signed", RandomNumber(random)},
                                   static_cast<uint32_t>(random() % files),
                                   static_cast<uint32_t>(random()),
                                   {}};
    for (int n = random() % 3; n > 0; --n) {
        const uint64_t from = random() % 2 ? 0 : RandomNumber(random) / 2;
        variable.Locations.push_back({from, from ? from + 1 + random() % 50 : 0, kinds[random() % 4],
                                      static_cast<int64_t>(RandomNumber(random))});
    }
    return variable;
}

TDebugInfo RandomInfo(std::mt19937_64& random) {
    TDebugInfo info;
    info.Producer = RandomText(random);
    info.Language = random() % 2 ? "c" : "assembly";
    info.Options = RandomText(random);
    info.ImageName = RandomText(random);
    info.ImageLength = RandomNumber(random);
    info.ImageHash = RandomNumber(random);
    info.MemoryNeeded = RandomNumber(random);
    info.StackBegin = RandomNumber(random);
    info.StackLimit = RandomNumber(random);
    const uint32_t files = 1 + random() % 3;
    for (uint32_t i = 0; i < files; ++i)
        info.Sources.push_back(RandomText(random) + std::to_string(i));
    uint64_t at = random() % 8;
    for (int n = random() % 20; n > 0; --n) {
        const uint64_t to = at + 4 + random() % 40;
        info.Lines.push_back({at, to, static_cast<uint32_t>(random() % files),
                              static_cast<uint32_t>(random()), static_cast<uint32_t>(random() % 80)});
        at = to + (random() % 2) * 8;
    }
    for (int n = random() % 5; n > 0; --n)
        info.Symbols.push_back({RandomText(random), random() % 2 ? RandomText(random) : "", "label",
                                RandomNumber(random), RandomNumber(random)});
    for (int n = random() % 3; n > 0; --n) {
        TDebugInfo::TFunction function{RandomText(random),
                                       RandomText(random),
                                       RandomNumber(random),
                                       RandomNumber(random),
                                       static_cast<uint32_t>(random() % files),
                                       static_cast<uint32_t>(random() % 1000),
                                       {},
                                       {}};
        function.Frame.Size = static_cast<int64_t>(random() % 4096);
        if (random() % 2) { // the optional frame facts, any number of each
            function.Frame.Facts = true;
            for (int k = random() % 4; k > 0; --k)
                function.Frame.Saved.push_back(
                    {static_cast<int>(random() % 16), static_cast<int64_t>(RandomNumber(random))});
            function.Frame.SavedFrom = RandomNumber(random);
            for (int k = random() % 3; k > 0; --k)
                function.Frame.PointerValid.emplace_back(RandomNumber(random), RandomNumber(random));
        }
        for (int k = random() % 4; k > 0; --k)
            function.Variables.push_back(RandomVariable(random, files));
        info.Functions.push_back(std::move(function));
    }
    for (int n = random() % 3; n > 0; --n)
        info.Globals.push_back(RandomVariable(random, files));
    for (const char* reason : {"abort", "assert", "stack-overflow"}) // any subset, in order
        if (random() % 2) info.Ends.push_back({reason, RandomNumber(random)});
    return info;
}

TEST(DebugInfo, RandomContentsRoundTrip) {
    std::mt19937_64 random(20261208);
    for (int round = 0; round < 1000; ++round) {
        const TDebugInfo info = RandomInfo(random);
        std::string error;
        const std::optional<TDebugInfo> back = TDebugInfo::Parse(info.Text(), error);
        ASSERT_TRUE(back) << "round " << round << ": " << error << "\n" << info.Text();
        ASSERT_TRUE(*back == info) << "round " << round << "\n"
                                   << info.Text() << "\nread back as\n"
                                   << back->Text();
    }
}

TEST(DebugInfo, HashIsFnv1a64) {
    // The published test vectors of FNV-1a 64.
    EXPECT_EQ(TDebugInfo::Hash(nullptr, 0), 0xcbf29ce484222325ULL);
    EXPECT_EQ(TDebugInfo::Hash(reinterpret_cast<const uint8_t*>("a"), 1), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(TDebugInfo::Hash(reinterpret_cast<const uint8_t*>("foobar"), 6), 0x85944171f73967e8ULL);
}

TEST(DebugInfo, LoadRefusesAnotherImage) {
    const fs::path dir = fs::temp_directory_path() / ("roz-dbg-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string dbg = (dir / "p.dbg").string(), bin = (dir / "p.bin").string();
    std::vector<uint8_t> image = {1, 2, 3, 4, 5, 6, 7, 8};
    TDebugInfo info;
    info.Producer = "roziduv2-asm";
    info.Sources = {"p.s"};
    info.SetImage(bin, image);
    ASSERT_EQ(info.Write(dbg), "");

    std::string error;
    const auto same = TDebugInfo::Load(dbg, image, bin, error);
    ASSERT_TRUE(same) << error;
    EXPECT_TRUE(*same == info);
    EXPECT_EQ(same->ImageName, "p.bin");

    const std::vector<std::vector<uint8_t>> others = {
        {1, 2, 3, 4, 5, 6, 7, 9}, {1, 2, 3, 4, 5, 6, 7, 8, 0}, {}};
    for (const std::vector<uint8_t>& other : others) {
        error.clear();
        EXPECT_FALSE(TDebugInfo::Load(dbg, other, bin, error));
        EXPECT_NE(error.find(dbg + " does not belong to " + bin), std::string::npos) << error;
    }
    error.clear();
    EXPECT_FALSE(TDebugInfo::Load((dir / "none.dbg").string(), image, bin, error));
    EXPECT_NE(error.find("none.dbg: cannot be read"), std::string::npos) << error;
    fs::remove_all(dir);
}

TEST(DebugInfo, ParseRefusesWhatItCannotRead) {
    TDebugInfo info;
    info.Sources = {"a.s"};
    info.Lines = {{0, 8, 0, 1, 1}, {8, 16, 0, 2, 1}};
    TDebugInfo::TFunction function;
    function.Name = "f";
    function.Frame.Facts = true;
    function.Frame.Saved = {{5, 48}};
    info.Functions = {function};
    const std::string good = info.Text();
    struct TCase {
        std::string From, To, Message;
    };
    const TCase cases[] = {
        {"\"version\": 1", "\"version\": 2", "version 2"},
        {"roziduv2-dbg", "other", "not a debug information file"},
        {"[8, 16, 0, 2, 1]", "[4, 16, 0, 2, 1]", "out of order"},
        {"[8, 16, 0, 2, 1]", "[8, 16, 1, 2, 1]", "names no file"},
        {"\"fnv1a64\": \"", "\"fnv1a64\": \"x", "fnv1a64"},
        {"\"sources\"", "\"source\"", "sources"},
        {"{", "[", "not"},
        {"\"pointer\": 15", "\"pointer\": 99", "frame pointer R99"},
        {"\"register\": 5", "\"register\": 16", "saved register R16"},
    };
    for (const TCase& row : cases) {
        std::string text = good;
        const size_t at = text.find(row.From);
        ASSERT_NE(at, std::string::npos) << row.From;
        text.replace(at, row.From.size(), row.To);
        std::string error;
        EXPECT_FALSE(TDebugInfo::Parse(text, error)) << row.To;
        EXPECT_NE(error.find(row.Message), std::string::npos) << row.To << ": " << error;
    }
}

TEST(AsmDebugInfo, LinesCoverExactlyTheInstructions) {
    const std::string source = ".start\n"
                               "COUNT = 3\n"
                               "loop:   LDI R1, COUNT\n"
                               "        ; a comment\n"
                               "        ADD R2, R2, R1\n"
                               "data:   .quad 1, 2\n"
                               "        .org 0x100\n"
                               "later:  LDA R3, loop\n"
                               "        JMP R3\n";
    const TAsmResult result = TAssembler().Assemble(source);
    ASSERT_FALSE(result.HasErrors());
    const TDebugInfo info = TAsmDebugInfo::Make(result, "/x/p.s", true);

    std::set<uint32_t> lines;
    for (const TDebugInfo::TLine& row : info.Lines) {
        lines.insert(row.Line);
        uint64_t at = row.From;
        while (at < row.To) { // the range decodes as whole instructions
            const uint32_t word = result.Image[at] | result.Image[at + 1] << 8 | result.Image[at + 2] << 16 |
                                  uint32_t{result.Image[at + 3]} << 24;
            const roz::TInstruction* instruction = roz::InstructionOfWord(word);
            ASSERT_NE(instruction, nullptr) << "line " << row.Line << " at " << at;
            at += instruction->Size;
        }
        EXPECT_EQ(at, row.To) << "line " << row.Line;
        EXPECT_EQ(info.LineAt(row.From), &row);
        EXPECT_EQ(info.LineAt(row.To - 1), &row);
    }
    EXPECT_EQ(lines, (std::set<uint32_t>{1, 3, 5, 8, 9}));
    EXPECT_EQ(info.LineAt(info.Lines[2].To), nullptr); // the data

    std::map<std::string, std::pair<std::string, uint64_t>> symbols;
    for (const TDebugInfo::TSymbol& symbol : info.Symbols)
        symbols[symbol.Name] = {symbol.Kind, symbol.Size};
    const uint64_t data = info.Lines[2].To;
    EXPECT_EQ(symbols["COUNT"], std::make_pair(std::string("constant"), uint64_t{0}));
    EXPECT_EQ(symbols["loop"].second, data - info.Lines[1].From);
    EXPECT_EQ(symbols["data"].second, 0x100 - data);
    EXPECT_EQ(symbols["later"].second, result.Image.size() - 0x100);
    EXPECT_TRUE(TAsmDebugInfo::Make(result, "p.s", false).Lines.empty());
}

} // namespace
