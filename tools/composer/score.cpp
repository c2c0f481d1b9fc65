//------------------------------------------------------------------------------
// score.cpp -- "Midnight Relay", in A minor at 140 BPM
//
// Each pattern is four bars of sixteen rows. The form:
//   intro (pads, arpeggio), intro with beat and bass,
//   theme A and its answer, theme B and its turn to the dominant,
//   theme A again, a breakdown, a build-up, the return of theme A with the
//   lead doubled an octave up, theme B, the return once more and a
//   turnaround that leads back into theme A, where the song loops.
//------------------------------------------------------------------------------
#include "score.h"

#include <string>

#include "notation.h"

namespace score {

namespace {

using namespace instruments;

// Channels, left to right in the tracker.
enum Channel { KickCh, SnareCh, HatCh, BassCh, LeadCh, EchoCh, PadLowCh, PadMidCh, PadHighCh, ArpCh, CrashCh, SparkleCh, Channels };

// ---- Drums: one character per sixteenth ----------------------------------

const Kit kKit = {
    {'x', {Kick, 64}},      {'k', {Kick, 40}},
    {'s', {Snare, 46}},     {'S', {Snare, 56}},     {'g', {Snare, 16}},
    {'1', {Snare, 14}},     {'2', {Snare, 24}},     {'3', {Snare, 34}},   {'4', {Snare, 46}},
    {'h', {ClosedHat, 22}}, {'H', {ClosedHat, 36}}, {'o', {OpenHat, 28}},
    {'c', {Crash, 40}},
};

std::string Bars(const std::string& bar, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += bar + " ";
    return out;
}

const std::string kFourFloor = "x...x...x...x...";
const std::string kKickPush  = "x...x...x...x.k.";
const std::string kBackbeat  = "....s.......s...";
const std::string kGhosts    = "....s..g....s.g.";
const std::string kFill      = "....s...s.s.SSSS";
const std::string kFillShort = "....s.......s.SS";
const std::string kHats      = "h.H.h.H.h.H.h.H.";
const std::string kOpenHats  = "hho.hho.hho.hho.";
const std::string kCrashOne  = "c..............." + Bars("................", 3);
const std::string kSilence   = "................";

// ---- Harmony --------------------------------------------------------------

const std::string kChordsA     = "Am F C G";
const std::string kChordsB     = "F G Em Am";
const std::string kChordsBTurn = "F G E:32";
const std::string kChordsBreak = "Dm Am F E";
const std::string kChordsEnd   = "Am F G E";

// ---- Melodies: one token per sixteenth, a bar per line ---------------------

const std::string kThemeA =
    "A-4 . . C-5 . . E-5 . D-5 . C-5 . D-5 . E-5 . |"
    "F-5 . . E-5 . . C-5 . A-4 . . . C-5 . . . |"
    "G-5 . . E-5 . . C-5 . E-5 . G-5 . E-5 . D-5 . |"
    "D-5 . . B-4 . . G-4 . B-4 . . . D-5 . ^ . |";

const std::string kThemeAnswer =
    "A-4 . . C-5 . . E-5 . D-5 . C-5 . D-5 . E-5 . |"
    "F-5 . . E-5 . . C-5 . A-4 . . . F-5 . G-5 . |"
    "E-5 . . G-5 . . C-6 . B-5 . G-5 . E-5 . G-5 . |"
    "A-5 . . . . . . . G-5 . E-5 . D-5 . B-4 . |";

const std::string kThemeB =
    "C-5 . . . . . A-4 . C-5 . . . F-5 . . . |"
    "D-5 . . . . . B-4 . D-5 . . . G-5 . . . |"
    "E-5 . . . . . D-5 . B-4 . . . G-4 . . . |"
    "A-4 . . . . . . . C-5 . B-4 . A-4 . G-4 . |";

const std::string kThemeBTurn =
    "C-5 . . . . . A-4 . C-5 . . . F-5 . . . |"
    "G-5 . . . F-5 . . . E-5 . . . D-5 . . . |"
    "E-5 . . . . . . . G#5 . . . B-5 . . . |"
    "G#5 . . . . . E-5 . D-5 . . . B-4 . G#4 . |";

const std::string kBreakLine =
    "F-5 . . . . . . . . . . . E-5 . D-5 . |"
    "E-5 . . . . . . . . . . . C-5 . A-4 . |"
    "C-5 . . . . . . . A-4 . . . C-5 . F-5 . |"
    "E-5 . . . . . . . . . . . ^ . . . |";

const std::string kTurnaround =
    "A-4 . . C-5 . . E-5 . D-5 . C-5 . D-5 . E-5 . |"
    "F-5 . . E-5 . . C-5 . A-4 . . . F-5 . G-5 . |"
    "D-5 . . G-5 . . B-5 . A-5 . G-5 . F-5 . D-5 . |"
    "E-5 . . G#5 . . B-5 . A-5 . G#5 . E-5 . D-5 . |";

// ---- Voices: instrument, loudness, place in the stereo field ---------------

const Voice kBassVoice    = {Bass, 44};
const Voice kLeadVoice    = {Lead, 48};
const Voice kEchoVoice    = {Lead, 19, 0x40, 3};    // a dotted-eighth echo, left
const Voice kSparkleVoice = {Pluck, 18, 0xB8, 0, 12};
const int kArpPan = 0xC0;
const int kPadVolume = 28;
const int kPadPans[3] = {0x60, 0x80, 0xA0};

// What a pattern is made of; empty strings leave a channel silent.
struct Arrangement {
    std::string chords;
    std::string kick, snare, hats, crash;
    std::string bassRhythm;
    std::string lead;
    bool echo = true;
    bool sparkle = false;
    std::string arpRhythm;
    int arpVolume = 19;
    bool riser = false;  // a noise swell bending up over the last two bars
};

xm::Pattern Build(const Arrangement& a) {
    xm::Pattern p(64, Channels);
    if (!a.kick.empty()) PlaceDrums(p, KickCh, a.kick, kKit);
    if (!a.snare.empty()) PlaceDrums(p, SnareCh, a.snare, kKit);
    if (!a.hats.empty()) PlaceDrums(p, HatCh, a.hats, kKit);
    if (!a.crash.empty()) PlaceDrums(p, CrashCh, a.crash, kKit);
    if (!a.bassRhythm.empty())
        PlaceNotes(p, BassCh, BassTrack(a.chords, a.bassRhythm, ParseNote("F-1")), kBassVoice);
    if (!a.lead.empty()) {
        PlaceNotes(p, LeadCh, a.lead, kLeadVoice);
        if (a.echo) PlaceNotes(p, EchoCh, a.lead, kEchoVoice);
        if (a.sparkle) PlaceNotes(p, SparkleCh, a.lead, kSparkleVoice);
    }
    for (int v = 0; v < 3; ++v)
        PlaceNotes(p, PadLowCh + v, PadTrack(a.chords, v, ParseNote("G-3")), Voice{Pad, kPadVolume, kPadPans[v]});
    if (!a.arpRhythm.empty())
        PlaceNotes(p, ArpCh, ArpTrack(a.chords, a.arpRhythm, ParseNote("G-4")), Voice{Pluck, a.arpVolume, kArpPan});
    if (a.riser) {
        PlaceNotes(p, CrashCh, Bars(".", 32) + "C-3:40 " + Bars(".", 31), Voice{Riser});
        for (int row = 33; row < 64; ++row) {
            p.at(row, CrashCh).effect = 0x01;  // portamento up, 1/8 semitone a tick
            p.at(row, CrashCh).param = 0x02;
        }
    }
    return p;
}

std::vector<xm::Pattern> Patterns() {
    std::vector<xm::Pattern> patterns;

    Arrangement intro;
    intro.chords = kChordsA;
    intro.hats = Bars(kSilence, 2) + Bars("..h...h...h...h.", 2);
    intro.arpRhythm = "1.2.3.2.1.2.3.2.";
    intro.arpVolume = 20;
    patterns.push_back(Build(intro));                          // 0

    Arrangement introBeat = intro;
    introBeat.kick = Bars(kFourFloor, 3) + kKickPush;
    introBeat.snare = Bars(kSilence, 3) + kFillShort;
    introBeat.hats = Bars("..H...H...H...H.", 4);
    introBeat.bassRhythm = "..1...1...1...1.";
    introBeat.arpVolume = 22;
    patterns.push_back(Build(introBeat));                      // 1

    Arrangement themeA;
    themeA.chords = kChordsA;
    themeA.kick = Bars(kFourFloor, 3) + kKickPush;
    themeA.snare = Bars(kBackbeat, 3) + kFillShort;
    themeA.hats = kHats;
    themeA.crash = kCrashOne;
    themeA.bassRhythm = "1.8.1.8.1.8.1.85";
    themeA.lead = kThemeA;
    themeA.arpRhythm = "1.3.2.4.1.3.2.4.";
    patterns.push_back(Build(themeA));                         // 2

    Arrangement answer = themeA;
    answer.snare = Bars(kBackbeat, 3) + kFill;
    answer.crash = "";
    answer.lead = kThemeAnswer;
    patterns.push_back(Build(answer));                         // 3

    Arrangement themeB = themeA;  // the same kick and crash
    themeB.chords = kChordsB;
    themeB.snare = Bars(kGhosts, 3) + kFillShort;
    themeB.hats = kOpenHats;
    themeB.bassRhythm = "1..1..1.1..1..8.";
    themeB.lead = kThemeB;
    themeB.arpRhythm = "123412341234123.";
    themeB.arpVolume = 16;
    patterns.push_back(Build(themeB));                         // 4

    Arrangement turn = themeB;
    turn.chords = kChordsBTurn;
    turn.snare = Bars(kGhosts, 3) + kFill;
    turn.crash = "";
    turn.lead = kThemeBTurn;
    patterns.push_back(Build(turn));                           // 5

    Arrangement breakdown;
    breakdown.chords = kChordsBreak;
    breakdown.crash = kCrashOne;
    breakdown.bassRhythm = "1...............";
    breakdown.lead = kBreakLine;
    breakdown.arpRhythm = "1.2.3.4.3.2.1.2.";
    breakdown.arpVolume = 24;
    patterns.push_back(Build(breakdown));                      // 6

    Arrangement build;
    build.chords = kChordsBreak;
    build.kick = Bars("x...............", 2) + Bars(kFourFloor, 2);
    build.snare = kSilence + "1...1...1...1..." + "2...2...2.2.2.2." + "3.3.3.3.4444SSSS";
    build.hats = Bars(kSilence, 2) + Bars("..h...h...h...h.", 2);
    build.bassRhythm = "1.1.1.1.1.1.1.1.";
    build.arpRhythm = "1234";
    build.arpVolume = 22;
    build.riser = true;
    patterns.push_back(Build(build));                          // 7

    Arrangement ret = themeA;
    ret.hats = kOpenHats;
    ret.bassRhythm = "1.81.81.1.81.8.5";
    ret.sparkle = true;
    ret.arpRhythm = "1232123212321232";
    ret.arpVolume = 15;
    patterns.push_back(Build(ret));                            // 8

    Arrangement retAnswer = ret;
    retAnswer.crash = "";
    retAnswer.snare = Bars(kBackbeat, 3) + kFill;
    retAnswer.lead = kThemeAnswer;
    patterns.push_back(Build(retAnswer));                      // 9

    Arrangement end = retAnswer;
    end.chords = kChordsEnd;
    end.lead = kTurnaround;
    end.kick = Bars(kFourFloor, 3) + "x...x...x.x.x.x.";
    end.snare = Bars(kBackbeat, 3) + "..s.s.s.SSSSSSSS";
    patterns.push_back(Build(end));                            // 10

    return patterns;
}

}  // namespace

xm::Module ComposeSong() {
    xm::Module m;
    m.name = "Midnight Relay";
    // FastTracker 2 is the player this file is written for; libopenmpt also
    // takes its mixing rules (and panning law) from this name.
    m.tracker = "FastTracker v2.00";
    m.channels = Channels;
    m.speed = 6;
    m.bpm = 140;
    m.patterns = Patterns();
    m.orders = {
        0, 1,        // intro, intro with the beat
        2, 3, 4, 5,  // theme A, its answer, theme B, its turn to E
        2, 3,        // theme A and its answer again
        6, 7,        // breakdown, build-up
        8, 9,        // the return, lead doubled an octave up
        4, 5,        // theme B and its turn
        8, 10,       // the return once more, the turnaround
    };
    m.restart = 2;  // the turnaround ends on E and leads back into theme A
    m.instruments = instruments::MakeAll();
    return m;
}

}  // namespace score
