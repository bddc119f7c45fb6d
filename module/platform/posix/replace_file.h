// Replacing a file through a new one renamed into place: a reader sees the old text or
// the new, never half of one, and a link or FIFO planted under the name is replaced,
// never opened.
#pragma once

#include <string>

// Replaces `folder`/`name` with `text`; false (and the old file left) when it cannot.
bool ReplaceFile(const std::string& folder, const std::string& name, const std::string& text);
