// gl_trace.cpp -- see gl_trace.h.
#include "gl_trace.h"

#include <cstdio>
#ifdef _WIN32
// The show calls GL through the import pointers __imp_<name> (GL's entry
// points are declared dllimport) and GLU through the import library's plain
// names. The trace defines both itself, so the import libraries' are never
// linked, and reaches the real functions in opengl32.dll and glu32.dll.
// GLUT is linked statically: its calls reach the trace through the linker's
// --wrap (the Windows test program's link options name each function).
// _GDI32_ makes the headers declare the GL entry points without dllimport,
// so that this file can define them.
#define _GDI32_
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

std::vector<std::string> glTrace;
bool glTracing;

static int depth;       // > 0 while a traced call is running inside the libraries

std::string glTraceNumber(double v)
{
    // Nine digits tell every float apart; a double that is no float needs 17.
    char buf[32];
    snprintf(buf, sizeof buf, (double)(float)v == v ? "%.9g" : "%.17g", v);
    return buf;
}

static std::string glEnumName(unsigned e)
{
    switch (e) {
    case GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT: return "COLOR|DEPTH";
    case GL_MODELVIEW: return "GL_MODELVIEW";
    case GL_PROJECTION: return "GL_PROJECTION";
    case GL_LIGHT0: return "GL_LIGHT0";
    case GL_LIGHT1: return "GL_LIGHT1";
    case GL_DIFFUSE: return "GL_DIFFUSE";
    case GL_SPECULAR: return "GL_SPECULAR";
    case GL_POSITION: return "GL_POSITION";
    case GL_SPOT_DIRECTION: return "GL_SPOT_DIRECTION";
    case GL_SPOT_CUTOFF: return "GL_SPOT_CUTOFF";
    case GL_SPOT_EXPONENT: return "GL_SPOT_EXPONENT";
    case GL_DEPTH_TEST: return "GL_DEPTH_TEST";
    case GL_LIGHTING: return "GL_LIGHTING";
    case GL_COLOR_MATERIAL: return "GL_COLOR_MATERIAL";
    case GL_BLEND: return "GL_BLEND";
    case GL_LESS: return "GL_LESS";
    case GL_SMOOTH: return "GL_SMOOTH";
    case GL_SRC_ALPHA: return "GL_SRC_ALPHA";
    case GL_ONE: return "GL_ONE";
    case GL_TRIANGLES: return "GL_TRIANGLES";
    case GL_UNPACK_ALIGNMENT: return "GL_UNPACK_ALIGNMENT";
    case GL_RGBA: return "GL_RGBA";
    case GL_UNSIGNED_BYTE: return "GL_UNSIGNED_BYTE";
    case GLU_FILL: return "GLU_FILL";
    case GLU_SMOOTH: return "GLU_SMOOTH";
    default: return glTraceNumber(e);
    }
}

static int lightParamCount(GLenum pname)
{
    switch (pname) {
    case GL_SPOT_DIRECTION: return 3;
    case GL_SPOT_CUTOFF:
    case GL_SPOT_EXPONENT: return 1;
    default: return 4;
    }
}

#ifdef _WIN32
template <typename F>
static F realFunction(const char *name)
{
    static HMODULE gl = LoadLibraryA("opengl32.dll"), glu = LoadLibraryA("glu32.dll");
    FARPROC p = GetProcAddress(gl, name);
    return (F)(void *)(p ? p : GetProcAddress(glu, name));
}
#define IMPORT_POINTER(ret, name, params) extern "C" { ret(APIENTRY *__imp_##name) params = name; }
#define GLUT_NAME(name) __wrap_##name
#define GLUT_REAL(ret, name, params) extern "C" ret __real_##name params;
#define GLUT_REAL_CALL(name) __real_##name
#else
template <typename F>
static F realFunction(const char *name)
{
    return (F)dlsym(RTLD_NEXT, name);
}
#define IMPORT_POINTER(ret, name, params)
#define GLUT_NAME(name) name
#define GLUT_REAL(ret, name, params)
#define GLUT_REAL_CALL(name) realFunction<decltype(&name)>(#name)
#endif
#ifndef APIENTRY
#define APIENTRY
#endif

// Notes a call (when tracing and not nested) and runs the real one with the
// depth raised, so that what the library calls in turn is not noted.
#define TRACED(ret, name, params, args, text)                          \
    extern "C" ret APIENTRY name params                                 \
    {                                                                   \
        static auto real = realFunction<ret(APIENTRY *) params>(#name); \
        if (glTracing && depth == 0)                                    \
            glTrace.push_back(std::string(#name) + "(" + (text) + ")"); \
        depth += 1;                                                     \
        struct Leave { ~Leave() { depth -= 1; } } leave;                \
        return real args;                                               \
    }                                                                   \
    IMPORT_POINTER(ret, name, params)

// GLUT's calls, noted the same way.
#define TRACED_GLUT(ret, name, params, args, text)                     \
    GLUT_REAL(ret, name, params)                                        \
    extern "C" ret GLUT_NAME(name) params                               \
    {                                                                   \
        static auto real = GLUT_REAL_CALL(name);                        \
        if (glTracing && depth == 0)                                    \
            glTrace.push_back(std::string(#name) + "(" + (text) + ")"); \
        depth += 1;                                                     \
        struct Leave { ~Leave() { depth -= 1; } } leave;                \
        return real args;                                               \
    }

static std::string join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string &p : parts)
        s += (s.empty() ? "" : ", ") + p;
    return s;
}

static std::string values(const float *v, int n)
{
    std::string s = "{";
    for (int i = 0; i < n; ++i)
        s += (i ? ", " : "") + glTraceNumber(v[i]);
    return s + "}";
}

#define E(x) glEnumName(x)
#define N(x) glTraceNumber(x)

TRACED(void, glClear, (GLbitfield m), (m), E(m))
TRACED(void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a), join({N(r), N(g), N(b), N(a)}))
TRACED(void, glClearDepth, (GLclampd d), (d), N(d))
TRACED(void, glDepthFunc, (GLenum f), (f), E(f))
TRACED(void, glEnable, (GLenum c), (c), E(c))
TRACED(void, glDisable, (GLenum c), (c), E(c))
TRACED(void, glShadeModel, (GLenum m), (m), E(m))
TRACED(void, glBlendFunc, (GLenum s, GLenum d), (s, d), join({E(s), E(d)}))
TRACED(void, glHint, (GLenum t, GLenum m), (t, m), join({E(t), E(m)}))
TRACED(void, glMatrixMode, (GLenum m), (m), E(m))
TRACED(void, glLoadIdentity, (void), (), "")
TRACED(void, glPushMatrix, (void), (), "")
TRACED(void, glPopMatrix, (void), (), "")
TRACED(void, glLoadMatrixf, (const GLfloat *m), (m), values(m, 16))
TRACED(void, glMultMatrixf, (const GLfloat *m), (m), values(m, 16))
TRACED(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), join({N(x), N(y), N(z)}))
TRACED(void, glRotatef, (GLfloat a, GLfloat x, GLfloat y, GLfloat z), (a, x, y, z), join({N(a), N(x), N(y), N(z)}))
TRACED(void, glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), join({N(x), N(y), N(z)}))
TRACED(void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h), join({N(x), N(y), N(w), N(h)}))
TRACED(void, glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b), join({N(r), N(g), N(b)}))
TRACED(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a), join({N(r), N(g), N(b), N(a)}))
TRACED(void, glColor3fv, (const GLfloat *v), (v), values(v, 3))
TRACED(void, glColor4fv, (const GLfloat *v), (v), values(v, 4))
TRACED(void, glNormal3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), join({N(x), N(y), N(z)}))
TRACED(void, glBegin, (GLenum m), (m), E(m))
TRACED(void, glEnd, (void), (), "")
TRACED(void, glTexCoord2f, (GLfloat s, GLfloat t), (s, t), join({N(s), N(t)}))
TRACED(void, glVertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), join({N(x), N(y), N(z)}))
TRACED(void, glVertex3fv, (const GLfloat *v), (v), values(v, 3))
TRACED(void, glLightfv, (GLenum l, GLenum p, const GLfloat *v), (l, p, v), join({E(l), E(p), values(v, lightParamCount(p))}))
TRACED(void, glLightf, (GLenum l, GLenum p, GLfloat v), (l, p, v), join({E(l), E(p), N(v)}))
TRACED(void, glLighti, (GLenum l, GLenum p, GLint v), (l, p, v), join({E(l), E(p), N(v)}))
TRACED(void, glMaterialfv, (GLenum f, GLenum p, const GLfloat *v), (f, p, v), join({E(f), E(p), values(v, 4)}))
TRACED(void, glColorMaterial, (GLenum f, GLenum m), (f, m), join({E(f), E(m)}))
TRACED(void, glPixelStorei, (GLenum p, GLint v), (p, v), join({E(p), N(v)}))
TRACED(void, glPixelZoom, (GLfloat x, GLfloat y), (x, y), join({N(x), N(y)}))
TRACED(void, glRasterPos2i, (GLint x, GLint y), (x, y), join({N(x), N(y)}))
TRACED(void, glDrawPixels, (GLsizei w, GLsizei h, GLenum f, GLenum t, const void *p), (w, h, f, t, p), join({N(w), N(h), E(f), E(t)}))
TRACED(void, glFlush, (void), (), "")
TRACED(void, glFinish, (void), (), "")
TRACED(GLenum, glGetError, (void), (), "")
TRACED(void, gluLookAt, (GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux, GLdouble uy, GLdouble uz),
       (ex, ey, ez, cx, cy, cz, ux, uy, uz), join({N(ex), N(ey), N(ez), N(cx), N(cy), N(cz), N(ux), N(uy), N(uz)}))
TRACED(void, gluPerspective, (GLdouble f, GLdouble a, GLdouble n, GLdouble z), (f, a, n, z), join({N(f), N(a), N(n), N(z)}))
TRACED(void, gluQuadricDrawStyle, (GLUquadric *q, GLenum s), (q, s), E(s))
TRACED(void, gluQuadricNormals, (GLUquadric *q, GLenum s), (q, s), E(s))
TRACED(void, gluQuadricTexture, (GLUquadric *q, GLboolean t), (q, t), N(t))
TRACED(void, gluSphere, (GLUquadric *q, GLdouble r, GLint sl, GLint st), (q, r, sl, st), join({N(r), N(sl), N(st)}))
TRACED_GLUT(void, glutWireSphere, (double r, GLint sl, GLint st), (r, sl, st), join({N(r), N(sl), N(st)}))
TRACED_GLUT(void, glutSolidSphere, (double r, GLint sl, GLint st), (r, sl, st), join({N(r), N(sl), N(st)}))
TRACED_GLUT(void, glutSwapBuffers, (void), (), "")
TRACED_GLUT(void, glutPostRedisplay, (void), (), "")

