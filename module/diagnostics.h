// The module's diagnostic lines on standard output. Every line goes through one
// narrow stream: glibc drops output of the other width once a stream has one.
#pragma once

#include <string>

void DiagnosticLine(const std::string& line);
