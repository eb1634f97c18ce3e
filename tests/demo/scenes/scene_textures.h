#pragma once
#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <vector>

// Test-made stand-ins for the show's pictures.

// The soft spot the sparks and the tower use: one channel, 255 in the middle
// falling to 0 at radius 60, as start-up computes it.
inline GLuint makeTestSpotTexture() {
    std::vector<uint8_t> texels(128 * 128, 0);
    for (int y = -64; y < 64; ++y) {
        for (int x = -64; x < 64; ++x) {
            const double d = std::sqrt(static_cast<double>(x * x + y * y));
            if (d < 60.0) {
                texels[static_cast<size_t>((y + 64) * 128 + (x + 64))] =
                    static_cast<uint8_t>(255.0 - 4.25 * d);
            }
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 1, 128, 128, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return name;
}

// A page like a credits picture: transparent, with opaque blocks of "text"
// lines in the given colour across its middle.
inline GLuint makeTestPageTexture(uint8_t r, uint8_t g, uint8_t b) {
    constexpr int w = 256, h = 256;
    std::vector<uint8_t> texels(static_cast<size_t>(w * h * 4), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool line = y >= 64 && y < 192 && (y / 8) % 2 == 0;
            const bool word = x >= 48 && x < 208 && (x / 12) % 4 != 3;
            uint8_t* p = &texels[static_cast<size_t>((y * w + x) * 4)];
            if (line && word) {
                p[0] = r;
                p[1] = g;
                p[2] = b;
                p[3] = 255;
            }
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return name;
}

// Largest channel difference between two read-backs of the same size.
inline int maxPixelDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const int d = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
        worst = d > worst ? d : worst;
    }
    return worst;
}

// Pixels (RGB triples) that differ by more than tol on some channel.
inline int countDifferentPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                                int tol = 3) {
    int count = 0;
    for (size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3) {
        for (size_t c = 0; c < 3; ++c) {
            const int d = a[i + c] > b[i + c] ? a[i + c] - b[i + c] : b[i + c] - a[i + c];
            if (d > tol) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// Pixels that are not black.
inline int countLitPixels(const std::vector<uint8_t>& rgb) {
    int count = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        if (rgb[i] != 0 || rgb[i + 1] != 0 || rgb[i + 2] != 0) {
            ++count;
        }
    }
    return count;
}
