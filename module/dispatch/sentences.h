// The command dispatch's catalogue (sentences.def) as constexpr Sentences.
#pragma once

#include "tell.h"

namespace dispatch::sentence {
#define KAVRO_SENTENCES "dispatch/sentences.def"
#include "catalogue.inc"
} // namespace dispatch::sentence
