// contentgen: writes the show's pictures and music and the launcher's background.
#include "generate.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: contentgen [--out DIR]\n"
                     "Writes the package content below DIR (default: the current directory):\n"
                     "DIR/data/ with the show's pictures and data/velda.ogg, and DIR/backgd.png.\n"
                     "The same files come out on every run.\n"
                     "  --out DIR   package folder to write into\n"
                     "  --help      show this text\n");
}

} // namespace

int main(int argc, char** argv) {
    std::string out = ".";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (arg == "--out") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "contentgen: --out needs a folder\n");
                return 2;
            }
            out = argv[++i];
            continue;
        }
        std::fprintf(stderr, "contentgen: unknown argument '%s'\n", argv[i]);
        printUsage(stderr);
        return 2;
    }
    const auto errors = contentgen::generateContent(out);
    for (const auto& e : errors) {
        std::fprintf(stderr, "contentgen: %s\n", e.c_str());
    }
    return errors.empty() ? EXIT_SUCCESS : EXIT_FAILURE;
}
