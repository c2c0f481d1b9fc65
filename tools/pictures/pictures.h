//------------------------------------------------------------------------------
// pictures.h
// The four slideshow pictures the painter makes, each at its fixed size.
//------------------------------------------------------------------------------
#ifndef PICTURES_H
#define PICTURES_H

#include "canvas.h"

Image paintLitelogo();  // 640 x 301: the title, orange lettering on brushed grey
Image paintSidelit();   // 402 x 480: a bust lit hard from the right, against black
Image paintSpider();    // 640 x 480: sepia, a young man staring up into a light
Image paintZorsmall();  // 640 x 241: the closing line, green on stained brown paper

#endif
