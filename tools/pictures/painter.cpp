//------------------------------------------------------------------------------
// painter.cpp
// Paints the four slideshow pictures into a folder:
//
//   painter <out-dir>
//
// The output is the same bytes on every run (no clock, no system random
// numbers), so the committed PNGs under assets/ can be checked against it.
//------------------------------------------------------------------------------
#include "pictures.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: painter <out-dir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    struct Job {
        const char *file;
        Image (*paint)();
    };
    const Job jobs[] = {
        {"litelogo.png", paintLitelogo},
        {"sidelit.png", paintSidelit},
        {"spider.png", paintSpider},
        {"zorsmall.png", paintZorsmall},
    };
    for (const Job &job : jobs)
        writePng(job.paint(), dir + "/" + job.file);
    return 0;
}
