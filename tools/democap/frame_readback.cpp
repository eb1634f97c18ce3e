#include "tools/democap/frame_readback.h"

#include <FreeImage.h>
#include <GL/gl.h>

namespace democap {

void readFrameInto(FIBITMAP* bitmap, int width, int height) {
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, FI_RGBA_RED == 2 ? GL_BGR : GL_RGB, GL_UNSIGNED_BYTE,
                 FreeImage_GetBits(bitmap));
}

void readFrameRows(std::vector<uint8_t>& rows, int width, int height) {
    rows.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
}

} // namespace democap
