// ufw.conf as Debian ships it and the variations ufw itself reads the same way, and
// which manager is chosen.
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
    for (const char* on : {"ENABLED=yes\nLOGLEVEL=low\n", "ENABLED=YES\n", "enabled=yes\n", "ENABLED=\"yes\"\n",
                           "ENABLED=yes\r\n", "ENABLED=no\nENABLED=yes\n", "ENABLED=yes"})
        EXPECT_TRUE(UfwConfigEnabled(on)) << on;
    for (const char* off : {kShipped,
                            "ENABLED='yes'\n",          // ufw skips lines with single quotes,
                            "  ENABLED=yes\n",          // lines that do not start with the name,
                            "ENABLED = yes\n", "ENABLED=yes # on\n", "ENABLED=\n", "ENABLEDX=yes\n",
                            "ENABLED=yes\nENABLED=no\n"})  // and takes the last one
        EXPECT_FALSE(UfwConfigEnabled(off)) << off;
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
