# show.cmake -- the show's sources and the compiler settings its course
# needs, included by every build of it: the desktop's (the top
# CMakeLists.txt), Windows' (src/windows) and the web's (src/web).
#
#   SHOW_DIR       this folder, for the show's headers
#   SHOW_SOURCES   the show itself, compiled unchanged everywhere
#   SHOW_PROGRAM   what a program with a command line adds: its reading
#                  (--help, --version) and the frame pacer behind --fps
#                  (the page paces its own animation frames instead)
#   MUSIC_DIR      the music layer (libopenmpt and SDL2), which Linux and
#   MUSIC_SOURCES  Windows share; the page plays through its own player
set(SHOW_DIR ${CMAKE_CURRENT_LIST_DIR})
set(SHOW_SOURCES)
foreach(part demo_state shell render_setup camera spinner spinner_field blast slideshow)
    list(APPEND SHOW_SOURCES ${SHOW_DIR}/${part}.cpp)
endforeach()
set(SHOW_PROGRAM ${SHOW_DIR}/command_line.cpp ${SHOW_DIR}/pacer.cpp)
get_filename_component(MUSIC_DIR ${SHOW_DIR}/../music ABSOLUTE)
set(MUSIC_SOURCES ${MUSIC_DIR}/sound.cpp)

# The show's course is fixed to the frame, so floating point must round the
# same way on every machine: no contraction into fused multiply-adds, no
# fast-math, no host-specific instruction sets.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
add_compile_options(-Wall -Wextra -ffp-contract=off)
# GCC 12's vectorizer can drop the rounding of a double result stored into a
# float when the float is read back as a double (seen on x86-64 at -O2),
# which would move the show's course off its fixed frames.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-fno-tree-vectorize)
endif()
