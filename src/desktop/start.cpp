// start.cpp -- the show's entry point.
#include "demo.h"

int main(int argc, char **argv)
{
    return showMain(argc, argv);
}
