// The gateway part's catalogue (sentences.def) as constexpr Sentences.
#pragma once

#include "tell.h"

namespace gateway::sentence {
#define KAVRO_SENTENCES "gateway/sentences.def"
#include "catalogue.inc"
} // namespace gateway::sentence
