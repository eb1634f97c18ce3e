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

} // namespace democap
