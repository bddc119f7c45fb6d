#include "diagnostics.h"
#include "firewall/firewall_types.h"

namespace firewall {

void ReportProblem(const std::string& text)
{
    UserLine("firewall: " + text);
}

} // namespace firewall
