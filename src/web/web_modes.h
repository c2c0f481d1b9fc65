// web_modes.h -- how the page asked the show to run (main.cpp).
#ifndef WEB_MODES_H
#define WEB_MODES_H

struct WebModes {
    bool quick = false;                         // the slideshow does not wait
    void (*onSleep)(unsigned seconds) = nullptr;   // each picture, before its wait
    void (*onExit)() = nullptr;                 // on the way out, before the page hears of it
};

extern WebModes webModes;

#endif
