//------------------------------------------------------------------------------
// instruments.h -- the module's instruments, synthesised from nothing
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
