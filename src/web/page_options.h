// page_options.h -- where the page's test and benchmark options
// (page_options.cpp) reach the program.
#ifndef PAGE_OPTIONS_H
#define PAGE_OPTIONS_H

// Reads the options of the page's address and sets them up; before the show.
void pageOptions();

// The canvas's drawing size, measured before each frame: by default for its
// size on the page (glut.cpp); the size option puts a fixed one in its place.
extern void (*webMeasureCanvas)(int *width, int *height);

#endif
