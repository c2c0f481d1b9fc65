//------------------------------------------------------------------------------
// notation_test.cpp -- the score's text becomes the cells it says
//------------------------------------------------------------------------------
#include "notation.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

namespace {

using namespace score;

TEST(NotationNotes, NamesMapToXmNoteNumbers) {
    EXPECT_EQ(ParseNote("C-0"), 1);
    EXPECT_EQ(ParseNote("C-4"), 49);
    EXPECT_EQ(ParseNote("A-4"), 58);
    EXPECT_EQ(ParseNote("C#5"), 62);
    EXPECT_EQ(ParseNote("B-7"), 96);
    for (int n = 1; n <= 96; ++n)
        EXPECT_EQ(ParseNote(NoteName(n)), n);
    for (const char* bad : {"H-4", "C-8", "E#4", "C4", "c-4", "C-", "C--4", "B#2"})
        EXPECT_THROW(ParseNote(bad), std::invalid_argument) << bad;
}

TEST(NotationChords, NamesGiveTheirPitchClasses) {
    auto chords = ParseChords("Am F C#m Bb Esus4 D:8 | Gdim");
    ASSERT_EQ(chords.size(), 7u);
    EXPECT_EQ(chords[0].pitches, (std::vector<int>{9, 0, 4}));
    EXPECT_EQ(chords[1].pitches, (std::vector<int>{5, 9, 0}));
    EXPECT_EQ(chords[2].pitches, (std::vector<int>{1, 4, 8}));
    EXPECT_EQ(chords[3].pitches, (std::vector<int>{10, 2, 5}));
    EXPECT_EQ(chords[4].pitches, (std::vector<int>{4, 9, 11}));
    EXPECT_EQ(chords[5].rows, 8);
    EXPECT_EQ(chords[0].rows, 16);
    EXPECT_EQ(chords[6].pitches, (std::vector<int>{7, 10, 1}));
    EXPECT_THROW(ParseChords("Amaj9"), std::invalid_argument);
    EXPECT_THROW(ParseChords("X"), std::invalid_argument);
    EXPECT_THROW(ParseChords("  "), std::invalid_argument);
}

TEST(NotationChords, VoicingsStayInOneOctaveFromTheLowestNote) {
    const int lowest = ParseNote("G-3");
    for (const Chord& c : ParseChords("Am F C G Dm E Em Bb F#m")) {
        std::vector<int> v = Voicing(c, lowest);
        ASSERT_EQ(v.size(), 3u);
        std::set<int> classes;
        for (size_t i = 0; i < v.size(); ++i) {
            EXPECT_GE(v[i], lowest);
            EXPECT_LT(v[i], lowest + 12);
            if (i > 0) {
                EXPECT_GT(v[i], v[i - 1]);
            }
            classes.insert((v[i] - 1) % 12);
        }
        EXPECT_EQ(classes, std::set<int>(c.pitches.begin(), c.pitches.end()));
    }
}

TEST(NotationTracks, ChordHelpersWriteTheRightNotes) {
    // C = G-3 C-4 E-4, Am = A-3 C-4 E-4: only the lowest voice moves.
    EXPECT_EQ(RowTokens(PadTrack("C:2 Am:2", 0, ParseNote("G-3"))), (std::vector<std::string>{"G-3", ".", "A-3", "."}));
    EXPECT_EQ(RowTokens(PadTrack("C:2 Am:2", 1, ParseNote("G-3"))), (std::vector<std::string>{"C-4", ".", ".", "."}));
    EXPECT_EQ(RowTokens(BassTrack("A:4 E:4", "185^", ParseNote("F-1"))),
              (std::vector<std::string>{"A-1", "A-2", "E-2", "^", "E-2", "E-3", "B-2", "^"}));
    EXPECT_EQ(RowTokens(ArpTrack("Am:5", "1234.", ParseNote("G-4"))),
              (std::vector<std::string>{"A-4", "C-5", "E-5", "A-5", "."}));
    EXPECT_THROW(BassTrack("Am", "1x", 10), std::invalid_argument);
    EXPECT_THROW(ArpTrack("Am", "15", 10), std::invalid_argument);
}

TEST(NotationPatterns, TracksTileAndCarryTheirVoice) {
    xm::Pattern p(8, 4);
    Voice lead{3, 32, 0x40, 0, 12};
    PlaceNotes(p, 1, "C-4 . A-4:48 ^", lead);
    for (int tile = 0; tile < 2; ++tile) {
        int r = tile * 4;
        EXPECT_EQ(p.at(r, 1).note, ParseNote("C-5"));  // transposed an octave
        EXPECT_EQ(p.at(r, 1).instrument, 3);
        EXPECT_EQ(p.at(r, 1).volume, xm::VolumeColumn(32));
        EXPECT_EQ(p.at(r, 1).effect, 0x08);
        EXPECT_EQ(p.at(r, 1).param, 0x40);
        EXPECT_TRUE(p.at(r + 1, 1).empty());
        EXPECT_EQ(p.at(r + 2, 1).note, ParseNote("A-5"));
        EXPECT_EQ(p.at(r + 2, 1).volume, xm::VolumeColumn(24));  // 48 scaled by 32/64
        EXPECT_EQ(p.at(r + 3, 1).note, xm::kNoteOff);
        EXPECT_EQ(p.at(r + 3, 1).instrument, 0);
    }
    for (int r = 0; r < 8; ++r)
        for (int c : {0, 2, 3})
            EXPECT_TRUE(p.at(r, c).empty());
}

TEST(NotationPatterns, DelayShiftsATrackLater) {
    xm::Pattern p(8, 2);
    Voice echo{1, 64, -1, 3};
    PlaceNotes(p, 0, "C-4 D-4 E-4 F-4 G-4 A-4 B-4 C-5", echo);
    for (int r = 0; r < 3; ++r)
        EXPECT_TRUE(p.at(r, 0).empty());
    EXPECT_EQ(p.at(3, 0).note, ParseNote("C-4"));
    EXPECT_EQ(p.at(7, 0).note, ParseNote("G-4"));
    EXPECT_EQ(p.at(3, 0).effect, 0);  // no pan asked for
}

TEST(NotationPatterns, DrumLinesUseTheKit) {
    Kit kit = {{'x', {1, 64}}, {'h', {2, 20, 61}}};
    xm::Pattern p(16, 2);
    PlaceDrums(p, 0, "x.h. | x...", kit);
    EXPECT_EQ(p.at(0, 0).instrument, 1);
    EXPECT_EQ(p.at(0, 0).note, 49);
    EXPECT_EQ(p.at(0, 0).volume, xm::VolumeColumn(64));
    EXPECT_EQ(p.at(2, 0).instrument, 2);
    EXPECT_EQ(p.at(2, 0).note, 61);
    EXPECT_EQ(p.at(2, 0).volume, xm::VolumeColumn(20));
    EXPECT_EQ(p.at(8, 0).instrument, 1);
    EXPECT_EQ(p.at(10, 0).instrument, 2);
    EXPECT_TRUE(p.at(6, 0).empty());
}

TEST(NotationPatterns, MistakesInTheScoreAreReported) {
    xm::Pattern p(16, 2);
    EXPECT_THROW(PlaceNotes(p, 0, "C-4 . .", Voice{}), std::invalid_argument);      // 3 does not divide 16
    EXPECT_THROW(PlaceNotes(p, 0, "C-4 . . Q-4", Voice{}), std::invalid_argument);
    EXPECT_THROW(PlaceNotes(p, 0, "B-7 . . .", Voice{1, 64, -1, 0, 1}), std::invalid_argument);  // beyond B-7
    EXPECT_THROW(PlaceDrums(p, 0, "x.y.", Kit{{'x', {1, 64}}}), std::invalid_argument);
    EXPECT_THROW(PlaceDrums(p, 0, "x....", Kit{{'x', {1, 64}}}), std::invalid_argument);
}

}  // namespace
