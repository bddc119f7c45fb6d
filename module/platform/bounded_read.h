// Reads the start of a file, never more than a limit, so a huge or endless file
// cannot exhaust memory.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>

// Up to `limit` bytes of `in`; nothing when the stream is not usable or a read fails.
std::optional<std::string> ReadAtMost(std::istream& in, std::size_t limit);
