#include "close_command.h"

#include "protocol_flag.h"

#include <algorithm>
#include <vector>

namespace {

struct Group {
    QString address;
    int port;
    bool tcp;
    bool udp;
};

} // namespace

QStringList closeCommand(const QList<OpenPort> &ports)
{
    std::vector<Group> groups;
    for (const OpenPort &port : ports) {
        auto group = std::find_if(groups.begin(), groups.end(), [&](const Group &g) {
            return g.address == port.address && g.port == port.externalPort;
        });
        if (group == groups.end())
            group = groups.insert(groups.end(), Group{port.address, port.externalPort, false, false});
        (port.protocol == QLatin1String("TCP") ? group->tcp : group->udp) = true;
    }
    QStringList command{QStringLiteral("close")};
    for (const Group &group : groups)
        command << group.address << QString::number(group.port) << protocolFlag(group.tcp) << protocolFlag(group.udp);
    return command;
}
