// The renewal schedule's catalogue (sentences.def) as constexpr Sentences.
#pragma once

#include "tell.h"

namespace schedule::sentence {
#define KAVRO_SENTENCES "schedule/sentences.def"
#include "catalogue.inc"
} // namespace schedule::sentence
