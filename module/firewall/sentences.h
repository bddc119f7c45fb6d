// The firewall's catalogue (sentences.def) as constexpr Sentences.
#pragma once

#include "tell.h"

namespace firewall::sentence {
#define KAVRO_SENTENCES "firewall/sentences.def"
#include "catalogue.inc"
} // namespace firewall::sentence
