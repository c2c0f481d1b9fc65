// show_process.cpp -- see show_process.h.
#include "show_process.h"

#include <cstdio>
#include <sstream>

#include <X11/Xlib.h>

// ---- reading results -------------------------------------------------------

CourseReport parseReport(const std::string &err)
{
    CourseReport r;
    std::istringstream lines(err);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned a = 0, b = 0;
        double ms = 0;
        if (sscanf(line.c_str(), "runner: first-frame %lf", &ms) == 1)
            r.firstFrameMs = ms;
        else if (sscanf(line.c_str(), "runner: sequence %u frame %u", &a, &b) == 2)
            r.sequenceFrame[a] = b;
        else if (sscanf(line.c_str(), "runner: sleep %u frame %u", &a, &b) == 2)
            r.sleeps.push_back(a);
        else if (sscanf(line.c_str(), "runner: key %u frame %u", &a, &b) == 2)
            r.keys.push_back({a, b});
        else if (sscanf(line.c_str(), "runner: special %u frame %u", &a, &b) == 2)
            r.specials.push_back({a, b});
        else if (sscanf(line.c_str(), "runner: span %lf", &ms) == 1)
            r.spanMs = ms;
        else if (sscanf(line.c_str(), "runner: frame %u", &a) == 1)
            r.lastFrame = a;
        else
            r.otherLines.push_back(line);
    }
    return r;
}

bool isStatisticsBlock(const std::string &out, unsigned frames)
{
    std::istringstream lines(out);
    std::string l[6];
    int n = 0;
    while (n < 6 && std::getline(lines, l[n]))
        ++n;
    if (n != 5 || out.back() != '\n')
        return false;
    const std::string rule = "*********************";
    float seconds = 0, fps = 0;
    char tail;
    return l[0] == rule && l[4] == rule && l[1] == "Frames " + std::to_string(frames) &&
           sscanf(l[2].c_str(), "Time   %f%c", &seconds, &tail) == 1 &&
           sscanf(l[3].c_str(), "Fps    %f%c", &fps, &tail) == 1 && seconds > 0 && fps > 0;
}

std::string binaryPath(const std::string &name)
{
    return std::string(DEMO_BINARY_DIR) + "/" + name;
}

bool mapEveryLatin1Key(const std::string &display)
{
    Display *dpy = XOpenDisplay(display.c_str());
    if (!dpy)
        return false;
    int low = 0, high = 0, perCode = 0;
    XDisplayKeycodes(dpy, &low, &high);
    KeySym *map = XGetKeyboardMapping(dpy, (KeyCode)low, high - low + 1, &perCode);
    // Keycodes without a symbol, or with only the vendor symbols of
    // multimedia keys (XF86...), which the tests never press, are free.
    std::vector<bool> present(256, false);
    std::vector<int> free;
    for (int code = low; code <= high; ++code) {
        bool spare = true;
        for (int i = 0; i < perCode; ++i) {
            KeySym sym = map[(code - low) * perCode + i];
            if (sym != NoSymbol && (sym < 0x1008ff00 || sym > 0x1008ffff))
                spare = false;
            if (sym < 256)
                present[sym] = true;
        }
        if (spare)
            free.push_back(code);
    }
    XFree(map);
    bool ok = true;
    size_t next = 0;
    for (KeySym sym = 0x20; sym <= 0xff; ++sym) {
        if (present[sym] || (sym > 0x7e && sym < 0xa0))
            continue;
        if (next == free.size()) {
            ok = false;
            break;
        }
        KeySym both[2] = {sym, sym};
        XChangeKeyboardMapping(dpy, free[next++], 2, both, 1);
    }
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return ok;
}
