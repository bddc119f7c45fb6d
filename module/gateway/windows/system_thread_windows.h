// The thread every call to Windows' own NAT object runs on, in a multithreaded apartment
// of its own: a locked-up service can hold a call for good, and the run must end by its
// deadline. The system's object has the run's first 4 s; a call still out then is left
// behind and counts as timed out, and so does every call after.
#pragma once

#include "gateway/windows/system_nat_service.h"

namespace gateway {

// The process's one such thread; it lives as long as the process.
SystemCalls& SystemThread();

} // namespace gateway
