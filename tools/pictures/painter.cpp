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

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: painter <out-dir> [picture...]\n");
        return 2;
    }
    const std::string dir = argv[1];
    struct Job {
        const char *name;
        Image (*paint)();
        bool wanted;
    };
    Job jobs[] = {
        {"litelogo", paintLitelogo, argc == 2},
        {"sidelit", paintSidelit, argc == 2},
        {"spider", paintSpider, argc == 2},
        {"zorsmall", paintZorsmall, argc == 2},
    };
    for (int i = 2; i < argc; i++) {
        Job *job = std::find_if(std::begin(jobs), std::end(jobs),
                                [&](const Job &j) { return argv[i] == std::string(j.name); });
        if (job == std::end(jobs)) {
            std::fprintf(stderr, "painter: no picture called '%s'\n", argv[i]);
            return 2;
        }
        job->wanted = true;
    }
    for (const Job &job : jobs)
        if (job.wanted)
            writePng(job.paint(), dir + "/" + job.name + ".png");
    // Release Cairo's font caches and fontconfig's configuration, so a leak
    // checker sees a clean exit.
    cairo_debug_reset_static_data();
    FcFini();
    return 0;
}
