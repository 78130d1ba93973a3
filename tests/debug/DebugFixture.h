#pragma once
// A loaded example image with its debug information, for the debugger's tests.
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "USourceMap.h"
#include "Uccpubase.h"

namespace dtest {

struct TProgram {
    std::unique_ptr<TCCPUBase> Cpu = std::make_unique<TCCPUBase>();
    TSourceMap Map;
    std::vector<uint8_t> Image;
    std::string Name;

    // Loads fixtures/NAME.bin and NAME.dbg; false when the fixture was not built (no compiler).
    bool Load(const std::string& name) {
        Name = name;
        const std::string path = std::string(ROZ_DEBUG_FIXTURES) + "/" + name + ".bin";
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        Image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::string error;
        std::optional<TDebugInfo> info = TDebugInfo::Load(TDebugInfo::PathFor(path), Image, path, error);
        EXPECT_TRUE(info) << error;
        if (!info) return false;
        Map = TSourceMap(std::move(*info));
        Restart();
        return true;
    }
    void Restart() {
        Cpu->Reset();
        Cpu->Memory.SetSize(10000);
        Cpu->Memory.LoadBytes(Image.data(), static_cast<int64_t>(Image.size()));
    }
    // One instruction; false when the program has ended or failed.
    bool Step() {
        try {
            return Cpu->FetchAndExecute(Cpu->IPOffset) == FetchExecuted;
        } catch (const TDivisionByZero&) {
            return false;
        }
    }
};

#define ROZ_LOAD_OR_SKIP(program, name)                                                                      \
    if (!(program).Load(name)) GTEST_SKIP() << name << " was not built"

} // namespace dtest
