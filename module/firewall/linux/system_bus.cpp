#include "firewall/linux/system_bus.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace firewall {
namespace {

constexpr const char* kStandardAddress = "unix:path=/run/dbus/system_bus_socket";

class ErrorHolder {
public:
    ErrorHolder() = default;
    ~ErrorHolder() { sd_bus_error_free(&error_); }
    ErrorHolder(const ErrorHolder&) = delete;
    ErrorHolder& operator=(const ErrorHolder&) = delete;
    sd_bus_error* get() { return &error_; }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

} // namespace

// As sd_bus_open_system, but sd-bus's own wait for the bus to let us in (90 s) is
// replaced by ours: the authentication and the bus's hello are driven here until
// `deadline`.
std::unique_ptr<SystemBus> SystemBus::Connect(Deadline deadline, Status& status)
{
    sd_bus* created = nullptr;
    if (sd_bus_new(&created) < 0) {
        status = Status::Failed;
        return nullptr;
    }
    std::unique_ptr<SystemBus> bus(new SystemBus(created));
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    int result = sd_bus_set_address(created, address != nullptr && *address != '\0' ? address : kStandardAddress);
    if (result >= 0) result = sd_bus_set_bus_client(created, 1);
    if (result >= 0) result = sd_bus_set_trusted(created, 0);
    if (result >= 0) result = sd_bus_start(created);
    while (result >= 0 && sd_bus_is_ready(created) <= 0) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            ReportProblem("the system bus did not let us in within our time");
            status = Status::TimedOut;
            return nullptr;
        }
        result = sd_bus_process(created, nullptr);
        if (result == 0) result = sd_bus_wait(created, static_cast<uint64_t>(left) * 1000);
    }
    if (result >= 0) {
        status = Status::Ok;
        return bus;
    }
    const bool absent = result == -ENOENT || result == -ECONNREFUSED;
    if (!absent) ReportProblem(std::string("cannot connect to the system bus: ") + std::strerror(-result));
    status = absent ? Status::NotFound : Status::Failed;
    return nullptr;
}

bool ReadBoolean(sd_bus_message* message, bool& value)
{
    int read = 0;
    if (sd_bus_message_read_basic(message, 'b', &read) <= 0) return false;
    value = read != 0;
    return true;
}

bool ReadStrings(sd_bus_message* message, std::vector<std::string>& values)
{
    values.clear();
    if (sd_bus_message_enter_container(message, 'a', "s") <= 0) return false;
    const char* value = nullptr;
    int read = 0;
    while ((read = sd_bus_message_read_basic(message, 's', &value)) > 0) values.emplace_back(value);
    return read == 0 && sd_bus_message_exit_container(message) >= 0;
}

void SystemBus::AllowInteractiveAuthorization()
{
    sd_bus_set_allow_interactive_authorization(bus_.get(), 1);
}

std::string SystemBus::UniqueName() const
{
    const char* name = nullptr;
    return sd_bus_get_unique_name(bus_.get(), &name) >= 0 && name != nullptr ? name : "";
}

BusReply SystemBus::Send(MessagePtr call, std::chrono::milliseconds timeout)
{
    ErrorHolder error;
    sd_bus_message* reply = nullptr;
    // 0 would mean sd-bus's own default of 25 seconds.
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
    BusReply answer;
    answer.result = sd_bus_call(bus_.get(), call.get(), micros > 0 ? static_cast<uint64_t>(micros) : 1, error.get(), &reply);
    answer.message.reset(reply);
    if (answer.result < 0) {
        answer.errorName = error.get()->name != nullptr ? error.get()->name : "";
        answer.errorMessage = error.get()->message != nullptr ? error.get()->message : std::strerror(-answer.result);
    }
    return answer;
}

} // namespace firewall
