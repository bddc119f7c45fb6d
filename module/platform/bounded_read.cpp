#include "platform/bounded_read.h"

std::optional<std::string> ReadAtMost(std::istream& in, std::size_t limit)
{
    if (!in) return std::nullopt;
    std::string bytes(limit, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(limit));
    if (in.bad()) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}
