#include "schedule/linger_linux.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "diagnostics.h"
#include "firewall/linux/system_bus.h"
#include "platform/posix/replace_file.h"
#include "platform/state_folder.h"

namespace {

using firewall::BusMethod;
using firewall::BusReply;
using firewall::SystemBus;

constexpr const char* kLogind = "org.freedesktop.login1";
const BusMethod kGetUser{kLogind, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "GetUser"};
const BusMethod kSetUserLinger{kLogind, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "SetUserLinger"};
// Beside the record, never in it: the record is the forwards' alone.
constexpr const char* kMarker = "lingering-turned-on";
constexpr const char* kNotKept =
    "Ports are kept open only while you are logged in: this computer did not let their renewal run without a login.";

// logind answers at once; a bus that hangs must not keep the forward's answer to the run's end.
constexpr std::chrono::seconds kLogindWait{2};

std::chrono::milliseconds Left(Deadline until) { return std::chrono::milliseconds(MillisecondsLeft(until)); }

std::unique_ptr<SystemBus> ConnectToLogind(Deadline until)
{
    firewall::Status status = firewall::Status::Failed;
    return SystemBus::Connect(until, status);
}

// Whether logind says the user lingers; false when it knows no such user: one that
// lingers is always known. Nothing when logind did not answer.
std::optional<bool> Lingers(SystemBus& bus, Deadline until)
{
    const BusReply user = bus.Call(kGetUser, Left(until), "u", static_cast<uint32_t>(::geteuid()));
    if (user.result < 0) {
        if (user.errorName == "org.freedesktop.login1.NoSuchUser") return false;
        DiagnosticLine("logind GetUser: " + user.errorMessage);
        return std::nullopt;
    }
    const char* path = nullptr;
    if (sd_bus_message_read_basic(user.message.get(), 'o', &path) <= 0) return std::nullopt;
    const BusMethod get{kLogind, path, "org.freedesktop.DBus.Properties", "Get"};
    const BusReply linger = bus.Call(get, Left(until), "ss", "org.freedesktop.login1.User", "Linger");
    bool on = false;
    if (linger.result < 0 || sd_bus_message_enter_container(linger.message.get(), 'v', "b") <= 0 ||
        !firewall::ReadBoolean(linger.message.get(), on)) {
        DiagnosticLine("logind Linger: " + (linger.result < 0 ? linger.errorMessage : "unexpected reply"));
        return std::nullopt;
    }
    return on;
}

// Never asks for a password: a user may have logind let them linger, or not.
bool SetLinger(SystemBus& bus, bool on, Deadline until)
{
    const BusReply reply = bus.Call(kSetUserLinger, Left(until), "ubb", static_cast<uint32_t>(::geteuid()), on, false);
    if (reply.result < 0) DiagnosticLine("logind SetUserLinger: " + reply.errorName + " " + reply.errorMessage);
    return reply.result >= 0;
}

bool MarkerThere(const std::string& folder) { return ::access((folder + "/" + kMarker).c_str(), F_OK) == 0; }

} // namespace

void LingerWhileRecorded()
{
    const auto folder = StateFolder();
    if (folder && MarkerThere(*folder)) return;
    const Deadline until = Earlier(RunDeadline(), Clock::now() + kLogindWait);
    const auto bus = ConnectToLogind(until);
    const std::optional<bool> lingers = bus ? Lingers(*bus, until) : std::nullopt;
    if (lingers == true) {
        UserLine("Lingering is on for your account already: ports are kept open without a login.");
        return;
    }
    if (!lingers || !SetLinger(*bus, true, until)) {
        Headline(kNotKept);
        return;
    }
    const char* note = "Lingering turned on by Kavro; turned off when no port is left open.\n";
    if (!folder || !ReplaceFile(*folder, kMarker, note))
        UserLine("This tool could not note that it turned lingering on, so it leaves it on when the last port closes.");
    Headline("Ports stay open without a login now: lingering was turned on for your account, so its user services "
             "start at boot. It goes off when the last port is closed; to turn it off sooner, run: loginctl "
             "disable-linger");
}

void StopLingeringWeStarted()
{
    const auto folder = StateFolder();
    if (!folder || !MarkerThere(*folder)) return;
    const Deadline until = Earlier(RunDeadline(), Clock::now() + kLogindWait);
    const auto bus = ConnectToLogind(until);
    if (!bus || !SetLinger(*bus, false, until)) {
        // The marker stays, so the next close tries again.
        UserLine("Lingering, which this tool turned on for your account, could not be turned off now; turn it off "
                 "with: loginctl disable-linger.");
        return;
    }
    if (::unlink((*folder + "/" + kMarker).c_str()) != 0 && errno != ENOENT)
        DiagnosticLine("StopLingeringWeStarted unlink: " + std::string(std::strerror(errno)));
    UserLine("Lingering, which this tool turned on for your account, is off again.");
}
