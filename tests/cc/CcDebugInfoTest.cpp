// The debug information of a compiled C program, at -O0 and -O2: it loads against its image,
// every line-table row starts on an instruction of its function and covers whole
// instructions, main's first statement is mapped, and main's local lives in its frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdlib.h>
#include <unistd.h>

#include "UCcDriver.h"
#include "UDebugInfo.h"
#include "UInstructionSet.h"
#include "Uccpu.h"

namespace {

namespace fs = std::filesystem;

const char Program[] = "#include <roziduv2.h>\n"
                       "int limit = 5;\n"
                       "static int twice(int x) { return x + x; }\n"
                       "int main(void) {\n"
                       "    unsigned long k = key();\n" // line 5: the first statement
                       "    for (int i = 0; i < limit; i++)\n"
                       "        k += twice(i);\n"
                       "    print(k);\n"
                       "    return (int)k;\n"
                       "}\n";

uint32_t WordAt(const std::vector<uint8_t>& image, uint64_t at) {
    return image[at] | image[at + 1] << 8 | image[at + 2] << 16 | uint32_t{image[at + 3]} << 24;
}

class CcDebugInfo : public testing::TestWithParam<char> {};

TEST_P(CcDebugInfo, LinesFallOnInstructions) {
    const fs::path dir = fs::temp_directory_path() / ("roz-ccdbg-" + std::to_string(::getpid()) + GetParam());
    fs::create_directories(dir);
    std::ofstream(dir / "p.c") << Program;
    ::setenv("ROZIDUV2_INCLUDE", ROZ_TEST_CC_DIR "/include", 0);
    ::setenv("ROZIDUV2_RUNTIME", ROZ_TEST_CC_DIR "/runtime", 0);
    TCcOptions options;
    options.Level = GetParam();
    options.Inputs = {(dir / "p.c").string()};
    options.Output = (dir / "p.bin").string();
    ASSERT_EQ(TCcDriver(options).Run(), 0);
    std::ifstream in(options.Output, std::ios::binary);
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), {}};
    std::string error;
    const auto info = TDebugInfo::Load((dir / "p.dbg").string(), image, options.Output, error);
    ASSERT_TRUE(info) << error;
    EXPECT_EQ(info->MemoryNeeded, 10000u);

    std::set<uint64_t> starts; // every instruction start and end of every function
    for (const TDebugInfo::TFunction& function : info->Functions) {
        uint64_t at = function.Address;
        while (at < function.Address + function.Size) {
            starts.insert(at);
            const roz::TInstruction* instruction = roz::InstructionOfWord(WordAt(image, at));
            ASSERT_NE(instruction, nullptr) << function.Name << " at " << at;
            at += instruction->Size;
        }
        EXPECT_EQ(at, function.Address + function.Size) << function.Name;
        starts.insert(at); // where a row may end
    }
    bool firstStatement = false;
    const TDebugInfo::TFunction* main = nullptr;
    for (const TDebugInfo::TFunction& function : info->Functions)
        if (function.Name == "main") main = &function;
    ASSERT_NE(main, nullptr);
    for (const TDebugInfo::TLine& row : info->Lines) {
        EXPECT_TRUE(starts.count(row.From) && starts.count(row.To)) << "row " << row.From << ".." << row.To;
        if (row.Line == 5 && info->Sources[row.File] == (dir / "p.c").string() && row.From >= main->Address &&
            row.To <= main->Address + main->Size)
            firstStatement = true;
    }
    EXPECT_TRUE(firstStatement) << info->Text();
    // Scopes cover whole instructions of their function; the loop's i is visible on the
    // loop's line 7 and no longer on line 8 (print).
    for (const TDebugInfo::TFunction& function : info->Functions)
        for (const TDebugInfo::TScope& scope : function.Scopes)
            for (const auto& [from, to] : scope.Ranges) {
                EXPECT_TRUE(starts.count(from) && starts.count(to))
                    << function.Name << " " << from << ".." << to;
                EXPECT_TRUE(from >= function.Address && to <= function.Address + function.Size)
                    << function.Name;
            }
    for (const TDebugInfo::TVariable& i : main->Variables) {
        if (i.Name != "i") continue;
        EXPECT_GE(i.Scope, 0);
        EXPECT_EQ(info->Types.at(static_cast<size_t>(i.TypeId)).Name, "int");
        std::set<bool> line7, line8;
        for (const TDebugInfo::TLine& row : info->Lines)
            if (row.From >= main->Address && row.To <= main->Address + main->Size &&
                (row.Line == 7 || row.Line == 8))
                (row.Line == 7 ? line7 : line8).insert(TDebugInfo::InScope(*main, i, row.From));
        EXPECT_EQ(line7.count(false) + line8.count(true), 0u);
        if (GetParam() == '0') { // optimised, the loop's line may keep no code of its own
            EXPECT_TRUE(line7.count(true) && line8.count(false));
        }
    }
    if (GetParam() == '0') { // unoptimised: k lives in main's frame for the whole function
        bool k = false;
        for (const TDebugInfo::TVariable& variable : main->Variables)
            if (variable.Name == "k" && variable.Type.Name == "unsigned long" &&
                variable.Locations.size() == 1 && variable.Locations[0].Kind == "frame" &&
                variable.Locations[0].Offset > 0 && variable.Locations[0].Offset < main->Frame.Size)
                k = true;
        EXPECT_TRUE(k) << info->Text();
    }
    fs::remove_all(dir);
}

// Optimised code keeps variables in home registers. Every time walk calls seen, its
// variables must be where their locations say at the CALL (a register, a frame slot or a
// constant) and hold the values the host computes; p and x must be located.
const char Walk[] = "#include <roziduv2.h>\n"
                    "volatile long seed = 7;\n"
                    "long sink;\n"
                    "__attribute__((noinline)) void seen(long v) { sink += v; }\n"
                    "__attribute__((noinline)) long walk(long p) {\n"
                    "    long x = p + 1;\n"
                    "    for (long i = 0; i < 4; i++) {\n"
                    "        p = p * 3 + i;\n"
                    "        seen(p);\n"
                    "        x = x * 5 ^ p;\n"
                    "        seen(x);\n"
                    "    }\n"
                    "    return x;\n"
                    "}\n"
                    "int main(void) { print(walk(seed)); return 0; }\n";

TEST(CcDebugInfoRegisters, OptimisedVariablesHoldTheirValues) {
    for (const char level : {'1', '2'}) {
        SCOPED_TRACE(std::string("-O") + level);
        const fs::path dir = fs::temp_directory_path() / ("roz-ccreg-" + std::to_string(::getpid()) + level);
        fs::create_directories(dir);
        std::ofstream(dir / "w.c") << Walk;
        ::setenv("ROZIDUV2_INCLUDE", ROZ_TEST_CC_DIR "/include", 0);
        ::setenv("ROZIDUV2_RUNTIME", ROZ_TEST_CC_DIR "/runtime", 0);
        TCcOptions options;
        options.Level = level;
        options.Inputs = {(dir / "w.c").string()};
        options.Output = (dir / "w.bin").string();
        ASSERT_EQ(TCcDriver(options).Run(), 0);
        TCCPU cpu;
        ASSERT_EQ(cpu.Memory.LoadImage(options.Output), 0);
        const uint8_t* bytes = cpu.Memory.Buffer();
        std::string error;
        const auto info = TDebugInfo::Load((dir / "w.dbg").string(), {bytes, bytes + cpu.Memory.UsedLength()},
                                           options.Output, error);
        ASSERT_TRUE(info) << error;
        std::map<std::string, const TDebugInfo::TFunction*> functions;
        for (const TDebugInfo::TFunction& function : info->Functions)
            functions[function.Name] = &function;
        const TDebugInfo::TFunction *walk = functions["walk"], *seen = functions["seen"];
        ASSERT_TRUE(walk && seen);

        // The host's values of p, x and i at each call of seen, in call order.
        std::vector<std::map<std::string, int64_t>> expected;
        for (int64_t p = 7, x = 8, i = 0; i < 4; i++) {
            p = p * 3 + i;
            expected.push_back({{"p", p}, {"x", x}, {"i", i}});
            x = x * 5 ^ p;
            expected.push_back({{"p", p}, {"x", x}, {"i", i}});
        }
        size_t call = 0;
        std::set<std::string> kinds;
        for (int steps = 0; steps < 1000000; ++steps) {
            const uint64_t at = static_cast<uint64_t>(cpu.IPOffset);
            if (cpu.FetchAndExecute(cpu.IPOffset) != FetchExecuted) break;
            if (static_cast<uint64_t>(cpu.IPOffset) != seen->Address || at < walk->Address ||
                at >= walk->Address + walk->Size)
                continue;
            ASSERT_LT(call, expected.size());
            for (const TDebugInfo::TVariable& variable : walk->Variables) {
                bool found = false;
                for (const TDebugInfo::TLocation& location : variable.Locations) {
                    if (at < location.From || at >= location.To) continue;
                    const int64_t value = location.Kind == "register" ? cpu.R[location.Offset]
                                          : location.Kind == "frame"
                                              ? int64_t(cpu.Memory.ReadWord(cpu.R[15] + location.Offset))
                                              : location.Offset;
                    EXPECT_EQ(value, expected[call].at(variable.Name))
                        << variable.Name << " in " << location.Kind << " at call " << call;
                    kinds.insert(variable.Name + " " + location.Kind);
                    found = true;
                }
                EXPECT_TRUE(found || variable.Name == "i") << variable.Name << " at call " << call;
                EXPECT_TRUE(TDebugInfo::InScope(*walk, variable, at)) << variable.Name << " at call " << call;
            }
            ++call;
        }
        EXPECT_EQ(call, expected.size());
        EXPECT_TRUE(kinds.count("p register") && kinds.count("x register")) << info->Text();
        fs::remove_all(dir);
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, CcDebugInfo, testing::Values('0', '2'),
                         [](const testing::TestParamInfo<char>& level) {
                             return std::string("O") + level.param;
                         });

} // namespace
