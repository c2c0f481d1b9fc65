//------------------------------------------------------------------------------
// painter.cpp
// Paints the four slideshow pictures into a folder:
//
//   painter <out-dir> [picture...]
//
// With picture names (litelogo, sidelit, spider, zorsmall) only those are
// painted.
// The output is the same bytes on every run (no clock, no system random
// numbers), so the committed PNGs under assets/ can be checked against it.
//------------------------------------------------------------------------------
#include "pictures.h"

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: painter <out-dir> [picture...]\n");
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
    for (int i = 2; i < argc; i++) {
        bool known = false;
        for (const Job &job : jobs)
            known = known || std::string(argv[i]) + ".png" == job.file;
        if (!known) {
            std::fprintf(stderr, "painter: no picture called '%s'\n", argv[i]);
            return 2;
        }
    }
    for (const Job &job : jobs) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; i++)
            wanted = wanted || std::string(argv[i]) + ".png" == job.file;
        if (wanted)
            writePng(job.paint(), dir + "/" + job.file);
    }
    // Release Cairo's font caches and fontconfig's configuration, so a leak
    // checker sees a clean exit.
    cairo_debug_reset_static_data();
    FcFini();
    return 0;
}
