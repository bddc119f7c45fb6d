// ufw.conf as Debian ships it, and the variations ufw itself reads the same way.
#include <gtest/gtest.h>

#include "firewall_detection.h"
#include "ufw_config.h"

namespace firewall {
namespace {

const char* const kShipped = R"(# /etc/ufw/ufw.conf
#

# Set to yes to start on boot. If setting this remotely, be sure to add a rule
# to allow your remote connection before starting ufw. Eg: 'ufw allow 22/tcp'
ENABLED=no

# Please use the 'ufw' command to set the loglevel. Eg: 'ufw logging medium'.
# See 'man ufw' for details.
LOGLEVEL=low
)";

TEST(UfwConfig, EnabledSettingReadTheWayUfwReadsIt)
{
    struct Case {
        std::string text;
        bool enabled;
    };
    const Case cases[] = {
        {kShipped, false},
        {"ENABLED=yes\nLOGLEVEL=low\n", true},
        {"ENABLED=YES\n", true},
        {"enabled=yes\n", true},
        {"ENABLED=\"yes\"\n", true},
        {"ENABLED=yes\r\n", true},
        {"ENABLED=yes  \n", true},
        {"ENABLED='yes'\n", false},  // ufw skips lines with single quotes
        {"  ENABLED=yes\n", false},  // and lines that do not start with the name
        {"# ENABLED=yes\n", false},
        {"ENABLED = yes\n", false},
        {"ENABLED=yes # on\n", false},
        {"ENABLED=\n", false},
        {"ENABLED=yes\nENABLED=no\n", false},  // the last one counts
        {"ENABLED=no\nENABLED=yes\n", true},
        {"ENABLED=yes", true},
        {"", false},
        {"ENABLEDX=yes\n", false},
    };
    for (const Case& c : cases) EXPECT_EQ(UfwConfigEnabled(c.text), c.enabled) << c.text;
}

TEST(ManagerChoice, FirewalldFirstThenUfwThenNone)
{
    EXPECT_EQ(ChooseManager(true, true), ManagerKind::Firewalld);
    EXPECT_EQ(ChooseManager(true, false), ManagerKind::Firewalld);
    EXPECT_EQ(ChooseManager(false, true), ManagerKind::Ufw);
    EXPECT_EQ(ChooseManager(false, false), ManagerKind::None);
}

} // namespace
} // namespace firewall
