#pragma once

// Registers our own firewall classes with the COM runtime,
// where the operating system has no COM of its own.
void RegisterPlatformClasses();
