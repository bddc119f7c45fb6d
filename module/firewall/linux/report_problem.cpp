#include "firewall/firewall_types.h"
#include "firewall/sentences.h"

namespace firewall {

void ReportProblem(const std::string& text)
{
    Tell(sentence::Problem, {{"problem", text}});
}

} // namespace firewall
