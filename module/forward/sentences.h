// The forward's catalogue (sentences.def) as constexpr Sentences.
#pragma once

#include "tell.h"

namespace forward::sentence {
#define KAVRO_SENTENCES "forward/sentences.def"
#include "catalogue.inc"
} // namespace forward::sentence
