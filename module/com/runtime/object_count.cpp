#include <atomic>

#include "com/runtime/com_object.h"

namespace {
std::atomic<long> liveObjects{0};
}

namespace comrt {

long LiveObjectCount() { return liveObjects.load(); }

namespace detail {
void CountObject(int delta) { liveObjects += delta; }
} // namespace detail

} // namespace comrt
