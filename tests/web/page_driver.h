#pragma once
// The page driven in a real browser, for the web tests and the page's
// benchmark: headless Chromium (WebGL 2 on SwiftShader), read through its
// console log; Firefox ESR under Xvfb (WebGL on Mesa, since headless Firefox
// has none here), driven over WebDriver BiDi; and WebKit (WebKitGTK's
// MiniBrowser) under Xvfb, driven over classic WebDriver. A static server
// on loopback serves the built site.
#include <memory>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

enum class Browser { Chromium, Firefox, WebKit };

const char* browserName(Browser browser);
// For test names and messages.
inline void PrintTo(Browser browser, std::ostream* out) {
    *out << browserName(browser);
}
bool browserInstalled(Browser browser);

// A program running beside the caller, its output into a file (or nowhere),
// stopped with the object, with any processes it started.
class Background {
  public:
    Background(const std::vector<std::string>& args, const std::string& logFile,
               const std::vector<std::string>& env = {});
    ~Background();
    // Stops the program, and lets it go on (as a sound server that hangs).
    void pause();
    void resume();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

  private:
    pid_t pid_ = -1;
};

// A static server for a built site on loopback, stopped with the object.
class SiteServer {
  public:
    explicit SiteServer(const std::string& site);
    std::string url(const std::string& query) const;
    bool accepts() const;

  private:
    int port_;
    Background process_;
};

std::string readAll(const std::string& file);

// What the page said when its show ended by itself, or why it did not.
struct PagePlay {
    std::string log;     // the page's console lines
    std::string problem; // empty where the show ended and said how it went
    int drawn = 0;
    int caughtUp = 0;
    double meanLag = 0;
    double mostLag = 0;
    double longestPass = 0;
    int longestPassFrame = 0; // the frame the longest pass ended at
    double leastScale = 1;    // the least share of the window's size drawn at
    double playMs = 0;        // from the end of the start-up to the show's end
    std::string standing;     // Firefox, WebKit: the page's clock and sound where it stood still
};

struct PlayOptions {
    int from = 0;
    int width = 640; // the window's inner size
    int height = 480;
    bool sound = true;             // false: a browser with no audio output
    double timeLimitSeconds = 300; // from the page opening: a late start runs up first
    // Firefox, WebKit: the sound server stops this long, a second after the show starts.
    double soundStallSeconds = 0;
};

// The show played in real time from options.from to its end, started at
// once (?autoplay) with sound allowed without a gesture, where it has any.
PagePlay playPage(Browser browser, const SiteServer& server, const PlayOptions& options,
                  const std::string& workFolder);

// The page's frame-exact sheet (?frames=), one 640 x 480 tile per frame,
// four wide, as a PNG file; returns its console lines, where a problem says
// why there is no sheet.
struct PageSheet {
    std::string log;
    std::string problem;
};
PageSheet pageSheet(Browser browser, const SiteServer& server, const std::string& frameList,
                    int frameCount, const std::string& pngFile, const std::string& workFolder);

// The same sheet of the frames the page shows after a seek to each in turn,
// from a show that played a second, fell behind through the hall and was
// paused (?seeks=); its lines say when each seek was done.
PageSheet pageSeekSheet(Browser browser, const SiteServer& server, const std::string& frameList,
                        int frameCount, const std::string& pngFile, const std::string& workFolder);
// Firefox or WebKit: the page started at frame `from` (?from=N&hold),
// standing on the first frame it draws, screenshot at 640 x 480 as a PNG
// file. `query` adds to the page's address ("gentle").
PageSheet pageHeldFrame(Browser browser, const SiteServer& server, int from,
                        const std::string& pngFile, const std::string& workFolder,
                        const std::string& query = "");
// Headless Chromium, asked or not to report that the viewer prefers reduced
// motion: the page started at frame `from` and held there; its lines. With
// a moment ("64.36"), the page is opened at that address (#t=) instead.
PageSheet chromiumHeld(const SiteServer& server, int from, bool reducedMotion,
                       const std::string& workFolder, const std::string& moment = "");

// The page in a browser driven from here, at a window of width x height CSS
// px with sound allowed; asDevice (Chromium only): as on a phone or tablet,
// a mobile viewport and touch, over the DevTools protocol.
class DrivenPage {
  public:
    DrivenPage(Browser browser, const SiteServer& server, const std::string& query, int width,
               int height, const std::string& workFolder, bool asDevice = false);
    ~DrivenPage();
    // A script's value, as JSON text ("true", "42", or the string itself).
    std::string evaluate(const std::string& expression);
    bool waitFor(const std::string& expression, double seconds);
    // The page's first line that holds the text, once there is one ("" by then).
    std::string waitForLine(const std::string& text, double seconds);
    // A click on the element, as a viewer's where the browser tells them apart.
    bool click(const std::string& selector);
    // Chromium as a device: one finger down at the first point, moved
    // through the others, lifted.
    bool touch(const std::vector<std::pair<double, double>>& path);
    bool screenshot(const std::string& pngFile);
    const std::string& problem() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
