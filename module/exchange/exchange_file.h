// The two exchange files as the module meets them: in the folder the window runs it
// in, which others may be able to write to.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The first `limit` bytes of a regular file. Nothing for a file that is missing or
// unreadable and, where the system has them, for a link, FIFO, device or directory,
// at once and never blocking.
std::optional<std::string> ReadExchangeFile(const char* name, std::size_t limit);

// Replaces the file with `text`, whose '\n' line ends become the platform's own. On
// POSIX through a new file renamed into place, so a link or anything else planted
// under the name is replaced, never opened. A file that cannot be made is left alone.
void ReplaceExchangeFile(const char* name, const std::string& text);
