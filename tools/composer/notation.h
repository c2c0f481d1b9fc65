//------------------------------------------------------------------------------
// notation.h -- tracker-style text for notes, drum steps and chords
//
// A track is a string of row tokens, one per row, read left to right:
//   C-4  F#3     a note (letter, '-' or '#', octave 0..7)
//   40       a note at volume 40 (0..64)
//   .            nothing on this row
//   ^            key off
//   |            bar line, ignored (it does not take a row)
// A drum line has one character per row: '.' for a rest, any other character
// a hit looked up in a Kit. Chords are named "Am", "F", "C#m", "Bb", "Esus4",
// optionally with a length in rows after a colon ("E:8").
// A track shorter than its pattern is repeated to fill it.
//------------------------------------------------------------------------------
#pragma once

#include <map>
#include <string>
#include <vector>

#include "xm_writer.h"

namespace score {

// XM note number for "C-4" style names (C-0 = 1, C-4 = 49, B-7 = 96).
// Throws std::invalid_argument for anything else.
int ParseNote(const std::string& name);
std::string NoteName(int note);

// How a track is played: which instrument, how loud, where, how late.
struct Voice {
    int instrument = 1;
    int volume = 64;    // scales every note's volume (64 = as written)
    int pan = -1;       // 0..255 set with effect 8xx on every note; -1 leaves it
    int delay = 0;      // rows the whole track is shifted later (an echo)
    int transpose = 0;  // semitones
};

// One drum hit: the instrument, its volume and the note it is played on.
struct Hit {
    int instrument;
    int volume;
    int note = 49;
};
using Kit = std::map<char, Hit>;

struct Chord {
    int root;                  // pitch class, 0 = C
    std::vector<int> pitches;  // pitch classes of the chord, root first
    int rows;                  // how long it lasts
};

// Reads "Am F C G" into chords, each lasting rowsPerChord unless a token says
// otherwise ("G:8").
std::vector<Chord> ParseChords(const std::string& text, int rowsPerChord = 16);

// The chord's notes, each placed in the octave from `lowest` up (so voices
// move little from chord to chord), in rising order.
std::vector<int> Voicing(const Chord& chord, int lowest);

// Builds tracks from chords. Each returns a track string in the notation above.
// Pad: one sustained chord tone (index `voice` of the voicing) per chord.
std::string PadTrack(const std::string& chords, int voice, int lowest);
// Bass: a per-chord rhythm where '1' is the root, '8' the root an octave up,
// '5' the fifth, '.' a rest and '^' a key off; the root lies from `lowest` up.
std::string BassTrack(const std::string& chords, const std::string& rhythm, int lowest);
// Arpeggio: a per-chord rhythm of '1' '2' '3' (chord tones of the voicing,
// '4' the lowest an octave up) and '.'.
std::string ArpTrack(const std::string& chords, const std::string& rhythm, int lowest);

// Writes a track of note tokens into a channel of the pattern.
void PlaceNotes(xm::Pattern& pattern, int channel, const std::string& track, const Voice& voice);
// Writes a drum line into a channel, looking each character up in the kit.
void PlaceDrums(xm::Pattern& pattern, int channel, const std::string& steps, const Kit& kit);

// Splits a track into one token per row (bar lines dropped).
std::vector<std::string> RowTokens(const std::string& track);

}  // namespace score
