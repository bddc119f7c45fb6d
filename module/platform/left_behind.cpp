#include "platform/left_behind.h"

#include <atomic>

namespace {
std::atomic<bool> leftBehind{false};
}

void NoteWorkLeftBehind() { leftBehind = true; }
bool WorkLeftBehind() { return leftBehind; }
