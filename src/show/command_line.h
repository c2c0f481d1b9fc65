// command_line.h -- what a desktop program reads of its command line before
// any window opens: --help, --version and --fps. Everything else is GLUT's
// and stays in order.
#ifndef COMMAND_LINE_H
#define COMMAND_LINE_H

// --help prints the usage, which every desktop program begins alike and
// goes on with `usage`, from the middle of --fps's text; --version the program's name and `version`: each ends the
// program, *status 0, or 1 when standard output could not take it. A bad
// --fps says why on stderr, *status 2. Each of them returns false. Otherwise
// --fps is taken out of the command line and put in front of the frames
// (see pacer.h), and it returns true for the show to start.
bool showReadCommandLine(int *argc, char **argv, const char *usage, const char *version, int *status);

#endif
