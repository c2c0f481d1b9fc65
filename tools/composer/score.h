//------------------------------------------------------------------------------
// score.h -- the piece (score.cpp): its patterns, order list, tempo and title,
// and its instruments, synthesised from nothing (instruments.cpp)
//------------------------------------------------------------------------------
#pragma once

#include <vector>

#include "xm_writer.h"

namespace instruments {

// Instrument numbers as the score writes them into cells.
enum Id {
    Kick = 1,
    Snare,
    ClosedHat,
    OpenHat,
    Crash,
    Bass,
    Lead,
    Pad,
    Pluck,
    Riser,
    Count = Riser
};

// All instruments, element i being instrument number i + 1. The same call
// always yields the same samples.
std::vector<xm::Instrument> MakeAll();

}  // namespace instruments

namespace score {

// The whole module, instruments included, ready to be encoded.
xm::Module ComposeSong();

}  // namespace score
