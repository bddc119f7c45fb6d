// Whole reads and writes on a file descriptor, retried when a signal interrupts them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Every byte of `bytes`, or false.
bool WriteAll(int fd, const std::string& bytes);

// Up to `limit` bytes, to the end of the file; nothing when a read fails.
std::optional<std::string> ReadAtMost(int fd, std::size_t limit);
