// C values by the type table, scopes, and watch expressions, on types.c compiled at -O0: the
// program runs to the lines its comments mark, and the variables panel's texts, the rows a
// value expands into, and the objects of watch expressions are checked there.
#include <fstream>
#include <map>
#include <regex>

#include "DebugFixture.h"
#include "CheckedSteps.h"
#include "UDebugger.h"
#include "UVariableView.h"
#include "UWatchExpression.h"

namespace {

using dtest::TProgram;

// The line of types.c whose text contains marker.
uint32_t LineOf(const std::string& marker) {
    std::ifstream in(std::string(ROZ_SOURCE_DIR) + "/tests/debug/types.c");
    uint32_t number = 0;
    for (std::string line; std::getline(in, line);)
        if (++number, line.find(marker) != std::string::npos) return number;
    ADD_FAILURE() << "no line with " << marker;
    return 0;
}

// Runs from the start to the first time the line's code is reached.
void RunToLine(TProgram& p, TDebugger& debugger, uint32_t line) {
    std::string error;
    const std::optional<int> id =
        debugger.Breakpoints().Add("types.c:" + std::to_string(line), debugger.Map(), p.Image.size(), error);
    ASSERT_TRUE(id) << error;
    const TDebugSettings settings = debugger.StandingSettings();
    ASSERT_EQ(RunChecked(*p.Cpu, settings.Checks, settings.Decide, 1000000).End, TRunEnd::Breakpoint);
    debugger.Breakpoints().Remove(*id);
}

std::map<std::string, TVariableView> Variables(const TProgram& p) {
    std::map<std::string, TVariableView> views;
    const std::vector<TStackFrame> frames = CallStack(*p.Cpu, p.Map);
    for (const TVariableView& view : FrameVariables(*p.Cpu, frames.at(0), &p.Map.Info()))
        views[view.Name] = view;
    return views;
}

// The row under node named name, expanding along path ("*list/next/*next").
TValueNode Expand(const TProgram& p, TValueNode node, const std::string& path) {
    const TValueReader reader(p.Map.Info(), p.Cpu->Memory.Buffer(),
                              static_cast<uint64_t>(p.Cpu->Memory.Size()));
    size_t from = 0;
    while (from <= path.size()) {
        const size_t slash = std::min(path.find('/', from), path.size());
        const std::string name = path.substr(from, slash - from);
        bool found = false;
        for (const TValueNode& child : reader.Children(node))
            if (child.Name == name) node = child, found = true;
        if (!found) return {"<no " + name + ">", "", "", "", false, {}};
        from = slash + 1;
    }
    return node;
}

class Values : public testing::Test {
  protected:
    void SetUp() override {
        if (!P.Load("types_O0")) GTEST_SKIP() << "types_O0 was not built";
        Debugger.SetImage(P.Map, P.Image.size());
    }
    TProgram P;
    TDebugger Debugger;
};

TEST_F(Values, FormattedExpandedAndScoped) {
    RunToLine(P, Debugger, LineOf("stop: after the block"));
    const auto views = Variables(P);
    EXPECT_EQ(views.count("inner"), 0u) << "the block has ended";
    struct TRow {
        const char* Name;
        const char* Value;          // a regular expression
        const char* Path = nullptr; // a row it expands into, and that row's value
        const char* Child = nullptr;
    };
    const TRow rows[] = {
        {"buf", "\"Hi there\"", "[1]", "105 'i'"},
        {"text", "0x[0-9a-f]{8} \"Hello\\\\n\"", "*text", "72 'H'"},
        {"p", "\\{x = 1, y = 2\\}", "y", "2"},
        {"a", "\\{1, 2, 3, 4, 5\\}", "[4]", "5"},
        {"grid", "\\{\\{...\\}, \\{...\\}\\}", "[1]/[2]", "6"},
        {"c", "GREEN"},
        {"list", "0x[0-9a-f]{8}", "*list/next/*next", "\\{value = 2, next = NULL\\}"},
        {"f", "\\{a = 5, b = -3\\}", "b", "-3"},
        {"w", "\\{i = 1145258561, bytes = \"ABCD\"\\}", "bytes/[3]", "68 'D'"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        ASSERT_EQ(views.count(row.Name), 1u);
        const TVariableView& view = views.at(row.Name);
        EXPECT_TRUE(std::regex_match(view.Value, std::regex(row.Value))) << view.Value;
        EXPECT_TRUE(std::regex_match(view.Address, std::regex("0x[0-9a-f]{4,}"))) << view.Address;
        if (!row.Path) continue;
        EXPECT_TRUE(view.Expandable);
        const TValueNode child = Expand(P, view.Node(), row.Path);
        EXPECT_TRUE(std::regex_match(child.Value, std::regex(row.Child))) << row.Path << ": " << child.Value;
    }
    // A pointer that leads outside memory shows so instead of reading there.
    TValueNode list = views.at("list").Node();
    std::vector<uint8_t> wild = {0xf0, 0xff, 0xff, 0x7f, 0, 0, 0, 0};
    list.Ref = {list.Ref.Type, false, 0, wild};
    const TValueReader reader(P.Map.Info(), P.Cpu->Memory.Buffer(),
                              static_cast<uint64_t>(P.Cpu->Memory.Size()));
    const TValueNode bad = reader.Node("list", list.Ref);
    EXPECT_EQ(bad.Value, "0x7ffffff0 <invalid address>");
    EXPECT_FALSE(bad.Expandable);
}

TEST_F(Values, BlocksAndLoopsEnd) {
    RunToLine(P, Debugger, LineOf("stop: in the block"));
    EXPECT_EQ(Variables(P).at("inner").Value, "7");
    RunToLine(P, Debugger, LineOf("stop: after the loop"));
    const auto views = Variables(P);
    EXPECT_EQ(views.count("i") + views.count("twice"), 0u);
    EXPECT_EQ(views.at("total").Value, "15");
}

TEST_F(Values, WatchExpressions) {
    RunToLine(P, Debugger, LineOf("stop: after the block"));
    const auto views = Variables(P);
    const auto address = [&](const std::string& name) {
        return std::stoull(views.at(name).Address, nullptr, 16);
    };
    uint64_t first = 0, second = 0, moves = 0;
    for (const TDebugInfo::TVariable& global : P.Map.Info().Globals)
        (global.Name == "first"    ? first
         : global.Name == "second" ? second
                                   : moves) = static_cast<uint64_t>(global.Locations.at(0).Offset);
    struct TRow {
        std::string Text;
        uint64_t Address, Size;
        bool Read;
    };
    const TRow rows[] = {
        {"moves", moves, 4, false},
        {"a[3] rw", address("a") + 12, 4, true},
        {"a[1 + 2*1]", address("a") + 12, 4, false},
        {"grid[1][2]", address("grid") + 20, 4, false},
        {"p.y", address("p") + 4, 4, false},
        {"*list", first, 16, false},
        {"list->next", first + 8, 8, false},
        {"list->next->value", second, 4, false},
        {"(*list).next->next", second + 8, 8, false},
        {"buf", address("buf"), 16, false},
        {"f.b", address("f"), 1, false},
        {"0x1800 2 r", 0x1800, 2, true},
    };
    for (const TRow& row : rows) {
        std::string error;
        const std::optional<TWatchRequest> request = TWatchList::Parse(row.Text, P.Map, P.Cpu.get(), error);
        ASSERT_TRUE(request) << row.Text << ": " << error;
        EXPECT_EQ(request->Begin, row.Address) << row.Text;
        EXPECT_EQ(request->Size, row.Size) << row.Text;
        EXPECT_EQ(request->Read, row.Read) << row.Text;
    }
    const std::pair<const char*, const char*> errors[] = {
        {"mvoes", "no variable 'mvoes' in scope"},
        {"inner", "no variable 'inner' in scope"},
        {"c->x", "'c' is not a pointer"},
        {"*moves", "'moves' is not a pointer"},
        {"p.z", "'struct point' has no member 'z'"},
        {"moves.x", "'moves' is not a structure or union"},
        {"a[5]", "index 5 is outside 'a' (int[5])"},
        {"second.next->value", "'second.next' is a null pointer"},
        {"a[", "'a[' ends too early"},
        {"0x1800 zero", "'0x1800 zero' (ADDRESS [SIZE] [w|r|rw], a C expression, or in / out)"},
    };
    for (const auto& [text, message] : errors) {
        std::string error;
        EXPECT_FALSE(TWatchList::Parse(text, P.Map, P.Cpu.get(), error)) << text;
        EXPECT_EQ(error, message) << text;
    }
}

// A watch on a C variable does not stop where the start-up clears .bss (a second run of the
// loaded image, moves still holding the first run's value), but where main changes it.
TEST_F(Values, WatchIgnoresTheStartUp) {
    const TDebugSettings none = Debugger.StandingSettings();
    ASSERT_EQ(RunChecked(*P.Cpu, none.Checks, none.Decide, 1000000).End, TRunEnd::EndOfImage);
    P.Cpu->Reset();
    std::string error;
    ASSERT_NE(Debugger.Watches().Add("moves", Debugger.Map(), P.Cpu.get(), error), 0) << error;
    const TDebugSettings settings = Debugger.StandingSettings();
    ASSERT_EQ(RunChecked(*P.Cpu, settings.Checks, settings.Decide, 1000000).End, TRunEnd::Watchpoint);
    const TDebugInfo::TFunction* function = P.Map.FunctionAt(static_cast<uint64_t>(P.Cpu->IPOffset));
    ASSERT_NE(function, nullptr);
    EXPECT_EQ(function->Name, "main");
    EXPECT_NE(Debugger.StopText().find("moves [0x"), std::string::npos) << Debugger.StopText();
}

// A file without the type table (as written before it) still loads and shows bytes; one whose
// references lead nowhere is refused.
TEST_F(Values, FilesWithoutTypes) {
    TDebugInfo old = P.Map.Info();
    old.Types.clear();
    for (TDebugInfo::TFunction& function : old.Functions) {
        function.Scopes.clear();
        for (TDebugInfo::TVariable& variable : function.Variables)
            variable.TypeId = variable.Scope = -1;
    }
    for (TDebugInfo::TVariable& global : old.Globals)
        global.TypeId = -1;
    std::string error;
    const std::optional<TDebugInfo> read = TDebugInfo::Parse(old.Text(), error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(*read, old);
    EXPECT_EQ(TDebugInfo::Parse(P.Map.Info().Text(), error), P.Map.Info());
    P.Map = TSourceMap(*read);
    Debugger.SetImage(P.Map, P.Image.size());
    RunToLine(P, Debugger, LineOf("stop: after the block"));
    EXPECT_EQ(Variables(P).at("p").Value, "{01 00 00 00 02 00 00 00}");
    EXPECT_TRUE(TWatchList::Parse("moves", P.Map, P.Cpu.get(), error)) << error;

    TDebugInfo broken = P.Map.Info();
    broken.Globals.at(0).TypeId = 5;
    EXPECT_FALSE(TDebugInfo::Parse(broken.Text(), error));
    EXPECT_NE(error.find("names type 5, which the table lacks"), std::string::npos) << error;
}

} // namespace
