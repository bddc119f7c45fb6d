// The platform's interface report, written to the capture file "ip_c.tmp" in the
// user's temporary directory and read back from it.
#pragma once

#include <optional>
#include <string>

// The capture file's bytes after this run rewrote it; nothing when it cannot be read.
std::optional<std::string> CaptureAddressReport();
