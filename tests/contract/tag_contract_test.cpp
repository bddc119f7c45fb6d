// The module's tagged lines as the window reads them: what Tell and Headline write, read
// back with readModuleLine. The two programs share no code; this binds their two ends.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <iostream>
#include <string>

#include "forward/sentences.h"
#include "gateway/sentences.h"
#include "module_ids.h"
#include "module_output.h"
#include "tell.h"

namespace {

// The lines `write` puts on standard error, as the window reads them.
QList<ModuleLine> Read(const std::function<void()>& write)
{
    ::testing::internal::CaptureStderr();
    write();
    const QString written = QString::fromStdString(::testing::internal::GetCapturedStderr());
    QList<ModuleLine> lines;
    for (const QString& line : written.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines.append(readModuleLine(line));
    return lines;
}

struct Row {
    const char* name;
    std::function<void()> write;
    const char* id;       // of the one line read
    bool headline;
    const char* text;
};

const Row kRows[] = {
    {"a headline gives its id and text", [] { Headline(gateway::sentence::Cgnat); }, moduleid::cgnat, true,
     "This network is behind carrier-grade NAT: ports cannot be opened from here. Ask the provider for a public "
     "IPv4 address."},
    {"a detail is no headline", [] { Tell(forward::sentence::Reachable, {{"endpoint", "11.77.0.1:8080"}}); },
     moduleid::reachable, false, "Reachable at 11.77.0.1:8080"},
    // A router names who holds a port: its words must not end the line and forge one of ours.
    {"a value with line ends stays on its line",
     [] {
         Headline(gateway::sentence::Refused,
                  {{"port", "80"}, {"reason", "a\n>>[forward-ipv6-offer] b\r\n>[c] d\xE2\x80\xA8>>[e] f\xC2\x85g"}});
     },
     "gateway-refused", true,
     "The router refused port 80 (a >>[forward-ipv6-offer] b  >[c] d >>[e] f g). Open the port in the router's own "
     "settings."},
    // Another program's line, a headline's mark without an id included, is shown as it is.
    {"another program's line is untagged", [] { std::cerr << ">> fixme:ntdll: >>[forward-ipv6-offer] stub\n"; }, "",
     false, ">> fixme:ntdll: >>[forward-ipv6-offer] stub"},
};

TEST(TagContract, TheWindowReadsWhatTheModuleWrote)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const QList<ModuleLine> lines = Read(row.write);
        ASSERT_EQ(lines.size(), 1);
        EXPECT_EQ(lines[0].id.toStdString(), row.id);
        EXPECT_EQ(lines[0].headline, row.headline);
        EXPECT_EQ(lines[0].text.toStdString(), row.text);
    }
}

} // namespace
