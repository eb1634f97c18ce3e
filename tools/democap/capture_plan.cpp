#include "tools/democap/capture_plan.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace democap {

namespace {

// Plain decimal digits only: no sign, no spaces, no trailing junk.
std::optional<int64_t> parseCount(const std::string& text) {
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<FrameRange> parseRange(const std::string& text, std::string& error) {
    const size_t dash = text.find('-');
    const std::string firstText = dash == std::string::npos ? text : text.substr(0, dash);
    const std::string lastText = dash == std::string::npos ? text : text.substr(dash + 1);
    const auto first = parseCount(firstText);
    const auto last = parseCount(lastText);
    if (!first || !last) {
        error = "\"" + text + "\" is not a frame or a range of frames like 650-700";
        return std::nullopt;
    }
    if (*first > kLastShownFrame || *last > kLastShownFrame) {
        error = "\"" + text + "\" goes beyond the last frame, " + std::to_string(kLastShownFrame);
        return std::nullopt;
    }
    if (*first > *last) {
        error = "\"" + text + "\" runs backwards";
        return std::nullopt;
    }
    return FrameRange{static_cast<int32_t>(*first), static_cast<int32_t>(*last)};
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string formatSeconds(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

} // namespace

std::optional<std::vector<FrameRange>> parseFrameList(const std::string& text, std::string& error) {
    std::vector<FrameRange> ranges;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.empty()) {
            error = "empty entry in frame list \"" + text + "\"";
            return std::nullopt;
        }
        auto range = parseRange(item, error);
        if (!range) {
            return std::nullopt;
        }
        ranges.push_back(*range);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    // Overlaps are harmless (a frame is skipped or not), so merge them.
    std::sort(ranges.begin(), ranges.end(),
              [](const FrameRange& a, const FrameRange& b) { return a.first < b.first; });
    std::vector<FrameRange> merged;
    for (const FrameRange& r : ranges) {
        if (!merged.empty() && r.first <= merged.back().last + 1) {
            merged.back().last = std::max(merged.back().last, r.last);
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

std::optional<std::pair<int, int>> namedSize(const std::string& name) {
    static const std::pair<const char*, std::pair<int, int>> sizes[] = {{"720p", {1280, 720}},
                                                                        {"1080p", {1920, 1080}},
                                                                        {"1440p", {2560, 1440}},
                                                                        {"2160p", {3840, 2160}}};
    for (const auto& [text, size] : sizes) {
        if (lower(name) == text) {
            return size;
        }
    }
    return std::nullopt;
}

ShowArea showArea(const Options& o) {
    // 4:3 exactly, or asked to fill: the whole frame.
    if (o.stretch || static_cast<int64_t>(o.width) * 3 == static_cast<int64_t>(o.height) * 4) {
        return {0, 0, o.width, o.height};
    }
    int width = o.width;
    int height = o.height;
    if (static_cast<int64_t>(o.width) * 3 > static_cast<int64_t>(o.height) * 4) {
        width = std::max(1, static_cast<int>(static_cast<int64_t>(o.height) * 4 / 3));
    } else {
        height = std::max(1, static_cast<int>(static_cast<int64_t>(o.width) * 3 / 4));
    }
    return {(o.width - width) / 2, (o.height - height) / 2, width, height};
}

OutputKind outputKindOf(const std::string& path) {
    const std::string name = lower(path);
    for (const char* ext : {".mp4", ".mkv", ".webm"}) {
        if (endsWith(name, ext) && name.size() > std::string(ext).size() && name.back() != '/') {
            return OutputKind::Video;
        }
    }
    return OutputKind::PngFolder;
}

std::string usageText() {
    const std::string last = std::to_string(kLastShownFrame);
    return "Usage: democap [--package DIR] [--size WxH|NAME] [--stretch] [--samples N]\n"
           "               [--gentle] [--frames A-B] [--every K] [--skip LIST]\n"
           "               [--jobs N] --out PATH\n"
           "               [--flash-report FILE [--flash-plot PNG]]\n"
           "Renders the show headless, frame by frame, to pictures or a video, and\n"
           "measures its flashing.\n"
           "\n"
           "  --package DIR  folder holding data/ (default: the current directory)\n"
           "  --size WxH     frame size (default 640x480), or a name for 16:9 video:\n"
           "                 720p (1280x720), 1080p (1920x1080), 1440p (2560x1440),\n"
           "                 2160p (3840x2160). The show is 4:3: in a frame of\n"
           "                 another shape it is drawn as large as fits, centred,\n"
           "                 with black bars (1440x1080 in 1080p)\n"
           "  --stretch      fill the whole frame instead (the show's shapes widen)\n"
           "  --gentle       the gentle show: each white flash drawn as a thin frame\n"
           "                 around the picture, on the same frames; all else the same\n"
           "  --samples N    samples per pixel: 1 (default), 2, 4 or 8; more give\n"
           "                 smooth edges to lines and shapes, pictures stay sharp\n"
           "                 (multisampling where the driver offers N, otherwise\n"
           "                 drawn larger and filtered down); slower\n"
           "  --frames A-B   frames to write, 0 to " +
           last + " (default 0-" + last +
           "); earlier\n"
           "                 frames are still run so every state is exact, but\n"
           "                 not drawn to size, so they cost little\n"
           "  --every K      keep every K-th frame of the range: A, A+K, ...\n"
           "  --skip LIST    frames run as catch-up steps instead of drawn,\n"
           "                 e.g. 650-700,2950; no picture for those\n"
           "  --out PATH     a folder: one PNG per frame, frame_NNNNN.png;\n"
           "                 a .mp4, .mkv or .webm file: a 50 fps video through\n"
           "                 ffmpeg with " +
           std::string(kMusicPath) +
           " as its sound, if present\n"
           "                 (a skipped frame repeats the picture before it;\n"
           "                 with --every K each picture lasts K frames)\n"
           "                 Each file is written as NAME.part and renamed once\n"
           "                 whole; a stop or a failure leaves nothing under\n"
           "                 its final name (an old video stays)\n"
           "  --jobs N       processes sharing the frames out (default: one per core,\n"
           "                 at most " +
           std::to_string(kDefaultMostJobs) +
           "), each with its own run-up and its share\n"
           "                 of the GL driver's threads; the same output, byte for\n"
           "                 byte, as with one (a video's frames go to one ffmpeg\n"
           "                 in order). Each job holds the show's textures\n"
           "  --flash-report FILE\n"
           "                 measure the frames' flashing after WCAG 2.3.1 (the\n"
           "                 general and red flash thresholds) and write the\n"
           "                 failing stretches and each second's flashes to FILE;\n"
           "                 --out may then be left out. Needs every frame of the\n"
           "                 range (no --every, no --skip); a small --size will do\n"
           "  --flash-plot PNG\n"
           "                 with --flash-report: the flashes per second along the\n"
           "                 show as a picture, the scenes marked\n"
           "  --help         this text\n"
           "\n"
           "Testing aid (environment): VEMU_GL_ALPHA_BITS=N asks the GL context for\n"
           "N alpha bits, as many drivers give; the frames must not change.\n"
           "\n"
           "Exit status: 0 done, 1 failure while rendering or writing, 2 bad arguments,\n"
           "3 done, but the frames flash past the thresholds (--flash-report).\n";
}

ParseResult parseArguments(const std::vector<std::string>& args) {
    ParseResult result;
    Options& o = result.options;
    std::set<std::string> seen;
    auto fail = [&result](std::string message) {
        result.status = ParseResult::Status::Error;
        result.error = std::move(message);
        return result;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (name == "--help" || name == "-h") {
            result.status = ParseResult::Status::Help;
            return result;
        }
        if (name.rfind("--", 0) != 0) {
            return fail("unexpected argument \"" + name + "\"");
        }
        const size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        static const std::set<std::string> known{
            "--package", "--size",    "--frames",       "--every",      "--skip",
            "--out",     "--samples", "--flash-report", "--flash-plot", "--jobs"};
        if (name == "--stretch" || name == "--gentle") {
            if (value) {
                return fail(name + " takes no value");
            }
            (name == "--stretch" ? o.stretch : o.gentle) = true;
            continue;
        }
        if (known.count(name) == 0) {
            return fail("unknown option \"" + name + "\"");
        }
        if (!seen.insert(name).second) {
            return fail(name + " given twice");
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return fail(name + " needs a value");
            }
            value = args[++i];
        }
        const std::string& v = *value;
        if (name == "--package") {
            if (v.empty()) {
                return fail("--package needs a folder");
            }
            o.packageDir = v;
        } else if (name == "--size" && namedSize(v)) {
            std::tie(o.width, o.height) = *namedSize(v);
        } else if (name == "--size") {
            const size_t x = lower(v).find('x');
            const auto w = x == std::string::npos ? std::nullopt : parseCount(v.substr(0, x));
            const auto h = x == std::string::npos ? std::nullopt : parseCount(v.substr(x + 1));
            if (!w || !h) {
                return fail("--size \"" + v +
                            "\" is not WIDTHxHEIGHT (e.g. 1920x1080) nor 720p, 1080p, 1440p or "
                            "2160p");
            }
            if (*w < 1 || *h < 1 || *w > kMaxSide || *h > kMaxSide) {
                return fail("--size " + v + ": each side must be 1 to " + std::to_string(kMaxSide));
            }
            o.width = static_cast<int>(*w);
            o.height = static_cast<int>(*h);
        } else if (name == "--frames") {
            if (v.find(',') != std::string::npos) {
                return fail("--frames takes one range, A-B");
            }
            std::string error;
            auto range = parseRange(v, error);
            if (!range) {
                return fail("--frames: " + error);
            }
            o.frames = *range;
        } else if (name == "--every") {
            const auto k = parseCount(v);
            if (!k || *k < 1) {
                return fail("--every \"" + v + "\" is not a whole number of at least 1");
            }
            o.every = static_cast<int>(*k);
        } else if (name == "--samples") {
            const auto n = parseCount(v);
            if (!n || (*n != 1 && *n != 2 && *n != 4 && *n != 8)) {
                return fail("--samples \"" + v + "\" is not 1, 2, 4 or 8");
            }
            o.samples = static_cast<int>(*n);
        } else if (name == "--jobs") {
            const auto n = parseCount(v);
            if (!n || *n < 1 || *n > kMostJobs) {
                return fail("--jobs \"" + v + "\" is not a whole number from 1 to " +
                            std::to_string(kMostJobs));
            }
            o.jobs = static_cast<int>(*n);
        } else if (name == "--skip") {
            std::string error;
            auto list = parseFrameList(v, error);
            if (!list) {
                return fail("--skip: " + error);
            }
            o.skip = std::move(*list);
        } else if (name == "--out") {
            if (v.empty()) {
                return fail("--out needs a folder or a video file name");
            }
            o.out = v;
        } else if (name == "--flash-report") {
            if (v.empty()) {
                return fail("--flash-report needs a file name");
            }
            o.flashReport = v;
        } else if (name == "--flash-plot") {
            if (v.empty()) {
                return fail("--flash-plot needs a file name");
            }
            o.flashPlot = v;
        }
    }
    if (o.out.empty() && o.flashReport.empty()) {
        return fail("--out is required (a folder for PNGs, or a .mp4/.mkv/.webm file)");
    }
    if (!o.flashPlot.empty() && o.flashReport.empty()) {
        return fail("--flash-plot goes with --flash-report");
    }
    if (!o.flashReport.empty() && o.jobs > 1) {
        return fail("--flash-report reads the frames in order, in one job: leave out --jobs");
    }
    if (!o.flashReport.empty() && (o.every != 1 || !o.skip.empty())) {
        return fail("--flash-report measures every frame of the range: leave out --every and "
                    "--skip");
    }
    o.outputKind = o.out.empty() ? OutputKind::None : outputKindOf(o.out);
    if (o.outputKind == OutputKind::Video && (o.width % 2 != 0 || o.height % 2 != 0)) {
        return fail("a video needs an even width and height (--size " + std::to_string(o.width) +
                    "x" + std::to_string(o.height) + ")");
    }
    result.status = ParseResult::Status::Run;
    return result;
}

FramePlan::FramePlan(const Options& options)
    : range_(options.frames), every_(options.every), skip_(options.skip) {}

bool FramePlan::skipped(int32_t frame) const {
    // skip_ is sorted and merged: find the last range starting at or before frame.
    auto it = std::upper_bound(skip_.begin(), skip_.end(), frame,
                               [](int32_t f, const FrameRange& r) { return f < r.first; });
    return it != skip_.begin() && frame <= std::prev(it)->last;
}

bool FramePlan::onGrid(int32_t frame) const {
    return frame >= range_.first && frame <= range_.last && (frame - range_.first) % every_ == 0;
}

int32_t FramePlan::gridCount() const {
    return (range_.last - range_.first) / every_ + 1;
}

int32_t FramePlan::gridCountIn(int32_t from, int32_t to) const {
    from = std::max(from, range_.first);
    to = std::min(to, range_.last);
    if (from > to) {
        return 0;
    }
    const auto slotsUpTo = [this](int32_t frame) { return (frame - range_.first) / every_ + 1; };
    return slotsUpTo(to) - (from > range_.first ? slotsUpTo(from - 1) : 0);
}

int32_t FramePlan::lastKeptBefore(int32_t frame) const {
    if (frame <= range_.first) {
        return -1;
    }
    int32_t f = range_.first + (std::min(frame - 1, range_.last) - range_.first) / every_ * every_;
    for (; f >= range_.first; f -= every_) {
        if (!skipped(f)) {
            return f;
        }
    }
    return -1;
}

ChunkPlan::ChunkPlan(const Options& options, int32_t gridSlotsPerChunk)
    : range_(options.frames), length_(std::max(gridSlotsPerChunk, 1) * options.every) {
    count_ = (range_.last - range_.first) / length_ + 1;
}

FrameRange ChunkPlan::chunk(int32_t index) const {
    const int32_t first = range_.first + index * length_;
    return {first, std::min(first + length_ - 1, range_.last)};
}

int32_t gridSlotsPerChunk(const Options& options) {
    constexpr int64_t kChunkBytes = 48 << 20;
    const int64_t frameBytes = static_cast<int64_t>(options.width) * options.height * 3;
    if (options.outputKind != OutputKind::Video) {
        return 50;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(kChunkBytes / frameBytes, 4, 50));
}

int jobCount(const Options& options, int cores) {
    if (options.outputKind == OutputKind::None || !options.flashReport.empty()) {
        return 1; // the flash analysis reads the frames in order
    }
    const int asked = options.jobs > 0 ? options.jobs : std::clamp(cores, 1, kDefaultMostJobs);
    return std::max(1, std::min(asked, ChunkPlan(options, gridSlotsPerChunk(options)).count()));
}

int32_t FramePlan::keptCount() const {
    int32_t count = 0;
    for (int32_t f = range_.first; f <= range_.last; f += every_) {
        count += skipped(f) ? 0 : 1;
    }
    return count;
}

std::string frameFileName(int32_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.png", static_cast<int>(frame));
    return name;
}

std::vector<std::string> ffmpegArguments(const Options& o, const std::string& musicPath) {
    const bool webm = endsWith(lower(o.out), ".webm");
    const bool mp4 = endsWith(lower(o.out), ".mp4");
    const std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
    std::vector<std::string> a{"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                               // the pictures, one every K timeline frames
                               "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", size, "-framerate",
                               std::to_string(kFramesPerSecond) + "/" + std::to_string(o.every),
                               "-i", "pipe:0"};
    if (!musicPath.empty()) {
        // The music starts with frame 0; cut it to the range so the video
        // keeps every frame even when the file is shorter or longer.
        const FramePlan plan(o);
        const double start = static_cast<double>(o.frames.first) / kFramesPerSecond;
        const double length = static_cast<double>(plan.gridCount()) * o.every / kFramesPerSecond;
        char startText[32];
        char lengthText[32];
        std::snprintf(startText, sizeof startText, "%.3f", start);
        std::snprintf(lengthText, sizeof lengthText, "%.3f", length);
        a.insert(a.end(), {"-ss", startText, "-t", lengthText, "-i", musicPath});
    }
    a.insert(a.end(), {"-map", "0:v:0"});
    if (!musicPath.empty()) {
        a.insert(a.end(), {"-map", "1:a:0"});
    }
    // GL hands rows bottom first. RGB to YUV with the matrix players assume
    // for the size (BT.709 from 720 lines up, BT.601 below), in video range,
    // and all of it tagged, so nothing is left to guessing. The primaries are
    // BT.709 at every size: the show is drawn in sRGB's. The tags are set on
    // the frames themselves (setparams) as well as on the output: ffmpeg 7
    // lets frames that carry none override the output options with
    // "unknown".
    const bool hd = o.width >= 1280 || o.height >= 720;
    const std::string matrix = hd ? "bt709" : "smpte170m";
    a.insert(a.end(), {"-vf",
                       std::string("vflip,scale=out_color_matrix=") + (hd ? "bt709" : "bt601") +
                           ":out_range=tv:flags=accurate_rnd+full_chroma_int,format=yuv420p,"
                           "setparams=range=tv:color_primaries=bt709:color_trc=bt709:colorspace=" +
                           matrix,
                       "-r", std::to_string(kFramesPerSecond), "-colorspace", matrix,
                       "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv"});
    if (webm) {
        a.insert(a.end(), {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                           "-row-mt", "1", "-b:v", "0", "-crf", "32", "-pix_fmt", "yuv420p"});
    } else {
        a.insert(a.end(),
                 {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p"});
    }
    if (!musicPath.empty()) {
        // AAC starts with 1024 frames of encoder priming, which MP4's edit
        // list hides and Matroska does not (the sound came 32 ms late):
        // Matroska gets Opus, whose pre-skip it carries.
        if (mp4) {
            a.insert(a.end(), {"-c:a", "aac", "-b:a", "192k"});
        } else {
            a.insert(a.end(), {"-c:a", "libopus", "-b:a", "160k"});
        }
    }
    if (mp4) {
        a.insert(a.end(), {"-movflags", "+faststart"});
    }
    // Written beside the final name, which it takes only once whole: the
    // container is named, since the temporary name says none.
    a.insert(a.end(), {"-f", webm ? "webm" : mp4 ? "mp4" : "matroska", partialName(o.out)});
    return a;
}

std::string partialName(const std::string& out) {
    return out + ".part";
}

std::optional<std::string> findExecutable(const std::string& name, const char* pathList) {
    if (name.find('/') != std::string::npos) {
        return access(name.c_str(), X_OK) == 0 ? std::optional<std::string>(name) : std::nullopt;
    }
    const std::string list = pathList != nullptr ? pathList : "";
    size_t start = 0;
    while (start <= list.size()) {
        size_t colon = list.find(':', start);
        if (colon == std::string::npos) {
            colon = list.size();
        }
        // An empty PATH entry means the current directory.
        std::string candidate =
            colon == start ? std::string(".") : list.substr(start, colon - start);
        candidate.append("/").append(name);
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = colon + 1;
    }
    return std::nullopt;
}

ProgressMeter::ProgressMeter(int32_t total, bool terminal, double minIntervalSeconds,
                             int32_t firstWritten)
    : total_(std::max(total, 1)), firstWritten_(std::clamp(firstWritten, 0, total_ - 1)),
      terminal_(terminal), minInterval_(minIntervalSeconds) {}

ProgressMeter::Phase ProgressMeter::phase(int32_t done, int32_t frame, double elapsed) {
    if (frame < firstWritten_) {
        return {done, firstWritten_, elapsed, true};
    }
    if (rangeStart_ < 0.0) {
        rangeStart_ = lastElapsed_; // when the range's first frame began
    }
    return {done - firstWritten_, total_ - firstWritten_, elapsed - rangeStart_, false};
}

// Off a terminal: a line every 5 percent of the range, every 25 of the
// run-up, which goes by fast.
int ProgressMeter::stepOf(const Phase& p) {
    const int steps = p.runUp ? 4 : 20;
    return static_cast<int>(static_cast<int64_t>(p.done) * steps / std::max(p.total, 1));
}

std::string ProgressMeter::line(const Phase& p, int32_t frame) const {
    const double percent = 100.0 * p.done / std::max(p.total, 1);
    const double fps = p.seconds > 0.0 ? p.done / p.seconds : 0.0;
    const double left = fps > 0.0 ? (p.total - p.done) / fps : 0.0;
    char text[160];
    if (p.runUp) {
        std::snprintf(text, sizeof text,
                      "democap: frame %5d  run-up %5.1f%%  %7.1f fps  %s to frame %d",
                      static_cast<int>(frame), percent, fps, formatSeconds(left).c_str(),
                      static_cast<int>(firstWritten_));
    } else {
        std::snprintf(text, sizeof text, "democap: frame %5d  %5.1f%%  %7.1f fps  %s left",
                      static_cast<int>(frame), percent, fps, formatSeconds(left).c_str());
    }
    return text;
}

std::optional<std::string> ProgressMeter::update(int32_t done, int32_t frame, double elapsed) {
    const Phase p = phase(done, frame, elapsed);
    lastElapsed_ = elapsed;
    if (terminal_) {
        if (anyShown_ && elapsed - lastShown_ < minInterval_ && done < total_) {
            return std::nullopt;
        }
        anyShown_ = true;
        lastShown_ = elapsed;
        // Pad so a shorter line wipes out the end of a longer one.
        return std::string("\r").append(line(p, frame)).append("   ");
    }
    if (p.runUp != lastStepRunUp_) {
        lastStepRunUp_ = p.runUp;
        lastStep_ = -1; // each part has its own steps
    }
    const int step = stepOf(p);
    if (step <= lastStep_) {
        return std::nullopt;
    }
    lastStep_ = step;
    anyShown_ = true;
    return line(p, frame) + "\n";
}

std::string ProgressMeter::finish(int32_t done, int32_t frame, double elapsed) {
    const Phase p = phase(done, frame, elapsed);
    if (terminal_) {
        return std::string("\r").append(line(p, frame)).append("   \n");
    }
    const int step = stepOf(p);
    if (step > lastStep_ || p.runUp != lastStepRunUp_) {
        return line(p, frame) + "\n";
    }
    return "";
}

} // namespace democap
