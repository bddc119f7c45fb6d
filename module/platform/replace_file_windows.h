// Files of the user's state folder on Windows, whose paths are kept in UTF-8.
#pragma once

#include <string>

std::wstring WideFromUtf8(const std::string& utf8);

// Replaces `folder`\`name` with `text` through a new file moved into place, which
// replaces a link under the name and never follows it; false when it cannot.
bool ReplaceStateFile(const std::string& folder, const std::string& name, const std::string& text);
