// Reads a whole small file, telling apart why it could not be read.
#pragma once

#include <string>

namespace firewall {

// 0 with the text, or the errno of the failure (ENOENT, EACCES, ...).
int ReadFileText(const std::string& path, std::string& text);

} // namespace firewall
