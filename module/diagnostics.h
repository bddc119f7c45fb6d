// The module's two kinds of text besides the result file. Standard output carries the
// developer's diagnostic lines; standard error carries sentences for the user, one per
// fact, which the window offers as its outcome's details. Every line goes through one
// narrow stream each: glibc drops output of the other width once a stream has one.
#pragma once

#include <string>

void DiagnosticLine(const std::string& line);

// One sentence on standard error.
void UserLine(const std::string& sentence);

// Marks a line of standard error as a headline: the one or two sentences the window
// shows in its outcome box itself (what went wrong and what to do next, or how long a
// success lasts), so it never has to pick them out of free text.
inline constexpr const char* kHeadlineMarker = ">> ";

// One headline sentence on standard error, after the marker.
void Headline(const std::string& sentence);
