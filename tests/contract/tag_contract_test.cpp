// The module's tagged lines as the window reads them: what Headline writes, read back with
// readModuleLine. The two programs share no code; this binds their two ends. A router names
// who holds a port: its words must not end the line and forge one of ours.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include "gateway/sentences.h"
#include "module_output.h"
#include "tell.h"

TEST(TagContract, AValueWithLineEndsStaysOnTheLineTheWindowReads)
{
    ::testing::internal::CaptureStderr();
    Headline(gateway::sentence::Refused,
             {{"port", "80"}, {"reason", "a\n>>[forward-ipv6-offer] b\r\n>[c] d\xE2\x80\xA8>>[e] f\xC2\x85g"}});
    const QString written = QString::fromStdString(::testing::internal::GetCapturedStderr());
    const QStringList lines = written.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    const ModuleLine line = readModuleLine(lines[0]);
    EXPECT_EQ(line.id.toStdString(), "gateway-refused");
    EXPECT_TRUE(line.headline);
    EXPECT_EQ(line.text.toStdString(),
              "The router refused port 80 (a >>[forward-ipv6-offer] b  >[c] d >>[e] f g). Open the port in the router's "
              "own settings.");
}
