// chmrelocate: rewrites a help file compiled by chmcmd so that it no longer
// depends on the folder or the moment it was compiled in (see ChmRelocate.h).
//   chmrelocate COMPILED.chm OUTPUT.chm
#include "platform/htmlhelp/ChmRelocate.h"
#include "platform/htmlhelp/ChmFile.h"

#include <cstdio>
#include <exception>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: chmrelocate COMPILED.chm OUTPUT.chm\n");
        return 2;
    }
    const auto compiled = platform::htmlhelp::ChmFile::open(argv[1]);
    if (!compiled) {
        std::fprintf(stderr, "chmrelocate: %s is not a readable help file\n", argv[1]);
        return 1;
    }
    try {
        platform::htmlhelp::writeRelocatableCopy(*compiled, argv[2]);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "chmrelocate: %s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
