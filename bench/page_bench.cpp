// The page in real time in both browsers: for each browser, window size and
// start frame, the show played to its end with its music, and what the page
// reports then: frames drawn and caught up, how far the pictures came after
// their moment in the music, and the longest pass (how long the page kept
// the browser from showing anything).
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/democap/process_runner.h"
#include "tests/web/page_driver.h"

namespace {

void printHelp() {
    std::printf("Usage: page_bench [--site DIR] [--browsers chromium,firefox] [--sizes WxH,...] "
                "[FROM...]\n"
                "Plays the built page (default build-web/site) in real time to the show's end,\n"
                "from each start frame (default 0 6400 7000), in headless Chromium (SwiftShader)\n"
                "and in Firefox ESR under Xvfb (Mesa), at each window size (default\n"
                "640x480,1280x960), and prints what the page reports.\n");
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');) {
        parts.push_back(part);
    }
    return parts;
}

} // namespace

int main(int argc, char** argv) {
    std::string site = "build-web/site";
    std::vector<Browser> browsers = {Browser::Chromium, Browser::Firefox};
    std::vector<std::string> sizes = {"640x480", "1280x960"};
    std::vector<int> froms;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        } else if (arg == "--site" && hasValue) {
            site = argv[++i];
        } else if (arg == "--browsers" && hasValue) {
            browsers.clear();
            for (const std::string& name : split(argv[++i])) {
                if (name != "chromium" && name != "firefox") {
                    std::fprintf(stderr, "page_bench: no browser \"%s\" (chromium, firefox)\n",
                                 name.c_str());
                    return 2;
                }
                browsers.push_back(name == "chromium" ? Browser::Chromium : Browser::Firefox);
            }
        } else if (arg == "--sizes" && hasValue) {
            sizes = split(argv[++i]);
        } else if (!arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos) {
            froms.push_back(std::stoi(arg));
        } else {
            std::fprintf(stderr, "page_bench: cannot read \"%s\" (see --help)\n", arg.c_str());
            return 2;
        }
    }
    if (froms.empty()) {
        froms = {0, 6400, 7000};
    }
    if (readAll(site + "/index.html").empty()) {
        std::fprintf(stderr, "page_bench: no site at %s (./test or ./run web builds it)\n",
                     site.c_str());
        return 1;
    }
    SiteServer server(site);
    if (!server.accepts()) {
        std::fprintf(stderr, "page_bench: the static server for %s did not start\n", site.c_str());
        return 1;
    }
    int failures = 0;
    for (const Browser browser : browsers) {
        if (!browserInstalled(browser)) {
            std::printf("%s: not installed\n", browserName(browser));
            ++failures;
            continue;
        }
        for (const std::string& size : sizes) {
            PlayOptions options;
            if (std::sscanf(size.c_str(), "%dx%d", &options.width, &options.height) != 2) {
                std::fprintf(stderr, "page_bench: a size is WxH, not \"%s\"\n", size.c_str());
                return 2;
            }
            for (const int from : froms) {
                options.from = from;
                options.timeLimitSeconds = 400;
                TempFolder dir;
                const PagePlay p = playPage(browser, server, options, dir.path());
                if (!p.problem.empty()) {
                    std::printf("%s, window %s, from %4d: %s\n", browserName(browser), size.c_str(),
                                from, p.problem.c_str());
                    ++failures;
                    continue;
                }
                std::printf("%s, window %s, from %4d: %4d drawn, %4d catch-up steps (%.0f %% "
                            "drawn); pictures %.1f ms after the music on average, %.1f at most; "
                            "longest pass %.1f ms (to frame %d); drawn at %.2f of the window's "
                            "size at the least\n",
                            browserName(browser), size.c_str(), from, p.drawn, p.caughtUp,
                            100.0 * p.drawn / std::max(1, p.drawn + p.caughtUp), p.meanLag,
                            p.mostLag, p.longestPass, p.longestPassFrame, p.leastScale);
                std::fflush(stdout);
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
