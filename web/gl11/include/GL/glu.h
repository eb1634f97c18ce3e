#pragma once
// The GLU calls the show makes, drawn through the GL 1.1 subset.
#include <GL/gl.h>

typedef struct GLUquadric GLUquadric;
typedef GLUquadric GLUquadricObj;

#define GLU_FILL 100012
#define GLU_LINE 100011
#define GLU_POINT 100010
#define GLU_SILHOUETTE 100013

#ifdef __cplusplus
extern "C" {
#endif

void vemu_gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
GLint vemu_gluBuild2DMipmaps(GLenum target, GLint internalFormat, GLsizei width, GLsizei height,
                             GLenum format, GLenum type, const void* data);
GLUquadric* vemu_gluNewQuadric(void);
void vemu_gluDeleteQuadric(GLUquadric* quadric);
void vemu_gluQuadricTexture(GLUquadric* quadric, GLboolean texture);
void vemu_gluQuadricDrawStyle(GLUquadric* quadric, GLenum style);
void vemu_gluCylinder(GLUquadric* quadric, GLdouble base, GLdouble top, GLdouble height,
                      GLint slices, GLint stacks);
void vemu_gluDisk(GLUquadric* quadric, GLdouble inner, GLdouble outer, GLint slices, GLint loops);

#ifdef __cplusplus
}
#endif

#define gluPerspective vemu_gluPerspective
#define gluBuild2DMipmaps vemu_gluBuild2DMipmaps
#define gluNewQuadric vemu_gluNewQuadric
#define gluDeleteQuadric vemu_gluDeleteQuadric
#define gluQuadricTexture vemu_gluQuadricTexture
#define gluQuadricDrawStyle vemu_gluQuadricDrawStyle
#define gluCylinder vemu_gluCylinder
#define gluDisk vemu_gluDisk
