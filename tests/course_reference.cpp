// course_reference.cpp -- see course_reference.h.
//
// Every sum and product is formed in double from the stored floats and
// rounded once, when stored; 0.00005, 0.004, 0.005 and 0.03 are
// single-precision constants, so their float values enter the sums.
#include "course_reference.h"

#include <cmath>

#include "gl_trace.h"

typedef std::vector<std::string> Calls;

static std::string call(const std::string &name, std::initializer_list<double> args)
{
    std::string s = name + "(";
    for (double a : args)
        s += (s.back() == '(' ? "" : ", ") + glTraceNumber(a);
    return s + ")";
}

ReferenceCourse::ReferenceCourse()
{
    cellWidth = (float)(3.9867110f * 0.1);
    cellHeight = (float)(33.333332f * 0.1);
    for (Triangle &t : triangles) {
        for (float &h : t.heading) {
            float first = (float)(random() * 0.00001);
            h = (float)(first - random() * 0.00001);
        }
        for (float &c : t.colour)
            c = (float)(random() * 0.00001);
        for (auto &v : t.at)
            for (float &x : v)
                x = (float)(random() * 0.00001);
    }
    unsigned n = 0;
    for (int c = 0; c < 50; ++c) {
        for (int r = 0; r < 3; ++r) {
            float x0 = (float)(c * (double)cellWidth - 5), x1 = (float)((c + 1) * (double)cellWidth - 5);
            float y0 = (float)(r * (double)cellHeight - 4), y1 = (float)((r + 1) * (double)cellHeight - 4);
            const float cells[2][6] = {{x0, y0, x1, y1, x0, y1}, {x0, y0, x1, y0, x1, y1}};
            for (const float *h : cells) {
                if (++n >= 301)
                    continue;
                for (int v = 0; v < 3; ++v) {
                    triangles[n].home[v][0] = h[2 * v];
                    triangles[n].home[v][1] = h[2 * v + 1];
                }
            }
        }
    }
}

unsigned ReferenceCourse::random()
{
    seed = seed * 22695477u + 1u;
    return (seed >> 16) & 0x7FFF;
}

static void orbit(ReferenceCourse &c)
{
    c.angle = (float)((double)c.angle + c.turn);
    c.eye[0] = (float)(std::sin(c.angle * 3.14159265) * c.radius);
    c.eye[2] = (float)(std::cos(c.angle * 3.14159265) * c.radius);
}

static void drawSpinner(ReferenceCourse &c, Calls &out, int k, float x, float z, float size)
{
    c.rotation[k] = (float)((double)c.rotation[k] + 1.5f);
    out.insert(out.end(), {"glPushMatrix()", call("glTranslatef", {x, 0, z}), "glRotatef(90, 1, 0, 0)",
                           call("glRotatef", {c.rotation[k], 0, 0.2f, 1}), call("glRotatef", {c.rotation[k], 0, 0, 1}),
                           "gluQuadricTexture(1)", call("gluSphere", {size * 0.5, 20, 20}), "glPopMatrix()"});
}

static void field(ReferenceCourse &c, Calls &out)
{
    out.push_back("glLightfv(GL_LIGHT1, GL_POSITION, {0, 2, 0, 1})");
    out.push_back("glLightfv(GL_LIGHT0, GL_POSITION, {0, 0, 2, 1})");
    static const float rowColour[5][3] = {{1, 0.5f, 0.5f}, {0.5f, 1, 0.5f}, {0.5f, 0.5f, 1}, {1, 0.5f, 0.5f}, {0.5f, 1, 0.5f}};
    if (c.scene == 0) {
        for (int i = -2; i <= 2; ++i) {
            for (int j = -2; j <= 2; ++j) {
                const float *rgb = rowColour[i + 2];
                out.push_back(call("glColor4f", {rgb[0], rgb[1], rgb[2], 0.8f}));
                drawSpinner(c, out, (i + 2) * 4 + j + 2, (float)(i * (double)c.spacing), (float)(j * (double)c.spacing), 1);
            }
        }
    } else {
        c.sphereSize = (float)((double)c.sphereSize - 0.005f);
        drawSpinner(c, out, 0, 0, 0, c.sphereSize);
        if (c.sphereSize <= 0.001)
            c.scene = 2;
    }
    if (c.turn >= -0.03f && c.turn <= 0.03f) {
        c.turn = (float)((double)c.turn + (float)(c.swing * (double)0.00005f));
        if (c.scene == 0)
            c.spacing = (float)(c.spacing + c.swing * (double)0.004f);
    } else {
        c.turn = (float)(c.swing * (double)c.turn);
        c.swing = (short)-c.swing;
        c.turn = (float)((double)c.turn + (float)(c.swing * (double)0.00005f));
    }
    if ((long long)(c.spacing * 10000.0) == 0 && c.scene == 0 && ++c.zeroPasses == 2)
        c.scene = 1;
}

static void blast(ReferenceCourse &c, Calls &out)
{
    c.turn = 0.001f;
    out.push_back("glDisable(GL_BLEND)");
    for (const ReferenceCourse::Triangle &t : c.triangles) {
        float d[3];
        for (int k = 0; k < 3; ++k)
            d[k] = (float)(c.spread * (double)t.heading[k]);
        out.insert(out.end(), {call("glTranslatef", {d[0], d[1], d[2]}), "glBegin(GL_TRIANGLES)", "glColor3f(1, 1, 1)"});
        const char *tex[3] = {"glTexCoord2f(1, 1)", "glTexCoord2f(1, 0)", "glTexCoord2f(0, 0)"};
        for (int v = 2; v >= 0; --v) {
            out.push_back(tex[2 - v]);
            out.push_back(call("glVertex3f", {t.at[v][0], t.at[v][1], t.at[v][2]}));
        }
        out.push_back("glEnd()");
        out.push_back(call("glTranslatef", {-d[0], -d[1], -d[2]}));
    }
    static const float front[9] = {0, 0, 5, 0, 0, -5, 0, 1, 0};
    unsigned f = c.blastFrame;
    if (f < 100) {
        c.radius = 8;
        c.blastFrame += 1;
        c.spread += 1;
        c.turn = 0;
    } else if (f < 150) {
        c.turn = 0.005f;
        c.blastFrame += 1;
    } else if (f < 370) {
        c.scene = 3;
        int left = (int)(370 - f);
        for (ReferenceCourse::Triangle &t : c.triangles)
            for (int v = 0; v < 3; ++v)
                for (int k = 0; k < 3; ++k)
                    t.at[v][k] = (float)(t.at[v][k] - ((double)t.at[v][k] - t.home[v][k]) / left);
        for (int i = 0; i < 9; ++i)
            c.eye[i] = (float)(c.eye[i] - ((double)c.eye[i] - front[i]) / left);
        c.turn = 0;
        c.spread -= c.spread / (unsigned)left;
        c.blastFrame += 1;
    } else if (f == 370) {
        for (ReferenceCourse::Triangle &t : c.triangles)
            for (int v = 0; v < 3; ++v)
                for (int k = 0; k < 3; ++k)
                    t.at[v][k] = t.home[v][k];
        c.scene = 4;
        out.push_back("glutSwapBuffers()");
    }
}

// The pictures, each at its natural size, the first without a clear.
static void pictures(Calls &out)
{
    const int sizes[5][2] = {{640, 301}, {402, 480}, {640, 480}, {640, 241}, {640, 301}};
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            out.push_back("glClear(COLOR|DEPTH)");
        out.push_back("glPixelStorei(GL_UNPACK_ALIGNMENT, 1)");
        out.push_back("glDrawPixels(" + std::to_string(sizes[i][0]) + ", " + std::to_string(sizes[i][1]) +
                      ", GL_RGBA, GL_UNSIGNED_BYTE)");
        out.push_back("glutSwapBuffers()");
    }
}

Calls ReferenceCourse::frame()
{
    Calls out = {"glClear(COLOR|DEPTH)", "gluQuadricDrawStyle(GLU_FILL)", "gluQuadricNormals(GLU_SMOOTH)",
                 "glMatrixMode(GL_MODELVIEW)", "glLoadIdentity()",
                 call("gluLookAt", {eye[0], eye[1], eye[2], eye[3], eye[4], eye[5], eye[6], eye[7], eye[8]})};
    if (scene < 4)
        out.push_back("glutWireSphere(10, 30, 30)");
    if (scene <= 1) {
        field(*this, out);
        orbit(*this);
    } else {
        blast(*this, out);
    }
    if (scene != 3)
        orbit(*this);
    if (scene == 4) {
        pictures(out);
        return out;                     // the pictures end the show inside this frame
    }
    out.push_back("glutSwapBuffers()");
    return out;
}
