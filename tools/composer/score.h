//------------------------------------------------------------------------------
// score.h -- the piece: its patterns, order list, tempo and title
//------------------------------------------------------------------------------
#pragma once

#include "xm_writer.h"

namespace score {

// The whole module, instruments included, ready to be encoded.
xm::Module ComposeSong();

}  // namespace score
