#include "exchange/exchange_file.h"

#include <fstream>

#include "platform/bounded_read.h"

std::optional<std::string> ReadExchangeFile(const char* name, std::size_t limit)
{
    std::ifstream in(name, std::ios::in | std::ios::binary);
    return ReadAtMost(in, limit);
}

void ReplaceExchangeFile(const char* name, const std::string& text)
{
    // Text mode: the platform's own line end goes to disk.
    std::ofstream out(name, std::ios::out | std::ios::trunc);
    if (out) out << text << std::flush;
}
