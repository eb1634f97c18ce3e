#include "tests/web/page_driver.h"

#include "tests/tools/democap/process_runner.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <type_traits>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using json = nlohmann::json;

constexpr const char* kChromium = "/usr/bin/chromium";
constexpr const char* kFirefox = "/usr/bin/firefox-esr";
constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kPulseAudio = "/usr/bin/pulseaudio";
constexpr const char* kWebKitDriver = "/usr/bin/WebKitWebDriver";

bool connectsTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// Waits until the file holds a line that `find` reads a value from.
template <typename T>
std::optional<T> waitInFile(const std::string& file, double seconds,
                            const std::function<std::optional<T>(const std::string&)>& find) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        if (std::optional<T> value = find(readAll(file))) {
            return value;
        }
        usleep(50000);
    }
    return std::nullopt;
}

// Waits until the file holds one of the texts.
bool waitForAny(const std::string& file, double seconds, const std::vector<std::string>& texts) {
    return waitInFile<bool>(file, seconds,
                            [&](const std::string& text) -> std::optional<bool> {
                                for (const std::string& t : texts) {
                                    if (text.find(t) != std::string::npos) {
                                        return true;
                                    }
                                }
                                return std::nullopt;
                            })
        .has_value();
}

// A TCP connection to a port on loopback, read with a deadline.
class LoopbackLine {
  public:
    bool open(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~LoopbackLine() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }

    bool sendAll(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    // Exactly size bytes, or false by the deadline or on a closed line.
    bool receive(void* into, size_t size, Clock::time_point deadline) {
        char* at = static_cast<char*>(into);
        while (size > 0) {
            const ssize_t n = receiveSome(at, size, deadline);
            if (n <= 0) {
                return false;
            }
            at += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    // What has come, up to size bytes: 0 where the line closed, -1 by the deadline.
    ssize_t receiveSome(char* into, size_t size, Clock::time_point deadline) {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0) {
                return -1;
            }
            const int ready = poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                return -1;
            }
            return recv(fd_, into, size, 0);
        }
    }

  private:
    int fd_ = -1;
};

// A WebSocket client of just what WebDriver BiDi needs: text messages, either
// way, on loopback. Sends no Origin header, which Firefox refuses.
class WebSocket {
  public:
    bool open(int port, const std::string& path) {
        if (!line_.open(port)) {
            return false;
        }
        const std::string request = "GET " + path +
                                    " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                    "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                    "Sec-WebSocket-Key: dmVtdS1wYWdlLWRyaXZlcg==\r\n"
                                    "Sec-WebSocket-Version: 13\r\n\r\n";
        if (!sendAll(request.data(), request.size())) {
            return false;
        }
        std::string answer;
        char c = 0;
        while (answer.find("\r\n\r\n") == std::string::npos && answer.size() < 8192) {
            if (!receive(&c, 1, Clock::now() + std::chrono::seconds(10))) {
                return false;
            }
            answer += c;
        }
        return answer.rfind("HTTP/1.1 101", 0) == 0;
    }
    bool send(const std::string& text) {
        std::string frame(1, static_cast<char>(0x81)); // a whole text message
        const uint64_t n = text.size();
        if (n < 126) {
            frame += static_cast<char>(0x80 | n);
        } else if (n < 65536) {
            frame += static_cast<char>(0x80 | 126);
            frame += static_cast<char>(n >> 8);
            frame += static_cast<char>(n & 0xff);
        } else {
            frame += static_cast<char>(0x80 | 127);
            for (int shift = 56; shift >= 0; shift -= 8) {
                frame += static_cast<char>((n >> shift) & 0xff);
            }
        }
        const unsigned char mask[4] = {0x5a, 0x3c, 0x96, 0xe1}; // clients must mask
        frame.append(reinterpret_cast<const char*>(mask), 4);
        for (size_t i = 0; i < text.size(); ++i) {
            frame += static_cast<char>(text[i] ^ mask[i % 4]);
        }
        return sendAll(frame.data(), frame.size());
    }

    // The next whole message, or nothing by the deadline or on a closed line.
    std::optional<std::string> next(Clock::time_point deadline) {
        std::string message;
        for (;;) {
            unsigned char head[2];
            if (!receive(head, 2, deadline)) {
                return std::nullopt;
            }
            uint64_t n = head[1] & 0x7f;
            if (n >= 126) {
                unsigned char size[8];
                const size_t bytes = n == 126 ? 2 : 8;
                if (!receive(size, bytes, deadline)) {
                    return std::nullopt;
                }
                n = 0;
                for (size_t i = 0; i < bytes; ++i) {
                    n = n << 8 | size[i];
                }
            }
            std::string payload(n, '\0');
            if (n > 0 && !receive(payload.data(), n, deadline)) {
                return std::nullopt;
            }
            const int opcode = head[0] & 0x0f;
            if (opcode == 0x8) {
                return std::nullopt; // closed
            }
            if (opcode == 0x9 || opcode == 0xa) {
                continue; // pings: the browser does not send them on loopback
            }
            message += payload;
            if ((head[0] & 0x80) != 0) {
                return message;
            }
        }
    }

  private:
    bool sendAll(const char* data, size_t size) { return line_.sendAll(data, size); }
    bool receive(void* into, size_t size, Clock::time_point deadline) {
        return line_.receive(into, size, deadline);
    }

    LoopbackLine line_;
};

std::string lastLines(const std::string& text, int count) {
    size_t at = text.size();
    for (int i = 0; i <= count && at > 0; ++i) {
        at = text.rfind('\n', at - 1);
        if (at == std::string::npos) {
            return text;
        }
    }
    return text.substr(at + 1);
}

std::string decodeBase64(const std::string& text) {
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        int v = -1;
        if (c >= 'A' && c <= 'Z') {
            v = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            v = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            v = c - '0' + 52;
        } else if (c == '+') {
            v = 62;
        } else if (c == '/') {
            v = 63;
        }
        if (v < 0) {
            continue; // padding
        }
        value = value << 6 | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xff);
        }
    }
    return out;
}

// An Xvfb server of a browser's own and, with sound, a PulseAudio server
// whose null sink is its output device, one that plays into nothing; without,
// a sound socket nobody serves, as on a machine with no sound card (and a
// host's own sound server is never used).
class HeadlessDesktop {
  public:
    HeadlessDesktop(const std::string& folder, bool sound) {
        const std::string xvfbLog = folder + "/xvfb.log";
        xvfb_.emplace(std::vector<std::string>{kXvfb, "-displayfd", "1", "-screen", "0",
                                               "2600x1800x24", "-nolisten", "tcp"},
                      xvfbLog);
        const std::optional<int> display =
            waitInFile<int>(xvfbLog, 20, [](const std::string& text) -> std::optional<int> {
                // Its display's number, on a line of its own: Xvfb tries the
                // next number where another server took one first, and says so.
                std::istringstream lines(text);
                for (std::string line; std::getline(lines, line);) {
                    if (!line.empty() &&
                        line.find_first_not_of("0123456789") == std::string::npos && !lines.eof()) {
                        return std::stoi(line);
                    }
                }
                return std::nullopt;
            });
        if (!display) {
            problem_ = "Xvfb did not start: " + readAll(xvfbLog);
            return;
        }
        display_ = ":" + std::to_string(*display);
        pulseSocket_ = folder + "/pulse/none";
        if (!sound) {
            return;
        }
        std::filesystem::create_directories(folder + "/pulse");
        pulseSocket_ = folder + "/pulse/native";
        const std::string config = folder + "/pulse/default.pa";
        std::ofstream(config) << "load-module module-native-protocol-unix socket=" << pulseSocket_
                              << " auth-anonymous=1\n"
                              << "load-module module-null-sink sink_name=nothing\n"
                              << "set-default-sink nothing\n";
        pulse_.emplace(std::vector<std::string>{kPulseAudio, "-n", "-F", config, "--daemonize=no",
                                                "--exit-idle-time=-1", "--disallow-exit",
                                                "--log-target=stderr"},
                       folder + "/pulse.log",
                       std::vector<std::string>{"HOME=" + folder + "/pulse",
                                                "XDG_RUNTIME_DIR=" + folder + "/pulse"});
        for (int i = 0; i < 200 && !std::filesystem::exists(pulseSocket_); ++i) {
            usleep(50000);
        }
        if (!std::filesystem::exists(pulseSocket_)) {
            problem_ = "PulseAudio did not start: " + readAll(folder + "/pulse.log");
        }
    }

    // What a browser started on this desktop takes.
    std::vector<std::string> env() const {
        return {"DISPLAY=" + display_, "PULSE_SERVER=unix:" + pulseSocket_};
    }
    const std::string& problem() const { return problem_; }

    // The sound server hangs for a while, then goes on.
    void stallSound(double seconds) {
        if (pulse_) {
            pulse_->pause();
            usleep(static_cast<useconds_t>(seconds * 1e6));
            pulse_->resume();
        }
    }

  private:
    std::optional<Background> xvfb_, pulse_;
    std::string display_;
    std::string pulseSocket_;
    std::string problem_;
};

// Firefox ESR on a desktop of its own, with a fresh profile, driven over
// WebDriver BiDi; the page's console lines gather in log().
class FirefoxSession {
  public:
    FirefoxSession(const std::string& folder, bool sound) : desktop_(folder, sound) {
        problem_ = desktop_.problem();
        if (!problem_.empty()) {
            return;
        }
        const std::string profile = folder + "/firefox-profile";
        std::filesystem::create_directories(profile);
        // Sound may start without a gesture, as Chromium's autoplay flag lets it.
        std::ofstream(profile + "/user.js") << "user_pref(\"media.autoplay.default\", 0);\n"
                                            << "user_pref(\"media.autoplay.block-webaudio\", "
                                               "false);\n";
        const std::string log = folder + "/firefox.log";
        logFile_ = log;
        std::vector<std::string> env = desktop_.env();
        env.insert(env.end(), {"MOZ_CRASHREPORTER_DISABLE=1", "HOME=" + folder});
        firefox_.emplace(std::vector<std::string>{kFirefox, "--remote-debugging-port=0",
                                                  "--profile", profile, "--no-remote",
                                                  "--new-instance", "about:blank"},
                         log, env);
        const std::optional<int> port =
            waitInFile<int>(log, 60, [](const std::string& text) -> std::optional<int> {
                const size_t at = text.find("WebDriver BiDi listening on ws://127.0.0.1:");
                int n = 0;
                if (at != std::string::npos &&
                    std::sscanf(text.c_str() + at, "WebDriver BiDi listening on ws://127.0.0.1:%d",
                                &n) == 1) {
                    return n;
                }
                return std::nullopt;
            });
        if (!port || !socket_.open(*port, "/session")) {
            problem_ = "Firefox's WebDriver BiDi did not answer: " + readAll(log);
            return;
        }
        if (!call("session.new", {{"capabilities", json::object()}}) ||
            !call("session.subscribe", {{"events", {"log.entryAdded"}}})) {
            return;
        }
        const std::optional<json> tree = call("browsingContext.getTree", json::object());
        if (!tree) {
            return;
        }
        context_ = (*tree)["contexts"][0]["context"].get<std::string>();
    }

    // The sound server hangs for a while, from a second after the show starts.
    void stallSound(double seconds) {
        if (waitForLog({"vemu: start-up in"}, 120)) {
            usleep(1000000);
            desktop_.stallSound(seconds);
        }
    }

    const std::string& problem() const { return problem_; }
    const std::string& log() const { return log_; }

    bool setViewport(int width, int height) {
        return call("browsingContext.setViewport",
                    {{"context", context_}, {"viewport", {{"width", width}, {"height", height}}}})
            .has_value();
    }

    bool navigate(const std::string& url) {
        return call("browsingContext.navigate",
                    {{"context", context_}, {"url", url}, {"wait", "interactive"}})
            .has_value();
    }

    // Reads the page's console until a line holds one of the texts.
    bool waitForLog(const std::vector<std::string>& texts, double seconds) {
        const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(seconds));
        for (;;) {
            for (const std::string& t : texts) {
                if (log_.find(t) != std::string::npos) {
                    return true;
                }
            }
            const std::optional<std::string> message = socket_.next(end);
            if (!message) {
                if (Clock::now() < end) {
                    problem_ = "the line to Firefox closed before the page said so; Firefox's "
                               "log ends: " +
                               lastLines(readAll(logFile_), 20);
                }
                return false;
            }
            take(*message);
        }
    }

    // A script's value as text, for a report of how the page stands.
    std::string evaluate(const std::string& expression) {
        const std::optional<json> result =
            call("script.evaluate", {{"expression", expression},
                                     {"target", {{"context", context_}}},
                                     {"awaitPromise", false}});
        if (!result || !(*result)["result"].contains("value")) {
            return result ? result->dump() : "no answer";
        }
        const json& value = (*result)["result"]["value"];
        return value.is_string() ? value.get<std::string>() : value.dump();
    }

    bool screenshot(const std::string& pngFile) {
        const std::optional<json> shot = call("browsingContext.captureScreenshot",
                                              {{"context", context_}, {"origin", "viewport"}});
        if (!shot) {
            return false;
        }
        std::ofstream(pngFile, std::ios::binary)
            << decodeBase64((*shot)["data"].get<std::string>());
        return true;
    }

  private:
    // Sends a command and reads on to its answer, keeping the events between.
    std::optional<json> call(const std::string& method, const json& params) {
        if (!problem_.empty()) {
            return std::nullopt;
        }
        const int id = ++lastId_;
        if (!socket_.send(json{{"id", id}, {"method", method}, {"params", params}}.dump())) {
            problem_ = method + ": the line to Firefox is closed";
            return std::nullopt;
        }
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (const std::optional<std::string> message = socket_.next(end)) {
            const json answer = take(*message);
            if (answer.value("id", -1) == id) {
                if (answer.value("type", "") != "success") {
                    problem_ = method + ": " + answer.dump();
                    return std::nullopt;
                }
                return answer["result"];
            }
        }
        problem_ = method + ": no answer from Firefox";
        return std::nullopt;
    }

    json take(const std::string& message) {
        json m = json::parse(message, nullptr, false);
        if (m.is_object() && m.value("method", "") == "log.entryAdded") {
            log_ += m["params"].value("text", "") + "\n";
        }
        return m;
    }

    HeadlessDesktop desktop_;
    std::optional<Background> firefox_;
    WebSocket socket_;
    std::string context_;
    std::string problem_;
    std::string log_;
    std::string logFile_;
    int lastId_ = 0;
};

// MiniBrowser, WebKitGTK's own browser, where Debian's webkit2gtk-driver
// puts it (the library's folder, by architecture and API version).
std::string miniBrowser() {
    for (const char* api : {"webkit2gtk-4.1", "webkitgtk-6.0"}) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/usr/lib", error)) {
            const std::filesystem::path binary = entry.path() / api / "MiniBrowser";
            if (access(binary.c_str(), X_OK) == 0) {
                return binary.string();
            }
        }
    }
    return "";
}

// A port on loopback that nothing listens on now, for a server that must be
// told its port.
int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

// WebKit's MiniBrowser on a desktop of its own, driven by WebKitWebDriver
// over classic WebDriver (HTTP and JSON). Its console goes nowhere a driver
// can read, so the page's lines are read from the page (window.vemuLines).
// HOME is the work folder: a fresh cache, since WebKit keeps pages by origin.
class WebKitSession {
  public:
    WebKitSession(const std::string& folder, bool sound) : desktop_(folder, sound) {
        problem_ = desktop_.problem();
        if (!problem_.empty()) {
            return;
        }
        port_ = freePort();
        const std::string log = folder + "/webkit.log";
        logFile_ = log;
        std::vector<std::string> env = desktop_.env();
        env.insert(env.end(), {"HOME=" + folder, "XDG_CACHE_HOME=" + folder + "/cache",
                               "XDG_DATA_HOME=" + folder + "/data"});
        driver_.emplace(std::vector<std::string>{kWebKitDriver, "--port=" + std::to_string(port_)},
                        log, env);
        for (int i = 0; i < 200 && !connectsTo(port_); ++i) {
            usleep(50000);
        }
        const json capabilities = {
            {"capabilities",
             {{"alwaysMatch",
               {{"webkitgtk:browserOptions",
                 {{"binary", miniBrowser()}, {"args", {"--automation"}}}}}}}}};
        const std::optional<json> session = call("POST", "/session", capabilities);
        if (session) {
            session_ = "/session/" + (*session)["sessionId"].get<std::string>();
        }
    }
    ~WebKitSession() {
        if (!session_.empty()) {
            call("DELETE", session_, std::nullopt, 10); // ends MiniBrowser
        }
    }

    const std::string& problem() const { return problem_; }
    const std::string& log() const { return log_; }

    // The window's outer size is what WebDriver sets; its inner size is
    // what the page sees, short of the window's own bars.
    bool setViewport(int width, int height) {
        int outerWidth = width, outerHeight = height;
        for (int i = 0; i < 3; ++i) {
            if (!call("POST", session_ + "/window/rect",
                      json{{"width", outerWidth}, {"height", outerHeight}})) {
                return false;
            }
            // The page takes the window's new size a moment later: read it
            // until it is the size asked for, or two reads agree.
            int w = 0, h = 0;
            std::string size, before;
            for (int wait = 0; wait < 40; ++wait) {
                usleep(50000);
                size = evaluate("innerWidth + ' ' + innerHeight");
                if (std::sscanf(size.c_str(), "%d %d", &w, &h) != 2 ||
                    (w == width && h == height) || size == before) {
                    break;
                }
                before = size;
            }
            if (w == width && h == height) {
                return true;
            }
            outerWidth += width - w;
            outerHeight += height - h;
        }
        problem_ = "the window cannot show a page of " + std::to_string(width) + " x " +
                   std::to_string(height);
        return false;
    }

    bool navigate(const std::string& url) {
        taken_ = 0;
        return call("POST", session_ + "/url", json{{"url", url}}, 120).has_value();
    }

    // Reads the page's lines until one holds one of the texts.
    bool waitForLog(const std::vector<std::string>& texts, double seconds) {
        const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(seconds));
        for (;;) {
            for (const std::string& t : texts) {
                if (log_.find(t) != std::string::npos) {
                    return true;
                }
            }
            if (Clock::now() >= end || !problem_.empty()) {
                return false;
            }
            usleep(100000);
            const std::optional<json> lines =
                call("POST", session_ + "/execute/sync",
                     json{{"script", "return (window.vemuLines || []).slice(arguments[0]);"},
                          {"args", {taken_}}});
            if (lines && lines->is_array()) {
                for (const json& line : *lines) {
                    log_ += line.get<std::string>() + "\n";
                    ++taken_;
                }
            }
        }
    }

    void stallSound(double seconds) {
        if (waitForLog({"vemu: start-up in"}, 120)) {
            usleep(1000000);
            desktop_.stallSound(seconds);
        }
    }

    // A script's value as text.
    std::string evaluate(const std::string& expression) {
        const std::optional<json> value =
            call("POST", session_ + "/execute/sync",
                 json{{"script", "return " + expression + ";"}, {"args", json::array()}});
        if (!value) {
            return "no answer";
        }
        return value->is_string() ? value->get<std::string>() : value->dump();
    }

    // A click as a viewer's, which lets the page start sound.
    bool click(const std::string& selector) {
        const std::optional<json> element = call(
            "POST", session_ + "/element", json{{"using", "css selector"}, {"value", selector}});
        return element &&
               call("POST",
                    session_ + "/element/" +
                        element->value("element-6066-11e4-a52e-4f735466cecf", "") + "/click",
                    json::object());
    }

    bool screenshot(const std::string& pngFile) {
        const std::optional<json> shot = call("GET", session_ + "/screenshot", std::nullopt);
        return shot && writeBase64(shot->get<std::string>(), pngFile);
    }

    // The first canvas under the selector, as the PNG file it makes itself:
    // the whole of it, whatever the window's size.
    bool canvasPicture(const std::string& selector, const std::string& pngFile) {
        const std::string url =
            evaluate("document.querySelector('" + selector + "').toDataURL('image/png')");
        const std::string head = "data:image/png;base64,";
        return url.rfind(head, 0) == 0 && writeBase64(url.substr(head.size()), pngFile);
    }

  private:
    static bool writeBase64(const std::string& text, const std::string& file) {
        std::ofstream out(file, std::ios::binary);
        out << decodeBase64(text);
        return static_cast<bool>(out);
    }

    // One command: its answer's value, or nothing with the reason in problem_.
    std::optional<json> call(const std::string& method, const std::string& path,
                             const std::optional<json>& body, double seconds = 60) {
        if (!problem_.empty()) {
            return std::nullopt;
        }
        const std::string content = body ? body->dump() : "";
        const std::string request =
            method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
            "\r\nContent-Type: application/json\r\nContent-Length: " +
            std::to_string(content.size()) + "\r\nConnection: close\r\n\r\n" + content;
        LoopbackLine line;
        std::string answer;
        const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(seconds));
        if (line.open(port_) && line.sendAll(request.data(), request.size())) {
            char buffer[65536];
            ssize_t n = 0;
            while ((n = line.receiveSome(buffer, sizeof buffer, end)) > 0) {
                answer.append(buffer, static_cast<size_t>(n));
            }
            if (n < 0) {
                problem_ = method + " " + path + ": no answer from WebKit in time";
                return std::nullopt;
            }
        }
        const size_t bodyAt = answer.find("\r\n\r\n");
        const json reply = bodyAt == std::string::npos
                               ? json()
                               : json::parse(answer.substr(bodyAt + 4), nullptr, false);
        if (!reply.is_object() || !reply.contains("value")) {
            problem_ = method + " " + path + ": WebKitWebDriver did not answer; its log ends: " +
                       lastLines(readAll(logFile_), 20);
            return std::nullopt;
        }
        if (answer.rfind("HTTP/1.1 200", 0) != 0) {
            problem_ = method + " " + path + ": " + reply["value"].dump();
            return std::nullopt;
        }
        return reply["value"];
    }

    HeadlessDesktop desktop_;
    std::optional<Background> driver_;
    int port_ = 0;
    std::string session_;
    std::string problem_;
    std::string log_;
    std::string logFile_;
    int taken_ = 0; // the page's lines read so far
};

std::vector<std::string> chromiumArgs(const std::string& profile) {
    return {kChromium,
            "--headless=new",
            "--no-sandbox",
            "--use-gl=angle",
            "--use-angle=swiftshader",
            "--enable-unsafe-swiftshader",
            "--hide-scrollbars",
            "--enable-logging=stderr",
            "--v=0",
            "--user-data-dir=" + profile};
}

// Headless Chromium driven over the DevTools protocol, attached to its page:
// for what only that protocol does (device emulation, touch events).
class ChromiumSession {
  public:
    ChromiumSession(const std::string& folder, int width, int height) {
        const std::string log = folder + "/chromium-cdp.log";
        std::vector<std::string> args = chromiumArgs(folder + "/chromium-cdp-profile");
        args.insert(args.end(),
                    {"--window-size=" + std::to_string(width) + "," + std::to_string(height),
                     "--remote-debugging-port=0", "--autoplay-policy=no-user-gesture-required",
                     "about:blank"});
        chromium_.emplace(args, log);
        const std::optional<std::string> path = waitInFile<std::string>(
            log, 60, [](const std::string& text) -> std::optional<std::string> {
                const std::string mark = "DevTools listening on ws://127.0.0.1:";
                const size_t at = text.find(mark);
                const size_t end = at == std::string::npos ? at : text.find('\n', at);
                if (end == std::string::npos) {
                    return std::nullopt;
                }
                return text.substr(at + mark.size(), end - at - mark.size());
            });
        const size_t slash = path ? path->find('/') : std::string::npos;
        if (slash == std::string::npos ||
            !socket_.open(std::stoi(path->substr(0, slash)), path->substr(slash))) {
            problem_ = "Chromium's DevTools did not answer: " + readAll(log);
            return;
        }
        const std::optional<json> targets = call("Target.getTargets", json::object(), false);
        if (!targets) {
            return;
        }
        for (const json& t : (*targets)["targetInfos"]) {
            if (t.value("type", "") == "page") {
                const std::optional<json> attached =
                    call("Target.attachToTarget", {{"targetId", t["targetId"]}, {"flatten", true}},
                         false);
                if (attached) {
                    session_ = (*attached)["sessionId"].get<std::string>();
                }
                break;
            }
        }
        if (session_.empty() && problem_.empty()) {
            problem_ = "Chromium has no page to attach to";
        }
    }

    std::optional<json> call(const std::string& method, const json& params, bool onPage = true) {
        if (!problem_.empty()) {
            return std::nullopt;
        }
        const int id = ++lastId_;
        json message = {{"id", id}, {"method", method}, {"params", params}};
        if (onPage) {
            message["sessionId"] = session_;
        }
        if (!socket_.send(message.dump())) {
            problem_ = method + ": the line to Chromium is closed";
            return std::nullopt;
        }
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (const std::optional<std::string> text = socket_.next(end)) {
            const json answer = json::parse(*text, nullptr, false);
            if (answer.is_object() && answer.value("id", -1) == id) {
                if (answer.contains("error")) {
                    problem_ = method + ": " + answer["error"].dump();
                    return std::nullopt;
                }
                return answer["result"];
            }
        }
        problem_ = method + ": no answer from Chromium";
        return std::nullopt;
    }

    const std::string& problem() const { return problem_; }

  private:
    std::optional<Background> chromium_;
    WebSocket socket_;
    std::string session_;
    std::string problem_;
    int lastId_ = 0;
};

// The page's clock and sound as a JSON text.
constexpr const char* kPageStanding =
    "(() => { const a = Module.vemuAudio; const c = a && a.context; "
    "return JSON.stringify({ visibility: document.visibilityState, "
    "now: performance.now(), title: document.title, "
    "audio: c ? { state: c.state, currentTime: c.currentTime, startAt: a.startAt, "
    "offset: a.offset, silent: !!a.silent, ended: !!a.ended, source: !!a.source } "
    ": null }); })()";

void readEndLine(PagePlay& play) {
    const size_t at = play.log.find("vemu: show ended");
    if (at == std::string::npos) {
        play.problem = "the show did not end by itself";
        if (!play.standing.empty()) {
            play.problem += "; the page stands at " + play.standing;
        }
        return;
    }
    if (std::sscanf(play.log.c_str() + at,
                    "vemu: show ended: %d frames drawn, %d catch-up steps; pictures after their "
                    "moment in the music by %lf ms on average, %lf ms at most; longest pass %lf ms",
                    &play.drawn, &play.caughtUp, &play.meanLag, &play.mostLag,
                    &play.longestPass) != 5) {
        play.problem = "the show's last line is not as it should be: " + play.log.substr(at, 300);
        return;
    }
    // Where the line says more (pages before these figures did not).
    const std::string line = play.log.substr(at, play.log.find('\n', at) - at);
    const size_t frame = line.find("(to frame ");
    if (frame != std::string::npos) {
        std::sscanf(line.c_str() + frame, "(to frame %d)", &play.longestPassFrame);
    }
    const size_t scale = line.find("drawn at ");
    if (scale != std::string::npos) {
        std::sscanf(line.c_str() + scale, "drawn at %lf", &play.leastScale);
    }
    const size_t button = line.find(" ms from the start button");
    const size_t startup = play.log.find("vemu: start-up in ");
    double sinceButton = 0, startupMs = 0;
    if (button != std::string::npos && startup != std::string::npos &&
        std::sscanf(line.c_str() + line.rfind(' ', button - 1), " %lf", &sinceButton) == 1 &&
        std::sscanf(play.log.c_str() + startup, "vemu: start-up in %lf", &startupMs) == 1) {
        play.playMs = sinceButton - startupMs;
    }
}

} // namespace

const char* browserName(Browser browser) {
    switch (browser) {
    case Browser::Chromium:
        return "Chromium";
    case Browser::Firefox:
        return "Firefox ESR";
    case Browser::WebKit:
        return "WebKit";
    }
    return "?";
}

bool browserInstalled(Browser browser) {
    if (browser == Browser::Chromium) {
        return access(kChromium, X_OK) == 0;
    }
    const bool desktop = access(kXvfb, X_OK) == 0 && access(kPulseAudio, X_OK) == 0;
    if (browser == Browser::Firefox) {
        return desktop && access(kFirefox, X_OK) == 0;
    }
    return desktop && access(kWebKitDriver, X_OK) == 0 && !miniBrowser().empty();
}

Background::Background(const std::vector<std::string>& args, const std::string& logFile,
                       const std::vector<std::string>& env) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const char* log = logFile.empty() ? "/dev/null" : logFile.c_str();
    // Created empty before the program starts: a wait that reads the log at
    // once must never find what an earlier run wrote under the same name.
    const int fd = open(log, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
        }
        for (const std::string& e : env) {
            putenv(const_cast<char*>(e.c_str()));
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (fd >= 0) {
        close(fd);
    }
}

Background::~Background() {
    if (pid_ <= 0) {
        return;
    }
    // A browser asked to end can hang in its own shutdown (Chromium has, for
    // good): ten seconds, then the whole group is killed.
    kill(-pid_, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            kill(-pid_, SIGKILL); // what it left of its group
            return;
        }
        usleep(50000);
    }
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

void Background::pause() {
    if (pid_ > 0) {
        kill(-pid_, SIGSTOP);
    }
}

void Background::resume() {
    if (pid_ > 0) {
        kill(-pid_, SIGCONT);
    }
}

SiteServer::SiteServer(const std::string& site)
    : port_(20000 + static_cast<int>(getpid() % 20000)),
      process_({"/usr/bin/python3", "-m", "http.server", std::to_string(port_), "--bind",
                "127.0.0.1", "--directory", site},
               "") {
    // Ready once it takes a connection.
    for (int i = 0; i < 100 && !accepts(); ++i) {
        usleep(50000);
    }
}

std::string SiteServer::url(const std::string& query) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/index.html?" + query;
}

bool SiteServer::accepts() const {
    return connectsTo(port_);
}

std::string readAll(const std::string& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

// The show played in a driven browser (Firefox, WebKit) until it ends.
template <typename Session>
void playIn(Session& session, const std::string& url, const PlayOptions& options, PagePlay& play) {
    const std::vector<std::string> ends = {"vemu: show ended", "cannot start", "went wrong"};
    if (session.setViewport(options.width, options.height) && session.navigate(url)) {
        if constexpr (std::is_same_v<Session, WebKitSession>) {
            // WebKit starts sound only after a gesture, and has no flag that
            // lets it: the viewer's two clicks, in the window, then start.
            if (options.sound && (!session.waitForLog({"vemu: Ready"}, 120) ||
                                  !session.click("#toggle") || !session.click("#start"))) {
                play.log = session.log();
                play.problem =
                    session.problem().empty() ? "the page did not get ready" : session.problem();
                return;
            }
        }
        if (options.soundStallSeconds > 0) {
            session.stallSound(options.soundStallSeconds);
        }
        if (!session.waitForLog(ends, options.timeLimitSeconds) && session.problem().empty()) {
            // Where the show stands still: its clock and its sound.
            play.standing = session.evaluate(kPageStanding);
        }
    }
    play.log = session.log();
    play.problem = session.problem();
}

} // namespace

PagePlay playPage(Browser browser, const SiteServer& server, const PlayOptions& options,
                  const std::string& workFolder) {
    const std::string url = server.url("autoplay&from=" + std::to_string(options.from));
    const std::vector<std::string> ends = {"vemu: show ended", "cannot start", "went wrong"};
    PagePlay play;
    if (browser == Browser::Chromium) {
        const std::string log = workFolder + "/chromium.log";
        std::vector<std::string> args = chromiumArgs(workFolder + "/chromium-profile");
        args.push_back("--window-size=" + std::to_string(options.width) + "," +
                       std::to_string(options.height));
        args.push_back("--remote-debugging-port=0"); // keeps the headless browser open
        args.push_back(options.sound ? "--autoplay-policy=no-user-gesture-required"
                                     : "--disable-audio-output");
        args.push_back(url);
        Background chromium(args, log);
        waitForAny(log, options.timeLimitSeconds, ends);
        play.log = readAll(log);
    } else if (browser == Browser::Firefox) {
        FirefoxSession firefox(workFolder, options.sound);
        playIn(firefox, url, options, play);
    } else {
        WebKitSession webkit(workFolder, options.sound);
        playIn(webkit, options.sound ? server.url("from=" + std::to_string(options.from)) : url,
               options, play);
    }
    if (play.problem.empty()) {
        readEndLine(play);
    }
    return play;
}

namespace {

// A driven browser at width x height on url, until the page says `done` (or
// one of the failures), then a screenshot; the page's lines, and a problem
// where the page did not say `done`. WebKit, whose window cannot be as large
// as a sheet, gives the sheet's own picture instead.
template <typename Session>
PageSheet screenshotIn(const std::string& url, int width, int height, const std::string& done,
                       const std::string& failure, double seconds, const std::string& pngFile,
                       const std::string& workFolder, bool sheet) {
    PageSheet shot;
    Session session(workFolder, false);
    if (session.setViewport(sheet ? 640 : width, sheet ? 480 : height) && session.navigate(url) &&
        session.waitForLog({done, failure, "went wrong"}, seconds) &&
        session.log().find(done) != std::string::npos) {
        usleep(200000); // what the page shows is there by the next paint
        if constexpr (std::is_same_v<Session, WebKitSession>) {
            if (sheet) {
                session.canvasPicture("#stage canvas", pngFile);
            } else {
                session.screenshot(pngFile);
            }
        } else {
            session.screenshot(pngFile);
        }
    }
    shot.log = session.log();
    shot.problem = session.problem();
    return shot;
}

PageSheet driverScreenshot(Browser browser, const std::string& url, int width, int height,
                           const std::string& done, const std::string& failure, double seconds,
                           const std::string& pngFile, const std::string& workFolder, bool sheet) {
    if (browser == Browser::WebKit) {
        return screenshotIn<WebKitSession>(url, width, height, done, failure, seconds, pngFile,
                                           workFolder, sheet);
    }
    return screenshotIn<FirefoxSession>(url, width, height, done, failure, seconds, pngFile,
                                        workFolder, false);
}

void noteMissing(PageSheet& shot, const std::string& done) {
    if (shot.problem.empty() && shot.log.find(done) == std::string::npos) {
        shot.problem = "the page did not say \"" + done + "\"";
    }
}

} // namespace

PageSheet pageHeldFrame(Browser browser, const SiteServer& server, int from,
                        const std::string& pngFile, const std::string& workFolder,
                        const std::string& query) {
    const std::string held = "vemu: held at frame";
    const std::string url = server.url("autoplay&hold&from=" + std::to_string(from) +
                                       (query.empty() ? "" : "&" + query));
    PageSheet frame = driverScreenshot(browser, url, 640, 480, held, "cannot start", 300, pngFile,
                                       workFolder, false);
    noteMissing(frame, held);
    return frame;
}

PageSheet chromiumHeld(const SiteServer& server, int from, bool reducedMotion,
                       const std::string& workFolder, const std::string& moment) {
    const std::string held = "vemu: held at frame";
    const std::string log = workFolder + "/chromium-held.log";
    std::vector<std::string> args = chromiumArgs(workFolder + "/chromium-held-profile");
    // In real time, until the page says it holds: a virtual-time budget can
    // run out between the clock reaching the frame and the frame being drawn
    // (virtual time runs on while no animation frame comes). The debugging
    // port keeps headless Chromium open until it is ended.
    args.insert(args.end(), {"--window-size=640,480", "--remote-debugging-port=0",
                             "--autoplay-policy=no-user-gesture-required"});
    if (reducedMotion) {
        args.push_back("--force-prefers-reduced-motion");
    }
    args.push_back(moment.empty() ? server.url("autoplay&hold&from=" + std::to_string(from))
                                  : server.url("autoplay&hold") + "#t=" + moment);
    PageSheet frame;
    {
        Background chromium(args, log);
        waitForAny(log, 120, {held, "cannot start", "went wrong"});
    }
    frame.log = readAll(log);
    noteMissing(frame, held);
    return frame;
}

namespace {

// A sheet of frameCount tiles, four wide, that the page at `query` lays.
PageSheet sheetAt(Browser browser, const SiteServer& server, const std::string& query,
                  int frameCount, const std::string& failure, const std::string& pngFile,
                  const std::string& workFolder) {
    const int rows = (frameCount + 3) / 4;
    const std::string url = server.url(query);
    const std::string done = std::to_string(frameCount) + " frames drawn";
    PageSheet sheet;
    if (browser == Browser::Chromium) {
        std::vector<std::string> args = chromiumArgs(workFolder + "/chromium-sheet-profile");
        args.insert(args.end(),
                    {"--window-size=2560," + std::to_string(480 * rows),
                     "--virtual-time-budget=120000", "--autoplay-policy=no-user-gesture-required",
                     "--screenshot=" + pngFile, url});
        // Headless Chromium draws the page, takes the picture and ends.
        sheet.log = runProgram(args, workFolder).output;
    } else {
        sheet = driverScreenshot(browser, url, 2560, 480 * rows, done, failure, 180, pngFile,
                                 workFolder, true);
    }
    noteMissing(sheet, done);
    return sheet;
}

} // namespace

PageSheet pageSheet(Browser browser, const SiteServer& server, const std::string& frameList,
                    int frameCount, const std::string& pngFile, const std::string& workFolder) {
    return sheetAt(browser, server, "frames=" + frameList, frameCount, "not one the show draws",
                   pngFile, workFolder);
}

PageSheet pageSeekSheet(Browser browser, const SiteServer& server, const std::string& frameList,
                        int frameCount, const std::string& pngFile, const std::string& workFolder) {
    return sheetAt(browser, server, "autoplay&seeks=" + frameList, frameCount, "no seek to frame",
                   pngFile, workFolder);
}

struct DrivenPage::Impl {
    Browser browser;
    std::optional<ChromiumSession> chromium;
    std::optional<FirefoxSession> firefox;
    std::optional<WebKitSession> webkit;
    std::string problem;
};

DrivenPage::DrivenPage(Browser browser, const SiteServer& server, const std::string& query,
                       int width, int height, const std::string& workFolder, bool asDevice)
    : impl_(std::make_unique<Impl>()) {
    impl_->browser = browser;
    const std::string url = server.url(query);
    if (browser == Browser::Chromium) {
        ChromiumSession& c = impl_->chromium.emplace(workFolder, width, height);
        if (asDevice) {
            c.call("Emulation.setDeviceMetricsOverride", {{"width", width},
                                                          {"height", height},
                                                          {"deviceScaleFactor", 2},
                                                          {"mobile", true}}) &&
                c.call("Emulation.setTouchEmulationEnabled",
                       {{"enabled", true}, {"maxTouchPoints", 5}});
        }
        c.call("Page.navigate", {{"url", url}});
    } else if (browser == Browser::Firefox) {
        FirefoxSession& f = impl_->firefox.emplace(workFolder, true);
        f.setViewport(width, height) && f.navigate(url);
    } else {
        WebKitSession& w = impl_->webkit.emplace(workFolder, true);
        w.setViewport(width, height) && w.navigate(url);
    }
}

DrivenPage::~DrivenPage() = default;

std::string DrivenPage::evaluate(const std::string& expression) {
    if (impl_->firefox) {
        return impl_->firefox->evaluate(expression);
    }
    if (impl_->webkit) {
        return impl_->webkit->evaluate(expression);
    }
    const std::optional<json> result = impl_->chromium->call(
        "Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}});
    if (!result || !(*result)["result"].contains("value")) {
        return "";
    }
    const json& value = (*result)["result"]["value"];
    return value.is_string() ? value.get<std::string>() : value.dump();
}

bool DrivenPage::waitFor(const std::string& expression, double seconds) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    while (Clock::now() < end && problem().empty()) {
        if (evaluate(expression) == "true") {
            return true;
        }
        usleep(100000);
    }
    return false;
}

std::string DrivenPage::waitForLine(const std::string& text, double seconds) {
    const std::string quoted = json(text).dump();
    if (!waitFor("window.vemuLines !== undefined && vemuLines.some((l) => l.includes(" + quoted +
                     "))",
                 seconds)) {
        return "";
    }
    return evaluate("vemuLines.find((l) => l.includes(" + quoted + "))");
}

bool DrivenPage::click(const std::string& selector) {
    if (impl_->webkit) {
        return impl_->webkit->click(selector);
    }
    // Chromium and Firefox start sound without a gesture here (their flags).
    return evaluate("(() => { document.querySelector(" + json(selector).dump() +
                    ").click(); return true; })()") == "true";
}

bool DrivenPage::touch(const std::vector<std::pair<double, double>>& path) {
    if (!impl_->chromium) {
        return false;
    }
    ChromiumSession& c = *impl_->chromium;
    for (size_t i = 0; i < path.size(); ++i) {
        const std::string type = i == 0 ? "touchStart" : "touchMove";
        if (!c.call("Input.dispatchTouchEvent",
                    {{"type", type},
                     {"touchPoints", {{{"x", path[i].first}, {"y", path[i].second}}}}})) {
            return false;
        }
    }
    return c
        .call("Input.dispatchTouchEvent", {{"type", "touchEnd"}, {"touchPoints", json::array()}})
        .has_value();
}

bool DrivenPage::screenshot(const std::string& pngFile) {
    if (impl_->firefox) {
        return impl_->firefox->screenshot(pngFile);
    }
    if (impl_->webkit) {
        return impl_->webkit->screenshot(pngFile);
    }
    const std::optional<json> shot =
        impl_->chromium->call("Page.captureScreenshot", {{"format", "png"}});
    if (!shot) {
        return false;
    }
    std::ofstream(pngFile, std::ios::binary) << decodeBase64((*shot)["data"].get<std::string>());
    return true;
}

const std::string& DrivenPage::problem() const {
    if (impl_->firefox) {
        return impl_->firefox->problem();
    }
    if (impl_->webkit) {
        return impl_->webkit->problem();
    }
    return impl_->chromium->problem();
}
