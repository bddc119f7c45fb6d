#include "system_bus.h"

#include <cstring>

namespace firewall {
namespace {

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

std::unique_ptr<SystemBus> SystemBus::Connect()
{
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return nullptr;
    return std::unique_ptr<SystemBus>(new SystemBus(bus));
}

bool ReadBoolean(sd_bus_message* message, bool& value)
{
    int read = 0;
    if (sd_bus_message_read_basic(message, 'b', &read) <= 0) return false;
    value = read != 0;
    return true;
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
