// main.cpp -- the show's entry point in a browser page.
//
// The page starts the program when its start button is clicked (page.js),
// and the show runs as on the desktop. The page's own options, for the
// tests and the benchmark, are set up first (page_options.cpp).
#include "demo.h"
#include "page_options.h"

int main(int argc, char **argv)
{
    pageOptions();
    return showMain(argc, argv);
}
