#include "diagnostics.h"

#include <iostream>

void DiagnosticLine(const std::string& line) { std::cout << line << std::endl; }

void UserLine(const std::string& sentence) { std::cerr << sentence << std::endl; }

void Headline(const std::string& sentence) { std::cerr << kHeadlineMarker << sentence << std::endl; }
