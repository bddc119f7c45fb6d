// The record's catalogue (sentences.def) as constexpr Sentences.
#pragma once

#include "tell.h"

namespace record::sentence {
#define KAVRO_SENTENCES "record/sentences.def"
#include "catalogue.inc"
} // namespace record::sentence
