// The folder this program's file is in, where its companion programs are installed.
#pragma once

#include <string>

// With a trailing backslash; empty when the system does not say.
std::wstring ProgramFolder();
