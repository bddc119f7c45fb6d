// The module's side of the two files it shares with the window.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kCommandFileName = "kavro.cmd";
inline constexpr const char* kResultFileName = "log.txt";

// Replace the result file with one line. A file that cannot be made is left alone, silently.
void writeResultText(const std::string& text);

// Replace the result file with the lines in order; an empty list leaves an empty file.
void writeResultLines(std::vector<std::wstring> lines);

// Every line of the command file, line ends removed; nothing when it cannot be read.
std::optional<std::vector<std::wstring>> readCommandLines();
