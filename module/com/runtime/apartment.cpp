#include <atomic>

#include "com/runtime/com_runtime.h"
#include "com/runtime/runtime_state.h"

namespace {
// A thread is initialised when it joined the current generation; a reset for tests
// starts a new generation, which un-initialises every thread at once.
std::atomic<unsigned> generation{1};
thread_local unsigned joinedGeneration = 0;
std::atomic<HRESULT> injectedFailure{S_OK};
} // namespace

HRESULT CoInitialize(void* /*reserved*/)
{
    const HRESULT failure = injectedFailure.load();
    if (FAILED(failure)) return failure;
    const unsigned current = generation.load();
    if (joinedGeneration == current) return S_FALSE;
    joinedGeneration = current;
    return S_OK;
}

namespace comrt {

void InjectCoInitializeFailure(HRESULT hr) { injectedFailure = hr; }

namespace detail {
void ResetApartments()
{
    injectedFailure = S_OK;
    ++generation;
}
} // namespace detail

} // namespace comrt
