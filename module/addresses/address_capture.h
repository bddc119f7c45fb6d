// The platform's interface report, written to the capture file "ip_c.tmp" under the
// user's temporary directory and read back from it.
#pragma once

#include <optional>
#include <string>

// The capture file's bytes as this run wrote them; nothing when it cannot be made or read.
std::optional<std::string> CaptureAddressReport();
