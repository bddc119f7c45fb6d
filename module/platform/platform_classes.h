#pragma once

// Registers our own classes for the gateway and the firewall with the COM runtime,
// where the operating system has no COM of its own.
void RegisterPlatformClasses();
