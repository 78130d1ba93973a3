// roziduv2-asm: assembles a source file into a code image that the simulator loads at 0.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "UAsmDebugInfo.h"
#include "UAssembler.h"
#include "UInstructionSet.h"
#include "UOutputFile.h"

namespace {

const char Usage[] = "usage: roziduv2-asm SOURCE.s -o IMAGE.bin [--listing FILE] [-g|-g0]\n"
                     "       roziduv2-asm --list-instructions\n"
                     "\n"
                     "Assembles SOURCE.s into the code image IMAGE.bin (loaded at address 0).\n"
                     "  -o IMAGE.bin       the image to write (nothing is written when there are errors)\n"
                     "  --listing FILE     also write a listing: address, bytes, line number and source\n"
                     "  -g, -g0            the debug information IMAGE.dbg beside the image (IMAGE.bin's\n"
                     "                     extension replaced): with the line table (-g, the default) or\n"
                     "                     the labels only (-g0); not written when IMAGE is not a regular\n"
                     "                     file (/dev/null, a terminal)\n"
                     "  --list-instructions  print the machine's instruction names, one per line, then\n"
                     "                     each other name the assembler accepts as \"ALIAS = NAME\"\n"
                     "Outputs replace their files only once written in full; an output that is the source\n"
                     "or another output (also through a link) is refused. The .dbg format: the programming\n"
                     "reference, \"Debug information files\".\n"
                     "Exit status: 0 done, 1 errors in the source, a file that cannot be read or written\n"
                     "or an output that is the source or another output, 2 usage error.\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "roziduv2-asm: %s\n(see roziduv2-asm --help)\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string source, output, listing;
    bool lines = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--list-instructions") {
            for (const roz::TInstruction& row : roz::Instructions)
                std::printf("%s\n", row.Mnemonic);
            for (const roz::TAlias& alias : roz::Aliases)
                std::printf("%s = %s\n", alias.Mnemonic, roz::InstructionOf(alias.Row).Mnemonic);
            return 0;
        }
        if (arg == "-g" || arg == "-g0") {
            lines = arg == "-g";
        } else if (arg == "-o" || arg == "--listing") {
            if (i + 1 >= argc) return UsageError(std::string(arg) + " needs a file name");
            std::string& target = arg == "-o" ? output : listing;
            if (!target.empty()) return UsageError(std::string(arg) + " given twice");
            target = argv[++i];
            if (target.empty()) return UsageError(std::string(arg) + " needs a file name");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '" + std::string(arg) + "'");
        } else if (!source.empty()) {
            return UsageError("only one SOURCE may be given");
        } else {
            source = arg;
        }
    }
    if (source.empty()) return UsageError("no SOURCE given");
    if (output.empty()) return UsageError("no output image given (-o IMAGE.bin)");

    std::vector<TOutputFile::TUse> outputs = {{output, "image"}};
    if (!listing.empty()) outputs.push_back({listing, "listing"});
    std::error_code failure;
    const bool debug =
        !std::filesystem::exists(output, failure) || std::filesystem::is_regular_file(output, failure);
    const std::string debugPath = TDebugInfo::PathFor(output);
    if (debug) outputs.push_back({debugPath, "debug information"});
    const std::string clash = TOutputFile::CheckDistinct({{source, "source"}}, outputs);
    if (!clash.empty()) {
        std::fprintf(stderr, "roziduv2-asm: %s\n", clash.c_str());
        return 1;
    }

    std::ifstream in(source, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "roziduv2-asm: %s: cannot be read\n", source.c_str());
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();

    TAssembler assembler;
    const TAsmResult result = assembler.Assemble(text.str());
    for (const TAsmMessage& message : result.Messages)
        std::fprintf(stderr, "%s\n", TAssembler::Format(source, message).c_str());
    if (result.HasErrors()) return 1;

    std::string written = TOutputFile::Write(output, result.Image.data(), result.Image.size());
    if (written.empty() && !listing.empty())
        written = TOutputFile::Write(listing, result.Listing.data(), result.Listing.size());
    if (written.empty() && debug) {
        TDebugInfo info = TAsmDebugInfo::Make(result, source, lines);
        info.SetImage(output, result.Image);
        written = info.Write(debugPath);
    }
    if (!written.empty()) {
        std::fprintf(stderr, "roziduv2-asm: %s\n", written.c_str());
        return 1;
    }
    return 0;
}
