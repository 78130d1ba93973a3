// The compiler's diagnostics: each severity in clang's format, and the checks of the IR
// reporting what they find with the severity of their row, once per source line.
#include <gtest/gtest.h>

#include <llvm/IR/LLVMContext.h>
#include <llvm/IR/Module.h>
#include <llvm/IRReader/IRReader.h>
#include <llvm/Support/SourceMgr.h>

#include "UCcChecks.h"

namespace {

using TSeverity = TCcDiagnostic::TSeverity;

TEST(CcDiagnostic, FormatsEachSeverityAsClang) {
    const struct {
        TCcDiagnostic Diagnostic;
        const char* Text;
    } cases[] = {
        {{TSeverity::Error, "a.c", 3, 7, "no"}, "a.c:3:7: error: no"},
        {{TSeverity::Warning, "a.c", 3, 7, "maybe"}, "a.c:3:7: warning: maybe"},
        {{TSeverity::Warning, "a.c", 0, 0, "somewhere"}, "a.c: warning: somewhere"},
        {{TSeverity::Error, "", 0, 0, "nowhere"}, "roziduv2-cc: error: nowhere"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Diagnostic.Format(), c.Text);
    EXPECT_EQ(TCcError("b.c", 2, 1, "bad").Format(), "b.c:2:1: error: bad");
}

TEST(CcChecks, ReportsFloatingPointAsAnErrorOncePerLine) {
    const struct {
        const char* Ir;
        size_t Found; // diagnostics, each an error
    } cases[] = {
        {"define i32 @main() {\n  ret i32 0\n}\n", 0},
        // Two float instructions and a float global, none with a location: one line (0).
        {"@g = global double 1.0\n"
         "define i32 @main() {\n  %a = alloca float\n  %b = load float, float* %a\n  ret i32 0\n}\n",
         1},
    };
    for (const auto& c : cases) {
        llvm::LLVMContext context;
        llvm::SMDiagnostic error;
        std::unique_ptr<llvm::Module> module = llvm::parseIR(llvm::MemoryBufferRef(c.Ir, "t.c"), error, context);
        ASSERT_TRUE(module) << error.getMessage().str();
        const std::vector<TCcDiagnostic> found = TCcChecks::Run(*module);
        ASSERT_EQ(found.size(), c.Found) << c.Ir;
        EXPECT_EQ(TCcChecks::HasError(found), c.Found > 0);
        for (const TCcDiagnostic& diagnostic : found)
            EXPECT_EQ(diagnostic.Format(), "t.c: error: floating point is not supported on this machine");
    }
}

} // namespace
