// gl_trace.h -- a record of the GL, GLU and GLUT calls the show makes.
//
// A program that links gl_trace.cpp defines the graphics entry points the
// show uses itself; each definition notes the call and passes it on to the
// real library, so the picture is drawn exactly as without the trace. Calls
// that the libraries make internally (the quadric's triangles, the wire
// sphere's lines) are passed on but not noted: only the show's own calls are.
#ifndef GL_TRACE_H
#define GL_TRACE_H

#include <string>
#include <vector>

// Calls noted since the last clear, one string each, e.g.
// "glRotatef(90, 1, 0, 0)"; enums by their GL names, pointers by the values
// they point to.
extern std::vector<std::string> glTrace;
extern bool glTracing;

// A number as the trace writes it, with every digit it has: %.9g for a value
// that is a float, %.17g for any other double.
std::string glTraceNumber(double v);

#endif
