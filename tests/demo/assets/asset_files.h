#pragma once
// Real picture and sound files for the asset tests, written into a fresh
// temporary folder by each test.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};
static_assert(sizeof(Rgba) == 4, "texel read-back writes RGBA bytes straight in");

// A fresh folder under the system's temporary one, removed with everything
// in it at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Makes the folder the working directory for the test's lifetime: the demo
// reads data/ relative to it.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::filesystem::path& dir);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    std::filesystem::path saved_;
};

// Colour of pixel (x, y), y counted from the picture's top row.
using PixelFn = std::function<Rgba(int x, int y)>;

// Written through FreeImage. bpp 24 or 32 for true colour.
enum class SaveAs { Bmp, Png, Jpeg, Tga };
bool writePicture(const std::string& path, int width, int height, int bpp, SaveAs format,
                  const PixelFn& pixel);
// An 8-bit palette PNG whose palette entry 1 is transparent.
bool writePalettePng(const std::string& path, int width, int height, const PixelFn& pixel);
// An 8-bit grey PNG (value from the red channel).
bool writeGreyPng(const std::string& path, int width, int height, const PixelFn& pixel);
// 16 bits per channel: RGB (48 bpp), RGBA (64 bpp) or grey (16 bpp), each
// value the 8-bit one times 257.
enum class Deep { Rgb, Rgba, Grey };
bool writeDeepPng(const std::string& path, int width, int height, Deep kind, const PixelFn& pixel);
// A 1-bit PNG (black where the red channel is below 128).
bool writeMonoPng(const std::string& path, int width, int height, const PixelFn& pixel);

// Formats FreeImage reads but does not write, made by hand.
// 24-bit PCX, three planes, run-length coded.
bool writePcx(const std::string& path, int width, int height, const PixelFn& pixel);
// Uncompressed 32-bit DDS (A8R8G8B8).
bool writeDds(const std::string& path, int width, int height, const PixelFn& pixel);
// A valid PNG header declaring width x height pixels, with almost no data.
bool writeHugePng(const std::string& path, uint32_t width, uint32_t height);

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readBytes(const std::string& path);

// A short mono tone as Ogg Vorbis (libvorbisenc), rate 32000 Hz.
bool writeOggTone(const std::string& path, float seconds);
// A short mono 16-bit WAV tone.
bool writeWavTone(const std::string& path, float seconds);

// Level 0 of the texture bound to GL_TEXTURE_2D as RGBA rows, row 0 = t 0.
std::vector<Rgba> readBoundTexture(int* width, int* height);

// Two-band test picture: the top half one colour, the bottom half another.
PixelFn twoBands(int height, Rgba top, Rgba bottom);

bool nearColour(const Rgba& got, const Rgba& want, int tol);
std::string describe(const Rgba& c);
