// main.cpp -- the show's entry point in a browser page.
//
// The page starts the program when its start button is clicked (page.js).
// The options of the page's address, which the tests and the benchmark use,
// are set up first (page_options.cpp); then the show runs as on the desktop.
#include "demo.h"

void pageOptions();

int main(int argc, char **argv)
{
    pageOptions();
    return showMain(argc, argv);
}
