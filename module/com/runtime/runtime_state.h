// Internal hooks between the runtime's parts for ResetRuntimeForTests.
#pragma once

namespace comrt::detail {
void ResetApartments();
void ResetClasses();
} // namespace comrt::detail
