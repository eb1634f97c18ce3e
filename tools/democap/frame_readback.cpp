#include "tools/democap/frame_readback.h"

#include <GL/gl.h>
#include <cstddef>

namespace democap {

void readFrameRows(std::vector<uint8_t>& rows, int width, int height) {
    rows.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
}

void filterDown(const std::vector<uint8_t>& drawn, int width, int height, int factor,
                std::vector<uint8_t>& out, int outWidth, int x, int y) {
    const size_t drawnRow = static_cast<size_t>(width) * factor * 3;
    const int area = factor * factor;
    for (int row = 0; row < height; ++row) {
        uint8_t* target = out.data() + (static_cast<size_t>(y + row) * outWidth + x) * 3;
        for (int column = 0; column < width; ++column) {
            for (int channel = 0; channel < 3; ++channel) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy) {
                    const uint8_t* source = drawn.data() +
                                            static_cast<size_t>(row * factor + dy) * drawnRow +
                                            static_cast<size_t>(column) * factor * 3 + channel;
                    for (int dx = 0; dx < factor; ++dx) {
                        sum += source[dx * 3];
                    }
                }
                target[column * 3 + channel] = static_cast<uint8_t>((sum + area / 2) / area);
            }
        }
    }
}

void readShowFrame(std::vector<uint8_t>& frame, int frameWidth, int frameHeight,
                   const ShowArea& area, int factor, std::vector<uint8_t>& scratch) {
    const size_t size = static_cast<size_t>(frameWidth) * static_cast<size_t>(frameHeight) * 3;
    if (area.width == frameWidth && area.height == frameHeight && factor == 1) {
        readFrameRows(frame, frameWidth, frameHeight);
        return;
    }
    if (frame.size() != size) {
        frame.assign(size, 0); // the bars: black, and never written again
    }
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (factor == 1) {
        // Straight into place: rows of the frame's length.
        glPixelStorei(GL_PACK_ROW_LENGTH, frameWidth);
        glReadPixels(0, 0, area.width, area.height, GL_RGB, GL_UNSIGNED_BYTE,
                     frame.data() + (static_cast<size_t>(area.y) * frameWidth + area.x) * 3);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        return;
    }
    scratch.resize(static_cast<size_t>(area.width) * factor * area.height * factor * 3);
    glReadPixels(0, 0, area.width * factor, area.height * factor, GL_RGB, GL_UNSIGNED_BYTE,
                 scratch.data());
    filterDown(scratch, area.width, area.height, factor, frame, frameWidth, area.x, area.y);
}

} // namespace democap
