// roziduv2-cc: compiles C files into a code image for the simulator (or its assembly).
#include <cstdio>
#include <string>

#include "UCcDriver.h"
#include "UCcOptions.h"

namespace {

const char Usage[] =
    "usage: roziduv2-cc [-O0|-O1|-O2|-Os] [-g|-g0] [-I DIR] [-D NAME[=VALUE]] [-U NAME] [-S] [-o OUT]\n"
    "                   [--memory-size N [--grow-memory]] [--emit-ir] FILE.c...\n"
    "\n"
    "Compiles and links the C files into one code image for the simulator (loaded at 0).\n"
    "  -O0 -O1 -O2 -Os    optimisation level (default -O0)\n"
    "  -g, -g0            the debug information OUT.dbg beside the image (OUT's extension\n"
    "                     replaced): with line table, frames and variables (-g, the default) or\n"
    "                     symbols and frames only (-g0); not written with -S or --emit-ir or when\n"
    "                     OUT is not a regular file. Format: the programming reference,\n"
    "                     \"Debug information files\"\n"
    "  -I DIR, -D NAME[=VALUE], -U NAME, -w, -W..., -f..., -std=...   as for clang\n"
    "  -S                 write the assembly text (for roziduv2-asm) instead of the image\n"
    "  --emit-ir          write the optimised LLVM IR instead of the image\n"
    "  -o OUT             the output (default: the first file's name with .bin, .s or .ll)\n"
    "  --memory-size N    the memory the program runs in, fixed: a program whose image, stack\n"
    "                     and heap guard do not fit is refused with the size it needs\n"
    "                     (without it: 10000 bytes, or for a larger program the memory it\n"
    "                     needs plus 64 KiB; OUT.dbg records the size)\n"
    "  --grow-memory      with --memory-size N: a program that does not fit in N is compiled\n"
    "                     for the memory it needs plus 64 KiB instead of refused\n"
    "<roziduv2.h> declares print(n), key(), clear_monitor(), port_in(p) and port_out(p, w); the C\n"
    "library has <string.h>, <stdlib.h> (malloc over a heap below the end of memory), <ctype.h>,\n"
    "<assert.h> and <stdio.h> (printf prints each integer it converts on the monitor).\n"
    "R0 at the end: main's int result or exit()'s status, sign-extended; abort() 0xDEAD0000000000AB,\n"
    "a failed assert 0xDEAD0000000000A5 (after printing its line), a stack overflow 0xDEAD00000000005A.\n"
    "Environment: ROZIDUV2_CLANG the clang to run, ROZIDUV2_INCLUDE the folder of <roziduv2.h>,\n"
    "ROZIDUV2_RUNTIME the folder of the C library's sources (compiled with each program).\n"
    "Exit status: 0 done, 1 compile errors (clang's and ours, in clang's format), 2 usage error.\n";

} // namespace

int main(int argc, char** argv) {
    TCcOptions options;
    std::string error;
    if (!options.Parse(argc, argv, error)) {
        std::fprintf(stderr, "roziduv2-cc: %s\n(see roziduv2-cc --help)\n", error.c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    return TCcDriver(options).Run();
}
