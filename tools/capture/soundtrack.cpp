// soundtrack.cpp -- see soundtrack.h.
#include "soundtrack.h"

#include "music_file.h"

Soundtrack::~Soundtrack()
{
    musicPullEnd();
}

void Soundtrack::read(float *left, float *right, size_t count)
{
    musicPull(left, right, count);
}
