// floor_bench.cpp -- the least a frame can cost: clear and swap.
//
// The same window as the show's (double-buffered RGB with depth, made full
// screen) draws nothing but a cleared picture, as many frames as the show's
// course, back to back. What the show spends above this is its own drawing.
//
// Reports on stderr (see bench_probe.h): first-frame, frames, frame-seconds,
// thread-share and peak-rss-mib, as show_bench does, and the renderer's name.
#include <cstdlib>

#include <GL/glut.h>

#include "bench_probe.h"

static const unsigned courseFrames = 2722;

static unsigned frames;
static double firstFrameAt;
static std::map<std::string, double> cpuAtFirstFrame;

static void display()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    frames += 1;
    glutSwapBuffers();
    if (frames == 1) {
        firstFrameAt = benchNow();
        benchReport("first-frame", firstFrameAt);
        benchReport("renderer", (const char *)glGetString(GL_RENDERER));
        cpuAtFirstFrame = benchThreadCpu();
    } else if (frames == courseFrames) {
        double now = benchNow();
        benchReport("frames", (double)frames);
        benchReport("frame-seconds", now - firstFrameAt);
        benchReportThreadShares(cpuAtFirstFrame, benchThreadCpu(), now - firstFrameAt);
        benchReportPeakRss();
        exit(0);
    }
}

static void reshape(int w, int h)
{
    glViewport(0, 0, w, h);
}

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(500, 500);
    glutCreateWindow("clear and swap");
    glClearColor(0, 0, 0, 0);
    glutFullScreen();
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutIdleFunc(display);
    glutMainLoop();
    return 0;
}
