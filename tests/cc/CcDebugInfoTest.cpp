// The debug information of a compiled C program, at -O0 and -O2: it loads against its image,
// every line-table row starts on an instruction of its function and covers whole
// instructions, main's first statement is mapped, and main's local lives in its frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdlib.h>
#include <unistd.h>

#include "UCcDriver.h"
#include "UDebugInfo.h"
#include "UInstructionSet.h"

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

INSTANTIATE_TEST_SUITE_P(Levels, CcDebugInfo, testing::Values('0', '2'),
                         [](const testing::TestParamInfo<char>& level) {
                             return std::string("O") + level.param;
                         });

} // namespace
