// A connection to the system bus (sd-bus): its connection, authentication and method
// calls all bounded in time.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "firewall/firewall_types.h"
#include "platform/deadline.h"

namespace firewall {

struct BusMethod {
    const char* destination;
    const char* path;
    const char* interface;
    const char* member;
};

struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

struct BusReply {
    int result = 0;            // negative errno when the call failed
    std::string errorName;     // the D-Bus error the peer or the bus answered with
    std::string errorMessage;
    MessagePtr message;        // the reply, when the call worked
};

class SystemBus {
public:
    // DBUS_SYSTEM_BUS_ADDRESS, else the standard socket, ready for calls by `deadline`.
    // nullptr with NotFound when nothing listens there, TimedOut when the bus did not
    // let us in by then, Failed otherwise.
    static std::unique_ptr<SystemBus> Connect(Deadline deadline, Status& status);

    template <class... Args>
    BusReply Call(const BusMethod& method, std::chrono::milliseconds timeout, const char* types, Args... args)
    {
        sd_bus_message* created = nullptr;
        int result = sd_bus_message_new_method_call(bus_.get(), &created, method.destination, method.path,
                                                    method.interface, method.member);
        MessagePtr call(created);
        if (result >= 0 && types != nullptr) result = sd_bus_message_append(call.get(), types, args...);
        if (result < 0) return BusReply{result, "", "cannot build the call", nullptr};
        return Send(std::move(call), timeout);
    }

    // Every later call lets the service have polkit ask the user through an agent.
    void AllowInteractiveAuthorization();

    // Our own name on the bus, as the services that check our rights see us.
    std::string UniqueName() const;

private:
    struct BusUnref {
        // No flush: every call has had its reply, and a hung bus must not hold us.
        void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
    };

    explicit SystemBus(sd_bus* bus) : bus_(bus) {}
    BusReply Send(MessagePtr call, std::chrono::milliseconds timeout);

    std::unique_ptr<sd_bus, BusUnref> bus_;
};

// Reads the next value of `message` as a boolean; false when it is none.
bool ReadBoolean(sd_bus_message* message, bool& value);

// Reads the next value of `message` as an array of strings; false when it is none.
bool ReadStrings(sd_bus_message* message, std::vector<std::string>& values);

} // namespace firewall
