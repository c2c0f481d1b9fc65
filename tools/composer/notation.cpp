//------------------------------------------------------------------------------
// notation.cpp -- reads the score's text into pattern cells
//------------------------------------------------------------------------------
#include "notation.h"

#include <algorithm>
#include <functional>
#include <sstream>
#include <stdexcept>

namespace score {

namespace {

const char* const kNoteNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

int PitchClass(int note) { return (note - 1) % 12; }

// The note of pitch class pc at or above `lowest`, within one octave.
int PlaceAbove(int pc, int lowest) { return lowest + ((pc - PitchClass(lowest)) % 12 + 12) % 12; }

// Each note letter stands at its pitch class in this string.
int LetterPitch(char c) {
    size_t pitch = std::string("C D EF G A B").find(c);
    if (c == ' ' || pitch == std::string::npos)
        throw std::invalid_argument(std::string("not a note letter: ") + c);
    return static_cast<int>(pitch);
}

// Characters of a rhythm or drum line, without spaces and bar lines.
std::string Steps(const std::string& line) {
    std::string out;
    for (const std::string& token : RowTokens(line))
        out += token;
    if (out.empty())
        throw std::invalid_argument("empty step line");
    return out;
}

int ClampVolume(int v) { return std::max(0, std::min(64, v)); }

// A token with a number after a colon ("A-4:40", "E:32"): sets `number` and
// returns what comes before the colon. Without a colon, returns the token.
std::string WithoutNumber(const std::string& token, int& number) {
    size_t colon = token.find(':');
    if (colon != std::string::npos)
        number = std::stoi(token.substr(colon + 1));
    return token.substr(0, colon);
}

// A track from a rhythm repeated through each chord: `token` gives the row's
// token for the chord and the rhythm's character.
std::string ChordRhythm(const std::string& chords, const std::string& rhythm,
                        const std::function<std::string(const Chord&, char)>& token) {
    std::string steps = Steps(rhythm);
    std::string track;
    for (const Chord& c : ParseChords(chords))
        for (int r = 0; r < c.rows; ++r)
            track += " " + token(c, steps[static_cast<size_t>(r) % steps.size()]);
    return track;
}

}  // namespace

int ParseNote(const std::string& name) {
    if (name.size() != 3 || (name[1] != '-' && name[1] != '#') || name[2] < '0' || name[2] > '7')
        throw std::invalid_argument("not a note: " + name);
    int pitch = LetterPitch(name[0]) + (name[1] == '#' ? 1 : 0);
    if (name[1] == '#' && (name[0] == 'E' || name[0] == 'B'))
        throw std::invalid_argument("no such note: " + name);
    return (name[2] - '0') * 12 + pitch + 1;
}

std::string NoteName(int note) {
    if (note == xm::kNoteOff)
        return "^";
    if (note < 1 || note > 96)
        throw std::invalid_argument("note out of range");
    return kNoteNames[PitchClass(note)] + std::to_string((note - 1) / 12);
}

std::vector<Chord> ParseChords(const std::string& text, int rowsPerChord) {
    std::vector<Chord> chords;
    for (std::string token : RowTokens(text)) {
        Chord chord{};
        chord.rows = rowsPerChord;
        token = WithoutNumber(token, chord.rows);
        if (token.empty() || chord.rows <= 0)
            throw std::invalid_argument("bad chord: " + token);
        chord.root = LetterPitch(token[0]);
        size_t i = 1;
        if (i < token.size() && (token[i] == '#' || token[i] == 'b')) {
            chord.root = (chord.root + (token[i] == '#' ? 1 : 11)) % 12;
            ++i;
        }
        // The chord's intervals above its root, by the quality after the root.
        static const std::map<std::string, std::vector<int>> kQualities = {
            {"", {0, 4, 7}}, {"m", {0, 3, 7}}, {"sus2", {0, 2, 7}}, {"sus4", {0, 5, 7}}, {"dim", {0, 3, 6}}};
        auto quality = kQualities.find(token.substr(i));
        if (quality == kQualities.end())
            throw std::invalid_argument("unknown chord quality: " + token);
        for (int iv : quality->second)
            chord.pitches.push_back((chord.root + iv) % 12);
        chords.push_back(chord);
    }
    if (chords.empty())
        throw std::invalid_argument("no chords");
    return chords;
}

std::vector<int> Voicing(const Chord& chord, int lowest) {
    std::vector<int> notes;
    for (int pc : chord.pitches)
        notes.push_back(PlaceAbove(pc, lowest));
    std::sort(notes.begin(), notes.end());
    return notes;
}

std::string PadTrack(const std::string& chords, int voice, int lowest) {
    std::string track;
    int previous = -1;
    for (const Chord& c : ParseChords(chords)) {
        int note = Voicing(c, lowest).at(static_cast<size_t>(voice));
        // A tone shared by two chords keeps sounding instead of starting again.
        track += note == previous ? " ." : " " + NoteName(note);
        previous = note;
        for (int r = 1; r < c.rows; ++r)
            track += " .";
    }
    return track;
}

std::string BassTrack(const std::string& chords, const std::string& rhythm, int lowest) {
    return ChordRhythm(chords, rhythm, [lowest](const Chord& c, char s) {
        int root = PlaceAbove(c.root, lowest);
        switch (s) {
        case '1': return NoteName(root);
        case '8': return NoteName(root + 12);
        case '5': return NoteName(root + 7);
        case '^': case '.': return std::string(1, s);
        default: throw std::invalid_argument(std::string("bad bass step: ") + s);
        }
    });
}

std::string ArpTrack(const std::string& chords, const std::string& rhythm, int lowest) {
    return ChordRhythm(chords, rhythm, [lowest](const Chord& c, char s) {
        if (s == '.')
            return std::string(".");
        if (s < '1' || s > '4')
            throw std::invalid_argument(std::string("bad arpeggio step: ") + s);
        std::vector<int> v = Voicing(c, lowest);
        v.push_back(v[0] + 12);  // '4': the lowest an octave up
        return NoteName(v[static_cast<size_t>(s - '1')]);
    });
}

std::vector<std::string> RowTokens(const std::string& track) {
    std::string spaced = track;
    std::replace(spaced.begin(), spaced.end(), '|', ' ');  // bar lines take no row
    std::vector<std::string> tokens;
    std::istringstream in(spaced);
    std::string token;
    while (in >> token)
        tokens.push_back(token);
    return tokens;
}

void PlaceNotes(xm::Pattern& pattern, int channel, const std::string& track, const Voice& voice) {
    std::vector<std::string> tokens = RowTokens(track);
    if (tokens.empty() || pattern.rows % static_cast<int>(tokens.size()) != 0)
        throw std::invalid_argument("track length must divide the pattern length");
    int n = static_cast<int>(tokens.size());
    for (int row = voice.delay; row < pattern.rows; ++row) {
        const std::string& t = tokens[static_cast<size_t>((row - voice.delay) % n)];
        if (t == ".")
            continue;
        xm::Cell& cell = pattern.at(row, channel);
        cell = xm::Cell{};
        if (t == "^") {
            cell.note = xm::kNoteOff;
            continue;
        }
        int volume = 64;
        int note = ParseNote(WithoutNumber(t, volume)) + voice.transpose;
        if (note < 1 || note > 96)
            throw std::invalid_argument("transposed note out of range: " + t);
        cell.note = static_cast<uint8_t>(note);
        cell.instrument = static_cast<uint8_t>(voice.instrument);
        cell.volume = xm::VolumeColumn(ClampVolume((ClampVolume(volume) * voice.volume + 32) / 64));
        if (voice.pan >= 0) {
            cell.effect = 0x08;
            cell.param = static_cast<uint8_t>(voice.pan);
        }
    }
}

void PlaceDrums(xm::Pattern& pattern, int channel, const std::string& line, const Kit& kit) {
    std::string steps = Steps(line);
    int n = static_cast<int>(steps.size());
    if (pattern.rows % n != 0)
        throw std::invalid_argument("drum line length must divide the pattern length");
    for (int row = 0; row < pattern.rows; ++row) {
        char s = steps[static_cast<size_t>(row % n)];
        if (s == '.')
            continue;
        auto hit = kit.find(s);
        if (hit == kit.end())
            throw std::invalid_argument(std::string("no drum for step: ") + s);
        xm::Cell& cell = pattern.at(row, channel);
        cell.note = static_cast<uint8_t>(hit->second.note);
        cell.instrument = static_cast<uint8_t>(hit->second.instrument);
        cell.volume = xm::VolumeColumn(ClampVolume(hit->second.volume));
    }
}

}  // namespace score
