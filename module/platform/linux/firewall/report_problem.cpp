#include <cstdio>

#include "firewall_types.h"

namespace firewall {

void ReportProblem(const std::string& text)
{
    std::fprintf(stderr, "firewall: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace firewall
