// The GL 1.1 subset over OpenGL ES 3 (WebGL 2 in the browser). Immediate
// mode is gathered per glBegin/glEnd and drawn at glEnd, transformed on the
// CPU so wide and smooth lines can be built as quads in screen space (ES has
// no line width above 1 and no line smoothing); GL_CLAMP's border colour is
// put back in the shader (ES has no border). Everything else passes through.
#include <GLES3/gl3.h>

#include "web/gl11/gl11_state.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

// GL 1.1 values ES does not have.
constexpr GLenum kQuads = 0x0007;
constexpr GLenum kQuadStrip = 0x0008;
constexpr GLenum kPolygon = 0x0009;
constexpr GLenum kModelview = 0x1700;
constexpr GLenum kProjection = 0x1701;
constexpr GLenum kModelviewMatrix = 0x0BA6;
constexpr GLenum kProjectionMatrix = 0x0BA7;
constexpr GLenum kTexture2D = 0x0DE1;
constexpr GLenum kLineSmooth = 0x0B20;
constexpr GLenum kClamp = 0x2900;
constexpr GLenum kLineMode = 0x1B01;

using Matrix = std::array<float, 16>; // column-major, as GL keeps it

constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[c * 4 + k];
            }
            r[c * 4 + row] = sum;
        }
    }
    return r;
}

struct Vec4 {
    float x, y, z, w;
};

Vec4 transform(const Matrix& m, const Vec4& v) {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w,
            m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
            m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w,
            m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w};
}

// A vertex as given, and as drawn (clip space, with the line edge distance).
struct Vertex {
    Vec4 position;
    float r, g, b, a;
    float s, t;
};
struct DrawVertex {
    float x, y, z, w;
    float r, g, b, a;
    float s, t;
    float edge; // signed distance from a line's centre, in pixels
};

struct TextureInfo {
    int width = 0;
    int height = 0;
    bool borderS = false; // GL_CLAMP: linear filtering takes in the border colour
    bool borderT = false;
};

const char* const kVertexShader = R"(#version 300 es
in vec4 aPosition;
in vec4 aColor;
in vec2 aTexCoord;
in float aEdge;
out vec4 vColor;
out vec2 vTexCoord;
out float vEdgeW;
out float vW;
// The edge distance is laid out in window pixels: interpolated times w and
// divided by the interpolated w, it comes out linear on screen, not in depth
// (a line that starts at the near plane has w 0.1 at one end, 200 at the other).
void main() {
    gl_Position = aPosition;
    vColor = aColor;
    vTexCoord = aTexCoord;
    vEdgeW = aEdge * aPosition.w;
    vW = aPosition.w;
}
)";

// GL_MODULATE texturing; GL_CLAMP's transparent black border weighed in as
// linear filtering would at the texture's edges (on the level in use); the
// coverage of a smooth line's edge in its alpha.
const char* const kFragmentShader = R"(#version 300 es
precision highp float;
uniform sampler2D uTexture;
uniform bool uTextured;
uniform vec2 uBorder;
uniform vec2 uTextureSize;
uniform float uSmoothHalfWidth;
in vec4 vColor;
in vec2 vTexCoord;
in float vEdgeW;
in float vW;
out vec4 fragColor;
void main() {
    vec4 c = vColor;
    if (uTextured) {
        vec4 t = texture(uTexture, vTexCoord);
        if (uBorder.x > 0.0 || uBorder.y > 0.0) {
            vec2 texels = vTexCoord * uTextureSize;
            float footprint = max(length(dFdx(texels)), length(dFdy(texels)));
            vec2 size = uTextureSize / max(footprint, 1.0);
            vec2 u = clamp(vTexCoord, 0.0, 1.0) * size;
            vec2 outside = clamp(0.5 - u, 0.0, 0.5) + clamp(u - (size - 0.5), 0.0, 0.5);
            outside *= uBorder;
            t *= (1.0 - outside.x) * (1.0 - outside.y);
        }
        c *= t;
    }
    if (uSmoothHalfWidth > 0.0) {
        c.a *= clamp(uSmoothHalfWidth + 0.5 - abs(vEdgeW / vW), 0.0, 1.0);
    }
    fragColor = c;
}
)";

// The driver state the show sets through the subset, as the show last set it
// (`want`) and as the driver has it (`sent`). Calls change `want` only; what
// differs goes to the driver just before it draws, clears or uploads. Frames
// run for their state alone then make no driver call at all: each WebGL call
// costs, and some engines (WebKit's GPU process) pay an IPC round trip for a
// getter.
struct DriverState {
    bool blend = false;
    bool depthTest = false;
    bool scissorTest = false;
    GLint blendFactors[4] = {GL_ONE, GL_ZERO, GL_ONE, GL_ZERO}; // source, destination; RGB, alpha
    GLint depthFunc = GL_LESS;
    GLboolean depthMask = GL_TRUE;
    GLboolean colorMask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    GLfloat clearColor[4] = {0, 0, 0, 0};
    GLfloat clearDepth = 1;
    GLint viewport[4] = {0, 0, 1, 1};
    GLint scissor[4] = {0, 0, 1, 1};
    GLuint boundTexture = 0;
};

struct Subset {
    bool ready = false;
    GLuint program = 0;
    GLuint buffer = 0;
    GLuint vertexArray = 0;
    GLint uTextured = -1, uBorder = -1, uTextureSize = -1, uSmoothHalfWidth = -1, uTexture = -1;
    // The uniforms as last set: each WebGL call costs, and most draws of a
    // frame (and every frame of a run-up) set the same again.
    int lastTextured = -1;
    float lastBorder[2] = {-1, -1};
    float lastTextureSize[2] = {-1, -1};
    float lastSmoothHalfWidth = -1;

    GLenum matrixMode = kModelview;
    std::vector<Matrix> modelview{kIdentity};
    std::vector<Matrix> projection{kIdentity};

    float color[4] = {1, 1, 1, 1};
    float texCoord[2] = {0, 0};
    GLenum primitive = 0;
    bool inBegin = false;
    std::vector<Vertex> vertices;

    bool texturing = false;
    bool lineSmooth = false;
    GLenum polygonMode = 0x1B02; // fill
    float lineWidth = 1.0f;
    bool driverRead = false; // `sent` holds what the driver had at the first call
    DriverState want;
    DriverState sent;
    std::unordered_map<GLuint, TextureInfo> textures;

    std::vector<DrawVertex> triangles; // clip space, ready to draw
    bool drawing = true;               // off: state calls only (gl11SetDrawing)
};

Subset& gl() {
    static Subset subset;
    return subset;
}

// The driver state, read from the driver once (a context is current by the
// first GL call).
DriverState& want() {
    Subset& s = gl();
    if (!s.driverRead) {
        s.driverRead = true;
        DriverState& d = s.sent;
        d.blend = glIsEnabled(GL_BLEND) == GL_TRUE;
        d.depthTest = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
        d.scissorTest = glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
        glGetIntegerv(GL_BLEND_SRC_RGB, &d.blendFactors[0]);
        glGetIntegerv(GL_BLEND_DST_RGB, &d.blendFactors[1]);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &d.blendFactors[2]);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &d.blendFactors[3]);
        glGetIntegerv(GL_DEPTH_FUNC, &d.depthFunc);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &d.depthMask);
        glGetBooleanv(GL_COLOR_WRITEMASK, d.colorMask);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, d.clearColor);
        glGetFloatv(GL_DEPTH_CLEAR_VALUE, &d.clearDepth);
        glGetIntegerv(GL_VIEWPORT, d.viewport);
        glGetIntegerv(GL_SCISSOR_BOX, d.scissor);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        d.boundTexture = static_cast<GLuint>(bound);
        s.want = d;
    }
    return s.want;
}

template <size_t N, typename T> bool same(const T (&a)[N], const T (&b)[N]) {
    return std::equal(a, a + N, b);
}

void capability(GLenum cap, bool on) {
    (on ? glEnable : glDisable)(cap);
}

// What the show set and the driver does not have yet, to the driver.
void sendState() {
    const DriverState& w = want();
    DriverState& d = gl().sent;
    if (w.blend != d.blend) {
        capability(GL_BLEND, w.blend);
    }
    if (w.depthTest != d.depthTest) {
        capability(GL_DEPTH_TEST, w.depthTest);
    }
    if (w.scissorTest != d.scissorTest) {
        capability(GL_SCISSOR_TEST, w.scissorTest);
    }
    if (!same(w.blendFactors, d.blendFactors)) {
        glBlendFuncSeparate(
            static_cast<GLenum>(w.blendFactors[0]), static_cast<GLenum>(w.blendFactors[1]),
            static_cast<GLenum>(w.blendFactors[2]), static_cast<GLenum>(w.blendFactors[3]));
    }
    if (w.depthFunc != d.depthFunc) {
        glDepthFunc(static_cast<GLenum>(w.depthFunc));
    }
    if (w.depthMask != d.depthMask) {
        glDepthMask(w.depthMask);
    }
    if (!same(w.colorMask, d.colorMask)) {
        glColorMask(w.colorMask[0], w.colorMask[1], w.colorMask[2], w.colorMask[3]);
    }
    if (!same(w.clearColor, d.clearColor)) {
        glClearColor(w.clearColor[0], w.clearColor[1], w.clearColor[2], w.clearColor[3]);
    }
    if (w.clearDepth != d.clearDepth) {
        glClearDepthf(w.clearDepth);
    }
    if (!same(w.viewport, d.viewport)) {
        glViewport(w.viewport[0], w.viewport[1], w.viewport[2], w.viewport[3]);
    }
    if (!same(w.scissor, d.scissor)) {
        glScissor(w.scissor[0], w.scissor[1], w.scissor[2], w.scissor[3]);
    }
    if (w.boundTexture != d.boundTexture) {
        glBindTexture(GL_TEXTURE_2D, w.boundTexture);
    }
    d = w;
}

Matrix& current() {
    Subset& s = gl();
    return s.matrixMode == kProjection ? s.projection.back() : s.modelview.back();
}

GLuint compile(GLenum type, const char* source) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == 0) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "gl11: shader: %s\n", log);
    }
    return shader;
}

// Made on first draw, once a context is current.
bool ensureReady() {
    Subset& s = gl();
    if (s.ready) {
        return s.program != 0;
    }
    s.ready = true;
    const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, kFragmentShader);
    s.program = glCreateProgram();
    glAttachShader(s.program, vs);
    glAttachShader(s.program, fs);
    glBindAttribLocation(s.program, 0, "aPosition");
    glBindAttribLocation(s.program, 1, "aColor");
    glBindAttribLocation(s.program, 2, "aTexCoord");
    glBindAttribLocation(s.program, 3, "aEdge");
    glLinkProgram(s.program);
    GLint ok = 0;
    glGetProgramiv(s.program, GL_LINK_STATUS, &ok);
    glDeleteShader(vs);
    glDeleteShader(fs);
    if (ok == 0) {
        std::fprintf(stderr, "gl11: the shader program did not link\n");
        glDeleteProgram(s.program);
        s.program = 0;
        return false;
    }
    s.uTextured = glGetUniformLocation(s.program, "uTextured");
    s.uBorder = glGetUniformLocation(s.program, "uBorder");
    s.uTextureSize = glGetUniformLocation(s.program, "uTextureSize");
    s.uSmoothHalfWidth = glGetUniformLocation(s.program, "uSmoothHalfWidth");
    s.uTexture = glGetUniformLocation(s.program, "uTexture");
    glGenVertexArrays(1, &s.vertexArray);
    glGenBuffers(1, &s.buffer);
    glBindVertexArray(s.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, s.buffer);
    const GLsizei stride = sizeof(DrawVertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(DrawVertex, r)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(DrawVertex, s)));
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(3, 1, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(DrawVertex, edge)));
    // Nothing else of the build binds a program, vertex array or buffer:
    // these stay bound from here on.
    glUseProgram(s.program);
    glUniform1i(s.uTexture, 0);
    return true;
}

DrawVertex toDraw(const Vec4& clip, const Vertex& v, float edge) {
    return {clip.x, clip.y, clip.z, clip.w, v.r, v.g, v.b, v.a, v.s, v.t, edge};
}

Vertex lerp(const Vertex& a, const Vertex& b, float k) {
    auto mix = [k](float p, float q) { return p + (q - p) * k; };
    return {{mix(a.position.x, b.position.x), mix(a.position.y, b.position.y),
             mix(a.position.z, b.position.z), mix(a.position.w, b.position.w)},
            mix(a.r, b.r),
            mix(a.g, b.g),
            mix(a.b, b.b),
            mix(a.a, b.a),
            mix(a.s, b.s),
            mix(a.t, b.t)};
}

void draw(float smoothHalfWidth) {
    Subset& s = gl();
    if (s.triangles.empty() || !ensureReady()) {
        s.triangles.clear();
        return;
    }
    sendState();
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(s.triangles.size() * sizeof(DrawVertex)),
                 s.triangles.data(), GL_STREAM_DRAW);
    const int textured = s.texturing && s.want.boundTexture != 0 ? 1 : 0;
    if (textured != s.lastTextured) {
        glUniform1i(s.uTextured, textured);
        s.lastTextured = textured;
    }
    const TextureInfo& info = s.textures[s.want.boundTexture];
    const float border[2] = {info.borderS ? 1.0f : 0.0f, info.borderT ? 1.0f : 0.0f};
    if (border[0] != s.lastBorder[0] || border[1] != s.lastBorder[1]) {
        glUniform2f(s.uBorder, border[0], border[1]);
        s.lastBorder[0] = border[0];
        s.lastBorder[1] = border[1];
    }
    const float size[2] = {static_cast<float>(info.width), static_cast<float>(info.height)};
    if (size[0] != s.lastTextureSize[0] || size[1] != s.lastTextureSize[1]) {
        glUniform2f(s.uTextureSize, size[0], size[1]);
        s.lastTextureSize[0] = size[0];
        s.lastTextureSize[1] = size[1];
    }
    if (smoothHalfWidth != s.lastSmoothHalfWidth) {
        glUniform1f(s.uSmoothHalfWidth, smoothHalfWidth);
        s.lastSmoothHalfWidth = smoothHalfWidth;
    }
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(s.triangles.size()));
    s.triangles.clear();
}

// A line from a to b (already in clip space) as a quad of the line width in
// window pixels, with the signed distance from its centre for smoothing.
void addLine(const Vertex& a, const Vertex& b, float halfWidth) {
    Subset& s = gl();
    // Clip against the near plane first: a line passing behind the eye has
    // no place on screen to offset from.
    Vertex p = a, q = b;
    const float dp = p.position.z + p.position.w, dq = q.position.z + q.position.w;
    if (dp < 0.0f && dq < 0.0f) {
        return;
    }
    if (dp < 0.0f) {
        p = lerp(p, q, dp / (dp - dq));
    } else if (dq < 0.0f) {
        q = lerp(q, p, dq / (dq - dp));
    }
    const float vw = static_cast<float>(s.want.viewport[2]),
                vh = static_cast<float>(s.want.viewport[3]);
    const float px = p.position.x / p.position.w * 0.5f * vw,
                py = p.position.y / p.position.w * 0.5f * vh;
    const float qx = q.position.x / q.position.w * 0.5f * vw,
                qy = q.position.y / q.position.w * 0.5f * vh;
    float dx = qx - px, dy = qy - py;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (length < 1e-6f) {
        return;
    }
    dx /= length;
    dy /= length;
    // The normal, in normalized device units per pixel.
    const float nx = -dy * 2.0f / vw, ny = dx * 2.0f / vh;
    auto offset = [&](const Vertex& v, float pixels) {
        return Vec4{v.position.x + nx * pixels * v.position.w,
                    v.position.y + ny * pixels * v.position.w, v.position.z, v.position.w};
    };
    const DrawVertex p0 = toDraw(offset(p, -halfWidth), p, -halfWidth);
    const DrawVertex p1 = toDraw(offset(p, halfWidth), p, halfWidth);
    const DrawVertex q0 = toDraw(offset(q, -halfWidth), q, -halfWidth);
    const DrawVertex q1 = toDraw(offset(q, halfWidth), q, halfWidth);
    s.triangles.insert(s.triangles.end(), {p0, p1, q1, p0, q1, q0});
}

void addTriangle(const Vertex& a, const Vertex& b, const Vertex& c) {
    Subset& s = gl();
    s.triangles.push_back(toDraw(a.position, a, 0.0f));
    s.triangles.push_back(toDraw(b.position, b, 0.0f));
    s.triangles.push_back(toDraw(c.position, c, 0.0f));
}

// The polygons of a primitive, each as its vertex indices in order.
std::vector<std::vector<size_t>> polygonsOf(GLenum mode, size_t n) {
    std::vector<std::vector<size_t>> polygons;
    switch (mode) {
    case GL_TRIANGLES:
        for (size_t i = 0; i + 2 < n; i += 3) {
            polygons.push_back({i, i + 1, i + 2});
        }
        break;
    case GL_TRIANGLE_STRIP:
        for (size_t i = 0; i + 2 < n; ++i) {
            polygons.push_back(i % 2 == 0 ? std::vector<size_t>{i, i + 1, i + 2}
                                          : std::vector<size_t>{i + 1, i, i + 2});
        }
        break;
    case GL_TRIANGLE_FAN:
        for (size_t i = 1; i + 1 < n; ++i) {
            polygons.push_back({0, i, i + 1});
        }
        break;
    case kQuads:
        for (size_t i = 0; i + 3 < n; i += 4) {
            polygons.push_back({i, i + 1, i + 2, i + 3});
        }
        break;
    case kQuadStrip:
        for (size_t i = 0; i + 3 < n; i += 2) {
            polygons.push_back({i, i + 1, i + 3, i + 2});
        }
        break;
    case kPolygon:
        if (n >= 3) {
            std::vector<size_t> all(n);
            for (size_t i = 0; i < n; ++i) {
                all[i] = i;
            }
            polygons.push_back(all);
        }
        break;
    default:
        break;
    }
    return polygons;
}

void drawPrimitive() {
    Subset& s = gl();
    const Matrix mvp = multiply(s.projection.back(), s.modelview.back());
    std::vector<Vertex> clip = s.vertices;
    for (Vertex& v : clip) {
        v.position = transform(mvp, v.position);
    }
    const size_t n = clip.size();
    // Lines are quads of the line width; a smooth line widens by half a
    // pixel each side for its fading edge.
    const float halfWidth = std::max(s.lineWidth, 1.0f) * 0.5f;
    const float drawnHalf = s.lineSmooth ? halfWidth + 0.5f : halfWidth;
    bool lines = false;
    switch (s.primitive) {
    case GL_LINES:
        for (size_t i = 0; i + 1 < n; i += 2) {
            addLine(clip[i], clip[i + 1], drawnHalf);
        }
        lines = true;
        break;
    case GL_LINE_STRIP:
    case GL_LINE_LOOP:
        for (size_t i = 0; i + 1 < n; ++i) {
            addLine(clip[i], clip[i + 1], drawnHalf);
        }
        if (s.primitive == GL_LINE_LOOP && n > 2) {
            addLine(clip[n - 1], clip[0], drawnHalf);
        }
        lines = true;
        break;
    default:
        for (const auto& polygon : polygonsOf(s.primitive, n)) {
            if (s.polygonMode == kLineMode) {
                for (size_t i = 0; i < polygon.size(); ++i) {
                    addLine(clip[polygon[i]], clip[polygon[(i + 1) % polygon.size()]], drawnHalf);
                }
                lines = true;
            } else {
                for (size_t i = 1; i + 1 < polygon.size(); ++i) {
                    addTriangle(clip[polygon[0]], clip[polygon[i]], clip[polygon[i + 1]]);
                }
            }
        }
        break;
    }
    draw(lines && s.lineSmooth ? halfWidth : 0.0f);
}

void vertex(float x, float y, float z) {
    Subset& s = gl();
    if (!s.inBegin || !s.drawing) {
        return;
    }
    s.vertices.push_back({{x, y, z, 1.0f},
                          s.color[0],
                          s.color[1],
                          s.color[2],
                          s.color[3],
                          s.texCoord[0],
                          s.texCoord[1]});
}

Matrix rotation(float angleDegrees, float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f) {
        return kIdentity;
    }
    x /= length;
    y /= length;
    z /= length;
    const float radians = angleDegrees * 3.14159265358979323846f / 180.0f;
    const float c = std::cos(radians), s = std::sin(radians), k = 1.0f - c;
    return {x * x * k + c,
            y * x * k + z * s,
            x * z * k - y * s,
            0,
            x * y * k - z * s,
            y * y * k + c,
            y * z * k + x * s,
            0,
            x * z * k + y * s,
            y * z * k - x * s,
            z * z * k + c,
            0,
            0,
            0,
            0,
            1};
}

} // namespace

// What the show's frames carry over: the subset's values, and the driver's
// for the calls that pass through.
struct Gl11State {
    GLenum matrixMode;
    std::vector<Matrix> modelview;
    std::vector<Matrix> projection;
    float color[4];
    float texCoord[2];
    bool texturing;
    bool lineSmooth;
    GLenum polygonMode;
    float lineWidth;
    GLuint boundTexture;
    GLboolean blend;
    GLboolean depthTest;
    GLint blendFactors[4]; // source and destination, colour then alpha
    GLint depthFunc;
    GLboolean depthMask;
    GLboolean colorMask[4];
    GLfloat clearColor[4];
    GLfloat clearDepth;
};

void Gl11StateFree::operator()(Gl11State* state) const {
    delete state;
}

Gl11Snapshot gl11Save() {
    const Subset& s = gl();
    const DriverState& d = want();
    Gl11Snapshot state(new Gl11State{});
    state->matrixMode = s.matrixMode;
    state->modelview = s.modelview;
    state->projection = s.projection;
    std::memcpy(state->color, s.color, sizeof s.color);
    std::memcpy(state->texCoord, s.texCoord, sizeof s.texCoord);
    state->texturing = s.texturing;
    state->lineSmooth = s.lineSmooth;
    state->polygonMode = s.polygonMode;
    state->lineWidth = s.lineWidth;
    state->boundTexture = d.boundTexture;
    state->blend = d.blend;
    state->depthTest = d.depthTest;
    std::memcpy(state->blendFactors, d.blendFactors, sizeof d.blendFactors);
    state->depthFunc = d.depthFunc;
    state->depthMask = d.depthMask;
    std::memcpy(state->colorMask, d.colorMask, sizeof d.colorMask);
    std::memcpy(state->clearColor, d.clearColor, sizeof d.clearColor);
    state->clearDepth = d.clearDepth;
    return state;
}

void gl11Restore(const Gl11State& state) {
    Subset& s = gl();
    DriverState& d = want();
    s.matrixMode = state.matrixMode;
    s.modelview = state.modelview;
    s.projection = state.projection;
    std::memcpy(s.color, state.color, sizeof s.color);
    std::memcpy(s.texCoord, state.texCoord, sizeof s.texCoord);
    s.texturing = state.texturing;
    s.lineSmooth = state.lineSmooth;
    s.polygonMode = state.polygonMode;
    s.lineWidth = state.lineWidth;
    d.boundTexture = state.boundTexture;
    d.blend = state.blend;
    d.depthTest = state.depthTest;
    std::memcpy(d.blendFactors, state.blendFactors, sizeof d.blendFactors);
    d.depthFunc = state.depthFunc;
    d.depthMask = state.depthMask;
    std::memcpy(d.colorMask, state.colorMask, sizeof d.colorMask);
    std::memcpy(d.clearColor, state.clearColor, sizeof d.clearColor);
    d.clearDepth = state.clearDepth;
}

namespace {

// The capabilities the subset keeps in its driver state.
bool* driverFlag(GLenum cap) {
    DriverState& d = want();
    switch (cap) {
    case GL_BLEND:
        return &d.blend;
    case GL_DEPTH_TEST:
        return &d.depthTest;
    case GL_SCISSOR_TEST:
        return &d.scissorTest;
    default:
        return nullptr;
    }
}

} // namespace

void gl11SetDrawing(bool on) {
    gl().drawing = on;
}

extern "C" {

void vemu_glBegin(GLenum mode) {
    Subset& s = gl();
    s.inBegin = true;
    s.primitive = mode;
    s.vertices.clear();
}

void vemu_glEnd(void) {
    Subset& s = gl();
    if (!s.inBegin) {
        return;
    }
    s.inBegin = false;
    if (s.drawing) {
        drawPrimitive();
    }
    s.vertices.clear();
}

void vemu_glVertex2f(GLfloat x, GLfloat y) {
    vertex(x, y, 0.0f);
}
void vemu_glVertex2i(GLint x, GLint y) {
    vertex(static_cast<float>(x), static_cast<float>(y), 0.0f);
}
void vemu_glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    vertex(x, y, z);
}
void vemu_glVertex3i(GLint x, GLint y, GLint z) {
    vertex(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}
void vemu_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    // GL clamps colours given as floats to 0..1 before interpolating.
    auto unit = [](float v) { return std::fmin(std::fmax(v, 0.0f), 1.0f); };
    float* c = gl().color;
    c[0] = unit(r);
    c[1] = unit(g);
    c[2] = unit(b);
    c[3] = unit(a);
}
void vemu_glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    vemu_glColor4f(r, g, b, 1.0f);
}
void vemu_glTexCoord2f(GLfloat s, GLfloat t) {
    gl().texCoord[0] = s;
    gl().texCoord[1] = t;
}
void vemu_glNormal3f(GLfloat, GLfloat, GLfloat) {
    // No lighting in the subset: normals have nothing to do.
}

void vemu_glMatrixMode(GLenum mode) {
    gl().matrixMode = mode;
}
void vemu_glLoadIdentity(void) {
    current() = kIdentity;
}
void vemu_glPushMatrix(void) {
    Subset& s = gl();
    auto& stack = s.matrixMode == kProjection ? s.projection : s.modelview;
    if (stack.size() < 32) {
        stack.push_back(stack.back());
    }
}
void vemu_glPopMatrix(void) {
    Subset& s = gl();
    auto& stack = s.matrixMode == kProjection ? s.projection : s.modelview;
    if (stack.size() > 1) {
        stack.pop_back();
    }
}
void vemu_glMultMatrixf(const GLfloat* m) {
    Matrix other;
    std::memcpy(other.data(), m, sizeof other);
    current() = multiply(current(), other);
}
void vemu_glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    Matrix& m = current();
    for (int row = 0; row < 4; ++row) {
        m[12 + row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
    }
}
void vemu_glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    current() = multiply(current(), rotation(angle, x, y, z));
}
void vemu_glScalef(GLfloat x, GLfloat y, GLfloat z) {
    Matrix& m = current();
    for (int row = 0; row < 4; ++row) {
        m[row] *= x;
        m[4 + row] *= y;
        m[8 + row] *= z;
    }
}
void vemu_glOrtho(double l, double r, double b, double t, double n, double f) {
    const Matrix m = {static_cast<float>(2.0 / (r - l)),
                      0,
                      0,
                      0,
                      0,
                      static_cast<float>(2.0 / (t - b)),
                      0,
                      0,
                      0,
                      0,
                      static_cast<float>(-2.0 / (f - n)),
                      0,
                      static_cast<float>(-(r + l) / (r - l)),
                      static_cast<float>(-(t + b) / (t - b)),
                      static_cast<float>(-(f + n) / (f - n)),
                      1};
    current() = multiply(current(), m);
}
void vemu_glFrustum(double l, double r, double b, double t, double n, double f) {
    const Matrix m = {static_cast<float>(2.0 * n / (r - l)),
                      0,
                      0,
                      0,
                      0,
                      static_cast<float>(2.0 * n / (t - b)),
                      0,
                      0,
                      static_cast<float>((r + l) / (r - l)),
                      static_cast<float>((t + b) / (t - b)),
                      static_cast<float>(-(f + n) / (f - n)),
                      -1,
                      0,
                      0,
                      static_cast<float>(-2.0 * f * n / (f - n)),
                      0};
    current() = multiply(current(), m);
}

void vemu_glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    GLint* v = want().viewport;
    v[0] = x;
    v[1] = y;
    v[2] = width;
    v[3] = height;
}

void vemu_glEnable(GLenum cap) {
    if (cap == kTexture2D) {
        gl().texturing = true;
    } else if (cap == kLineSmooth) {
        gl().lineSmooth = true;
    } else if (bool* flag = driverFlag(cap)) {
        *flag = true;
    } else {
        glEnable(cap);
    }
}
void vemu_glDisable(GLenum cap) {
    if (cap == kTexture2D) {
        gl().texturing = false;
    } else if (cap == kLineSmooth) {
        gl().lineSmooth = false;
    } else if (bool* flag = driverFlag(cap)) {
        *flag = false;
    } else {
        glDisable(cap);
    }
}
GLboolean vemu_glIsEnabled(GLenum cap) {
    if (cap == kTexture2D) {
        return gl().texturing ? GL_TRUE : GL_FALSE;
    }
    if (cap == kLineSmooth) {
        return gl().lineSmooth ? GL_TRUE : GL_FALSE;
    }
    if (const bool* flag = driverFlag(cap)) {
        return *flag ? GL_TRUE : GL_FALSE;
    }
    return glIsEnabled(cap);
}
void vemu_glBlendFunc(GLenum sfactor, GLenum dfactor) {
    GLint* f = want().blendFactors;
    f[0] = f[2] = static_cast<GLint>(sfactor);
    f[1] = f[3] = static_cast<GLint>(dfactor);
}
void vemu_glDepthFunc(GLenum func) {
    want().depthFunc = static_cast<GLint>(func);
}
void vemu_glColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    GLboolean* m = want().colorMask;
    m[0] = r;
    m[1] = g;
    m[2] = b;
    m[3] = a;
}
void vemu_glPolygonMode(GLenum, GLenum mode) {
    gl().polygonMode = mode;
}
void vemu_glLineWidth(GLfloat width) {
    gl().lineWidth = width;
}
void vemu_glShadeModel(GLenum) {
    // Colours are always interpolated: the show draws nothing flat.
}
void vemu_glHint(GLenum, GLenum) {
    // Texture coordinates are always perspective-correct in ES.
}
void vemu_glClear(GLbitfield mask) {
    if (gl().drawing) {
        sendState();
        glClear(mask);
    }
}
void vemu_glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    GLfloat* c = want().clearColor;
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}
void vemu_glClearDepth(double depth) {
    want().clearDepth = static_cast<GLfloat>(depth);
}
void vemu_glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    GLint* box = want().scissor;
    box[0] = x;
    box[1] = y;
    box[2] = width;
    box[3] = height;
}
void vemu_glFlush(void) {
    if (gl().drawing) {
        glFlush(); // frames run for their state alone leave the driver nothing to do
    }
}
void vemu_glFinish(void) {
    glFinish();
}
GLenum vemu_glGetError(void) {
    return glGetError();
}
void vemu_glGetFloatv(GLenum pname, GLfloat* params) {
    Subset& s = gl();
    if (pname == kModelviewMatrix || pname == kProjectionMatrix) {
        const Matrix& m = pname == kModelviewMatrix ? s.modelview.back() : s.projection.back();
        std::memcpy(params, m.data(), sizeof(float) * 16);
        return;
    }
    const DriverState& d = want();
    if (pname == GL_COLOR_CLEAR_VALUE) {
        std::memcpy(params, d.clearColor, sizeof d.clearColor);
    } else if (pname == GL_DEPTH_CLEAR_VALUE) {
        params[0] = d.clearDepth;
    } else {
        glGetFloatv(pname, params);
    }
}
void vemu_glGetIntegerv(GLenum pname, GLint* params) {
    const DriverState& d = want();
    if (pname == GL_VIEWPORT) {
        std::memcpy(params, d.viewport, sizeof d.viewport);
    } else if (pname == GL_SCISSOR_BOX) {
        std::memcpy(params, d.scissor, sizeof d.scissor);
    } else if (pname == GL_TEXTURE_BINDING_2D) {
        params[0] = static_cast<GLint>(d.boundTexture);
    } else {
        glGetIntegerv(pname, params);
    }
}
void vemu_glPixelStorei(GLenum pname, GLint param) {
    glPixelStorei(pname, param);
}
void vemu_glReadBuffer(GLenum mode) {
    glReadBuffer(mode);
}
void vemu_glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                       GLvoid* pixels) {
    sendState();
    glReadPixels(x, y, width, height, format, type, pixels);
}

void vemu_glGenTextures(GLsizei n, GLuint* textures) {
    glGenTextures(n, textures);
}
void vemu_glDeleteTextures(GLsizei n, const GLuint* textures) {
    for (GLsizei i = 0; i < n; ++i) {
        gl().textures.erase(textures[i]);
    }
    glDeleteTextures(n, textures);
}
void vemu_glBindTexture(GLenum, GLuint texture) {
    want().boundTexture = texture;
}
void vemu_glTexParameteri(GLenum target, GLenum pname, GLint param) {
    sendState(); // the texture bound
    TextureInfo& info = gl().textures[gl().want.boundTexture];
    if (pname == GL_TEXTURE_WRAP_S || pname == GL_TEXTURE_WRAP_T) {
        const bool border = static_cast<GLenum>(param) == kClamp;
        (pname == GL_TEXTURE_WRAP_S ? info.borderS : info.borderT) = border;
        glTexParameteri(target, pname, border ? GL_CLAMP_TO_EDGE : param);
        return;
    }
    glTexParameteri(target, pname, param);
}
void vemu_glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                       GLsizei height, GLint border, GLenum format, GLenum type,
                       const GLvoid* pixels) {
    (void)internalFormat; // ES takes the unsized format the pixels come in
    sendState();
    if (level == 0) {
        TextureInfo& info = gl().textures[gl().want.boundTexture];
        info.width = width;
        info.height = height;
    }
    glTexImage2D(target, level, static_cast<GLint>(format), width, height, border, format, type,
                 pixels);
}

void vemu_gl11GenerateMipmap(GLenum target) {
    sendState();
    glGenerateMipmap(target);
}

} // extern "C"
