// Output files: which sets of files are refused, and that writing replaces a file only
// when it has been written in full.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "UOutputFile.h"

namespace {

namespace fs = std::filesystem;

// Each test runs in a fresh directory holding c.s, a hard link and a symbolic link to it,
// a dangling link to new.bin and a subdirectory d.
class OutputFiles : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/roz-output-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        FDir = name;
        FOld = fs::current_path();
        fs::current_path(FDir);
        Put("c.s", "NOP\n");
        fs::create_hard_link("c.s", "hard.s");
        fs::create_symlink("c.s", "link.s");
        fs::create_symlink("new.bin", "dangling");
        fs::create_directory("d");
    }
    void TearDown() override {
        fs::current_path(FOld);
        fs::remove_all(FDir);
    }
    static void Put(const char* name, const std::string& text) { std::ofstream(name) << text; }
    static std::string Get(const char* name) {
        std::stringstream text;
        text << std::ifstream(name).rdbuf();
        return text.str();
    }
    size_t Entries() const { return std::distance(fs::directory_iterator(FDir), fs::directory_iterator()); }

    fs::path FDir, FOld;
};

struct TClashRow {
    const char* Name;
    const char* Image;
    const char* Listing; // "" for none
    const char* Message; // "" when accepted
};

const TClashRow Clashes[] = {
    {"ImageIsSource", "c.s", "", "the image 'c.s' is the source 'c.s' (the same file); nothing was written"},
    {"ThroughDot", "./c.s", "", "the image './c.s' is the source 'c.s' (the same file); nothing was written"},
    {"ThroughParent", "d/../c.s", "",
     "the image 'd/../c.s' is the source 'c.s' (the same file); nothing was written"},
    {"ThroughSymlink", "c.bin", "link.s",
     "the listing 'link.s' is the source 'c.s' (the same file); nothing was written"},
    {"ThroughHardLink", "hard.s", "",
     "the image 'hard.s' is the source 'c.s' (the same file); nothing was written"},
    {"OutputsSame", "c.bin", "./d/../c.bin",
     "the listing './d/../c.bin' is the image 'c.bin' (the same file); nothing was written"},
    {"OutputsSameThroughDanglingLink", "new.bin", "dangling",
     "the listing 'dangling' is the image 'new.bin' (the same file); nothing was written"},
    {"Distinct", "c.bin", "c.lst", ""},
    {"DevNullTwice", "/dev/null", "/dev/null", ""},
};

class OutputClashes : public OutputFiles, public testing::WithParamInterface<TClashRow> {};

TEST_P(OutputClashes, RefuseAnOutputThatIsAnInputOrTheOtherOutput) {
    std::vector<TOutputFile::TUse> outputs = {{GetParam().Image, "image"}};
    if (*GetParam().Listing) outputs.push_back({GetParam().Listing, "listing"});
    EXPECT_EQ(TOutputFile::CheckDistinct({{"c.s", "source"}}, outputs), GetParam().Message);
}

INSTANTIATE_TEST_SUITE_P(Files, OutputClashes, testing::ValuesIn(Clashes),
                         [](const testing::TestParamInfo<TClashRow>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(OutputFiles, ReplaceTheLinksTargetKeepingItsMode) {
    ::chmod("c.s", 0640);
    ASSERT_EQ(TOutputFile::Write("link.s", "new", 3), "");
    EXPECT_TRUE(fs::is_symlink("link.s"));
    EXPECT_EQ(Get("c.s"), "new");
    EXPECT_EQ(fs::status("c.s").permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(), 5u); // no temporary file left
}

TEST_F(OutputFiles, NewFileThroughADanglingLinkGetsTheUmasksMode) {
    const mode_t old = ::umask(027);
    EXPECT_EQ(TOutputFile::Write("dangling", "x", 1), "");
    ::umask(old);
    EXPECT_EQ(Get("new.bin"), "x");
    EXPECT_EQ(fs::status("new.bin").permissions(), fs::perms(0640));
}

TEST_F(OutputFiles, FailedWriteLeavesTheOldFile) {
    // A file size limit makes the write itself fail (as root too).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::string big(5000, 'x');
    const std::string failure = TOutputFile::Write("c.s", big.data(), big.size());
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(failure, "c.s: cannot be written (File too large)");
    EXPECT_EQ(Get("c.s"), "NOP\n");
    EXPECT_EQ(Entries(), 5u);
    EXPECT_EQ(TOutputFile::Write("d/missing/x.bin", "x", 1),
              "d/missing/x.bin: cannot be written (No such file or directory)");
}

TEST_F(OutputFiles, DevicesAreWrittenDirectly) {
    EXPECT_EQ(TOutputFile::Write("/dev/null", "abc", 3), "");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

} // namespace
