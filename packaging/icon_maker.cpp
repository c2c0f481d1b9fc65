// icon_maker.cpp -- writes the menu icon from the title picture.
//
//     icon_maker PICTURE.png SIDE ICON.png
#include <cstdio>
#include <cstdlib>

#include "icon.h"

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: icon_maker PICTURE.png SIDE ICON.png\n");
        return 2;
    }
    char *end = nullptr;
    long side = strtol(argv[2], &end, 10);
    if (*end != '\0' || side < 16 || side > 1024) {
        fprintf(stderr, "icon_maker: SIDE must be a number from 16 to 1024, got '%s'\n", argv[2]);
        return 2;
    }
    RgbaImage picture;
    std::string error;
    if (!readPng(argv[1], &picture, &error) || !writePng(argv[3], fitSquare(picture, (int)side), &error)) {
        fprintf(stderr, "icon_maker: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
