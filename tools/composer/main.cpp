//------------------------------------------------------------------------------
// main.cpp -- composer: writes the show's music module
//
//   composer [output.xm]      (default: demomain.xm in the current directory)
//------------------------------------------------------------------------------
#include <cstdio>
#include <exception>

#include "score.h"
#include "xm_writer.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "demomain.xm";
    try {
        if (!xm::Save(path, score::ComposeSong())) {
            std::fprintf(stderr, "composer: cannot write %s\n", path);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "composer: %s\n", e.what());
        return 1;
    }
    return 0;
}
