#pragma once
// The part of OpenGL 1.1 the show calls, over OpenGL ES 3 / WebGL 2: the
// scenes compile against this header unchanged, in place of the system's.
// Each name is a macro for a vemu_ function, so the subset can call the ES
// functions of the same names underneath.
#include <cstdint>

typedef unsigned int GLenum;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef signed char GLbyte;
typedef unsigned char GLubyte;
typedef int GLint;
typedef int GLsizei;
typedef unsigned int GLuint;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;
typedef void GLvoid;

#define GL_FALSE 0
#define GL_TRUE 1
#define GL_UNSIGNED_BYTE 0x1401
#define GL_FLOAT 0x1406

#define GL_POINTS 0x0000
#define GL_LINES 0x0001
#define GL_LINE_LOOP 0x0002
#define GL_LINE_STRIP 0x0003
#define GL_TRIANGLES 0x0004
#define GL_TRIANGLE_STRIP 0x0005
#define GL_TRIANGLE_FAN 0x0006
#define GL_QUADS 0x0007
#define GL_QUAD_STRIP 0x0008
#define GL_POLYGON 0x0009

#define GL_COLOR_BUFFER_BIT 0x00004000
#define GL_DEPTH_BUFFER_BIT 0x00000100

#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701
#define GL_MODELVIEW_MATRIX 0x0BA6
#define GL_PROJECTION_MATRIX 0x0BA7
#define GL_VIEWPORT 0x0BA2
#define GL_SCISSOR_BOX 0x0C10
#define GL_COLOR_CLEAR_VALUE 0x0C22
#define GL_ALPHA_BITS 0x0D55

#define GL_BLEND 0x0BE2
#define GL_DEPTH_TEST 0x0B71
#define GL_TEXTURE_2D 0x0DE1
#define GL_LINE_SMOOTH 0x0B20
#define GL_SCISSOR_TEST 0x0C11
#define GL_CULL_FACE 0x0B44

#define GL_ZERO 0
#define GL_ONE 1
#define GL_SRC_COLOR 0x0300
#define GL_ONE_MINUS_SRC_COLOR 0x0301
#define GL_SRC_ALPHA 0x0302
#define GL_ONE_MINUS_SRC_ALPHA 0x0303
#define GL_DST_ALPHA 0x0304
#define GL_ONE_MINUS_DST_ALPHA 0x0305
#define GL_DST_COLOR 0x0306
#define GL_ONE_MINUS_DST_COLOR 0x0307

#define GL_NEVER 0x0200
#define GL_LESS 0x0201
#define GL_EQUAL 0x0202
#define GL_LEQUAL 0x0203
#define GL_GREATER 0x0204
#define GL_NOTEQUAL 0x0205
#define GL_GEQUAL 0x0206
#define GL_ALWAYS 0x0207

#define GL_FRONT 0x0404
#define GL_BACK 0x0405
#define GL_FRONT_AND_BACK 0x0408
#define GL_POINT 0x1B00
#define GL_LINE 0x1B01
#define GL_FILL 0x1B02
#define GL_FLAT 0x1D00
#define GL_SMOOTH 0x1D01
#define GL_PERSPECTIVE_CORRECTION_HINT 0x0C50
#define GL_NICEST 0x1102
#define GL_FASTEST 0x1101
#define GL_DONT_CARE 0x1100

#define GL_ALPHA 0x1906
#define GL_RGB 0x1907
#define GL_RGBA 0x1908
#define GL_LUMINANCE 0x1909
#define GL_UNPACK_ALIGNMENT 0x0CF5
#define GL_PACK_ALIGNMENT 0x0D05
#define GL_TEXTURE_MAG_FILTER 0x2800
#define GL_TEXTURE_MIN_FILTER 0x2801
#define GL_TEXTURE_WRAP_S 0x2802
#define GL_TEXTURE_WRAP_T 0x2803
#define GL_NEAREST 0x2600
#define GL_LINEAR 0x2601
#define GL_LINEAR_MIPMAP_LINEAR 0x2703
#define GL_CLAMP 0x2900
#define GL_REPEAT 0x2901
#define GL_NO_ERROR 0

#ifdef __cplusplus
extern "C" {
#endif

#define VEMU_GL11_FUNCTIONS(X)                                                                     \
    X(void, glBegin, (GLenum mode))                                                                \
    X(void, glEnd, (void))                                                                         \
    X(void, glVertex2f, (GLfloat x, GLfloat y))                                                    \
    X(void, glVertex2i, (GLint x, GLint y))                                                        \
    X(void, glVertex3f, (GLfloat x, GLfloat y, GLfloat z))                                         \
    X(void, glVertex3i, (GLint x, GLint y, GLint z))                                               \
    X(void, glColor3f, (GLfloat r, GLfloat g, GLfloat b))                                          \
    X(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                               \
    X(void, glTexCoord2f, (GLfloat s, GLfloat t))                                                  \
    X(void, glNormal3f, (GLfloat x, GLfloat y, GLfloat z))                                         \
    X(void, glMatrixMode, (GLenum mode))                                                           \
    X(void, glLoadIdentity, (void))                                                                \
    X(void, glPushMatrix, (void))                                                                  \
    X(void, glPopMatrix, (void))                                                                   \
    X(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z))                                       \
    X(void, glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z))                           \
    X(void, glScalef, (GLfloat x, GLfloat y, GLfloat z))                                           \
    X(void, glMultMatrixf, (const GLfloat* m))                                                     \
    X(void, glOrtho,                                                                               \
      (GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear,               \
       GLdouble zFar))                                                                             \
    X(void, glFrustum,                                                                             \
      (GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear,               \
       GLdouble zFar))                                                                             \
    X(void, glViewport, (GLint x, GLint y, GLsizei width, GLsizei height))                         \
    X(void, glEnable, (GLenum cap))                                                                \
    X(void, glDisable, (GLenum cap))                                                               \
    X(GLboolean, glIsEnabled, (GLenum cap))                                                        \
    X(void, glBlendFunc, (GLenum sfactor, GLenum dfactor))                                         \
    X(void, glDepthFunc, (GLenum func))                                                            \
    X(void, glColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a))                     \
    X(void, glPolygonMode, (GLenum face, GLenum mode))                                             \
    X(void, glLineWidth, (GLfloat width))                                                          \
    X(void, glShadeModel, (GLenum mode))                                                           \
    X(void, glHint, (GLenum target, GLenum mode))                                                  \
    X(void, glClear, (GLbitfield mask))                                                            \
    X(void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a))                        \
    X(void, glClearDepth, (GLclampd depth))                                                        \
    X(void, glScissor, (GLint x, GLint y, GLsizei width, GLsizei height))                          \
    X(void, glFlush, (void))                                                                       \
    X(void, glFinish, (void))                                                                      \
    X(GLenum, glGetError, (void))                                                                  \
    X(void, glGetFloatv, (GLenum pname, GLfloat * params))                                         \
    X(void, glGetIntegerv, (GLenum pname, GLint * params))                                         \
    X(void, glPixelStorei, (GLenum pname, GLint param))                                            \
    X(void, glReadBuffer, (GLenum mode))                                                           \
    X(void, glReadPixels,                                                                          \
      (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,                \
       GLvoid * pixels))                                                                           \
    X(void, glGenTextures, (GLsizei n, GLuint * textures))                                         \
    X(void, glDeleteTextures, (GLsizei n, const GLuint* textures))                                 \
    X(void, glBindTexture, (GLenum target, GLuint texture))                                        \
    X(void, glTexParameteri, (GLenum target, GLenum pname, GLint param))                           \
    X(void, glTexImage2D,                                                                          \
      (GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,            \
       GLint border, GLenum format, GLenum type, const GLvoid* pixels))

#define VEMU_GL11_DECLARE(ret, name, args) ret vemu_##name args;
VEMU_GL11_FUNCTIONS(VEMU_GL11_DECLARE)
#undef VEMU_GL11_DECLARE

#ifdef __cplusplus
}
#endif

#define glBegin vemu_glBegin
#define glEnd vemu_glEnd
#define glVertex2f vemu_glVertex2f
#define glVertex2i vemu_glVertex2i
#define glVertex3f vemu_glVertex3f
#define glVertex3i vemu_glVertex3i
#define glColor3f vemu_glColor3f
#define glColor4f vemu_glColor4f
#define glTexCoord2f vemu_glTexCoord2f
#define glNormal3f vemu_glNormal3f
#define glMatrixMode vemu_glMatrixMode
#define glLoadIdentity vemu_glLoadIdentity
#define glPushMatrix vemu_glPushMatrix
#define glPopMatrix vemu_glPopMatrix
#define glTranslatef vemu_glTranslatef
#define glRotatef vemu_glRotatef
#define glScalef vemu_glScalef
#define glMultMatrixf vemu_glMultMatrixf
#define glOrtho vemu_glOrtho
#define glFrustum vemu_glFrustum
#define glViewport vemu_glViewport
#define glEnable vemu_glEnable
#define glDisable vemu_glDisable
#define glIsEnabled vemu_glIsEnabled
#define glBlendFunc vemu_glBlendFunc
#define glDepthFunc vemu_glDepthFunc
#define glColorMask vemu_glColorMask
#define glPolygonMode vemu_glPolygonMode
#define glLineWidth vemu_glLineWidth
#define glShadeModel vemu_glShadeModel
#define glHint vemu_glHint
#define glClear vemu_glClear
#define glClearColor vemu_glClearColor
#define glClearDepth vemu_glClearDepth
#define glScissor vemu_glScissor
#define glFlush vemu_glFlush
#define glFinish vemu_glFinish
#define glGetError vemu_glGetError
#define glGetFloatv vemu_glGetFloatv
#define glGetIntegerv vemu_glGetIntegerv
#define glPixelStorei vemu_glPixelStorei
#define glReadBuffer vemu_glReadBuffer
#define glReadPixels vemu_glReadPixels
#define glGenTextures vemu_glGenTextures
#define glDeleteTextures vemu_glDeleteTextures
#define glBindTexture vemu_glBindTexture
#define glTexParameteri vemu_glTexParameteri
#define glTexImage2D vemu_glTexImage2D
