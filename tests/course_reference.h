// course_reference.h -- the show's course worked out afresh from its rules.
//
// A second, deliberately separate implementation of the frame steps: it
// shares no code and no state with the show, and yields every call a frame
// makes with every value, written as the call trace writes them
// (gl_trace.h). The call-by-call test holds the show to it frame by frame;
// its own tests hold it to the figures the rules print.
#ifndef COURSE_REFERENCE_H
#define COURSE_REFERENCE_H

#include <string>
#include <vector>

struct ReferenceCourse {
    unsigned short scene = 0;           // 0 field, 1 sphere, 2 blast, 3 reassembly, 4 pictures
    unsigned blastFrame = 0, spread = 0, zeroPasses = 0;
    float eye[9] = {0, 1, 0, 0, 1, 0, 0, 1, 0};
    float radius = 5, angle = 0, turn = 0;
    short swing = 1;
    float spacing = 1;
    float rotation[25] = {};
    float sphereSize = 1;
    unsigned seed = 1;
    float cellWidth = 0, cellHeight = 0;
    struct Triangle {
        float at[3][3], heading[3], home[3][3], colour[3];
    } triangles[301] = {};

    ReferenceCourse();                  // the state after start-up
    unsigned random();                  // the blast's random source
    std::vector<std::string> frame();   // one frame's calls; moves the course on
};

#endif
