// The page in real time in Chromium, Firefox and WebKit. First how it
// starts and seeks, as a viewer meets it at 640 x 480: from the start button
// to the first frame, the first second drawn or caught up, a first seek far
// into the show (2:18, after 3 s of play) and ten more back and forth. Then,
// for each browser, window size and start frame, the show played to its end
// with its music, and what the page reports: frames drawn and caught up, how
// far the pictures came after their moment in the music, and the longest
// pass (how long the page kept the browser from showing anything).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/tools/democap/process_runner.h"
#include "tests/web/page_driver.h"

namespace {

void printHelp() {
    std::printf(
        "Usage: page_bench [--site DIR] [--browsers chromium,firefox,webkit] [--starts N]\n"
        "                  [--sizes WxH,...] [FROM...]\n"
        "Opens the built page (default build-web/site) N times (default 5) in each browser\n"
        "and prints how it starts and seeks (medians and worst); then plays it in real time\n"
        "to the show's end, from each start frame (default 0 6400 7000), at each window\n"
        "size (default 640x480,1280x960), and prints what the page reports. Browsers:\n"
        "headless Chromium (SwiftShader), Firefox ESR and WebKit's MiniBrowser under Xvfb\n"
        "(Mesa). --starts 0 leaves out the starts, --sizes none the plays.\n");
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');) {
        parts.push_back(part);
    }
    return parts;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double worst(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// How long one seek takes until its frame can be read (which waits for the
// GL's work), by the page's own clock.
std::string seekTime(int frame) {
    const std::string f = std::to_string(frame);
    return "(() => { const c = document.createElement('canvas'); c.width = c.height = 1; "
           "const x = c.getContext('2d'); const t = performance.now(); "
           "if (player.seek(" +
           f + ") !== " + f +
           ") return -1; x.drawImage(canvas, 0, 0, 1, 1); x.getImageData(0, 0, 1, 1); "
           "return performance.now() - t; })()";
}

// The page opened `runs` times at 640 x 480 and started with a click: the
// first frame after the button, the first second (stopped there), then,
// started again, 3 s of play, a pause and the seeks.
bool measureStarts(Browser browser, const SiteServer& server, int runs) {
    constexpr int kFirstFar = 6900; // 2:18
    const std::vector<int> seeks = {5000, 1200, 6500, 300, 3300, 2100, 7300, 4100, 900, 5800};
    std::vector<double> ready, firstFrame, drawnShare, far, others;
    for (int run = 0; run < runs; ++run) {
        TempFolder dir;
        DrivenPage page(browser, server, "", 640, 480, dir.path());
        const std::string readyLine = page.waitForLine("vemu: ready ", 240);
        double ms = 0;
        if (std::sscanf(readyLine.c_str(), "vemu: ready %lf", &ms) == 1) {
            ready.push_back(ms);
        }
        std::string first;
        usleep(1000000); // a viewer sees the start button before clicking it
        if (!readyLine.empty() && page.click("#toggle") && page.click("#start")) {
            first = page.waitForLine("vemu: first frame", 30);
        }
        if (std::sscanf(first.c_str(), "vemu: first frame %lf", &ms) != 1 ||
            !page.waitFor("Module._vemu_position() >= " +
                              std::string(getenv("SECS") ? getenv("SECS") : "50"),
                          30) ||
            page.evaluate("(() => { Module._vemu_stop(); return true; })()") != "true") {
            std::printf("%s: the page did not start (%s)\n", browserName(browser),
                        page.problem().c_str());
            return false;
        }
        firstFrame.push_back(ms);
        int drawn = 0, caughtUp = 0;
        const std::string stopped = page.waitForLine("vemu: show stopped", 30);
        if (std::sscanf(stopped.c_str(), "vemu: show stopped: %d frames drawn, %d catch-up", &drawn,
                        &caughtUp) == 2) {
            drawnShare.push_back(100.0 * drawn / std::max(1, drawn + caughtUp));
        }
        // Again from the start, 3 s, paused, then the seeks.
        if (!page.waitFor("!document.getElementById('start').disabled", 30) ||
            !page.click("#start") || !page.waitFor("Module._vemu_position() >= 150", 30) ||
            page.evaluate("(() => { player.pause(); return true; })()") != "true") {
            std::printf("%s: the page did not start again (%s)\n", browserName(browser),
                        page.problem().c_str());
            return false;
        }
        // A first picture read back costs the browser 100 ms or more once
        // (Chromium): read one before, so that the seeks' times are theirs.
        page.evaluate("(() => { const c = document.createElement('canvas'); c.width = c.height "
                      "= 1; c.getContext('2d').drawImage(canvas, 0, 0, 1, 1); "
                      "c.getContext('2d').getImageData(0, 0, 1, 1); return 1; })()");
        far.push_back(std::atof(page.evaluate(seekTime(kFirstFar)).c_str()));
        for (const int f : seeks) {
            others.push_back(std::atof(page.evaluate(seekTime(f)).c_str()));
        }
    }
    std::printf("%s, 640x480, %d openings: ready %.0f ms after opening (median); first frame "
                "%.0f ms after the start button (median; worst %.0f); first second %.0f %% drawn "
                "(median; least %.0f %%); first seek to 2:18 %.1f ms (median; worst %.1f); other "
                "seeks %.1f ms (median; worst %.1f)\n",
                browserName(browser), runs, median(ready), median(firstFrame), worst(firstFrame),
                median(drawnShare),
                drawnShare.empty() ? 0 : *std::min_element(drawnShare.begin(), drawnShare.end()),
                median(far), worst(far), median(others), worst(others));
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string site = "build-web/site";
    std::vector<Browser> browsers = {Browser::Chromium, Browser::Firefox, Browser::WebKit};
    int starts = 5;
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
                if (name != "chromium" && name != "firefox" && name != "webkit") {
                    std::fprintf(stderr,
                                 "page_bench: no browser \"%s\" (chromium, firefox, webkit)\n",
                                 name.c_str());
                    return 2;
                }
                browsers.push_back(name == "chromium"  ? Browser::Chromium
                                   : name == "firefox" ? Browser::Firefox
                                                       : Browser::WebKit);
            }
        } else if (arg == "--starts" && hasValue) {
            starts = std::atoi(argv[++i]);
        } else if (arg == "--sizes" && hasValue) {
            sizes = split(argv[++i]);
            if (sizes == std::vector<std::string>{"none"}) {
                sizes.clear();
            }
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
        if (starts > 0 && !measureStarts(browser, server, starts)) {
            ++failures;
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
