#pragma once

// One run of the module: list the addresses, read the command file, carry out
// the command on its first line. Always returns 0.
int RunModule();

// The one line that says how the module is used, on standard error.
void PrintUsage();
