#include "fake_igd.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <regex>
#include <stdexcept>

#include "platform/linux/gateway/ipv4_address.h"

namespace {

std::string Service(const std::string& type, const std::string& name)
{
    return "<service><serviceType>urn:schemas-upnp-org:service:" + type + "</serviceType><serviceId>urn:upnp-org:serviceId:" +
           name + "</serviceId><controlURL>/ctl/" + name + "</controlURL><eventSubURL>/evt/" + name +
           "</eventSubURL><SCPDURL>/" + name + ".xml</SCPDURL></service>";
}

std::string Device(const std::string& type, const std::string& inside)
{
    return "<device><deviceType>urn:schemas-upnp-org:device:" + type + "</deviceType>" + inside + "</device>";
}

std::string Description(const FakeIgdConfig& config)
{
    const std::string connections =
        (config.pppStatus ? Service("WANPPPConnection:1", "PPPConn") : "") + Service("WANIPConnection:1", "IPConn");
    const std::string wan = Device("WANDevice:1", "<serviceList>" + Service("WANCommonInterfaceConfig:1", "CmnIfCfg") +
                                                      "</serviceList><deviceList>" +
                                                      Device("WANConnectionDevice:1", "<serviceList>" + connections +
                                                                                          "</serviceList>") +
                                                      "</deviceList>");
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion>" +
           (config.urlBase.empty() ? "" : "<URLBase>" + config.urlBase + "</URLBase>") +
           (config.isGateway ? Device("InternetGatewayDevice:1", "<deviceList>" + wan + "</deviceList>")
                             : Device("MediaServer:1", "<serviceList>" + Service("ContentDirectory:1", "ContentDir") +
                                                           "</serviceList>")) +
           "</root>";
}

std::string Envelope(const std::string& body)
{
    return "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
           body + "</s:Body></s:Envelope>\r\n";
}

std::string Http(int status, const std::string& body)
{
    return "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Error") +
           "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Response(const std::string& action, const std::map<std::string, std::string>& values)
{
    std::string body = "<u:" + action + "Response xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">";
    for (const auto& [name, value] : values) body += "<" + name + ">" + value + "</" + name + ">";
    return Http(200, Envelope(body + "</u:" + action + "Response>"));
}

std::string Fault(int code)
{
    return Http(500, Envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
                              "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
                              std::to_string(code) +
                              "</errorCode><errorDescription>refused</errorDescription></UPnPError></detail></s:Fault>"));
}

// Reads one request: the header block and a body of Content-Length bytes.
std::string ReadRequest(int connection)
{
    std::string request;
    std::array<char, 4096> chunk;
    while (true) {
        const auto headerEnd = request.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
            std::smatch length;
            const std::string headers = request.substr(0, headerEnd);
            const std::size_t bodySize = std::regex_search(headers, length, std::regex("Content-Length: *([0-9]+)", std::regex::icase))
                                             ? std::stoul(length[1])
                                             : 0;
            if (request.size() >= headerEnd + 4 + bodySize) return request;
        }
        const ssize_t size = read(connection, chunk.data(), chunk.size());
        if (size <= 0) return request;
        request.append(chunk.data(), static_cast<std::size_t>(size));
    }
}

SoapCall ParseCall(const std::string& request)
{
    SoapCall call;
    std::smatch match;
    if (std::regex_search(request, match, std::regex("^POST ([^ ]+) "))) call.path = match[1];
    if (std::regex_search(request, match, std::regex("SOAPAction: *\"?[^#\"]*#([A-Za-z]+)", std::regex::icase)))
        call.action = match[1];
    const std::regex argument("<(New[A-Za-z]+)>([^<]*)</New[A-Za-z]+>");
    for (auto it = std::sregex_iterator(request.begin(), request.end(), argument); it != std::sregex_iterator(); ++it)
        call.arguments[(*it)[1]] = (*it)[2];
    return call;
}

// False once the client has gone; MSG_NOSIGNAL, so that its going raises no SIGPIPE.
bool WriteAll(int connection, const std::string& text)
{
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t step = send(connection, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (step <= 0) return false;
        sent += static_cast<std::size_t>(step);
    }
    return true;
}

} // namespace

FakeIgd::FakeIgd(FakeIgdConfig config)
    : config_(std::move(config)), listener_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in bound = gateway::SocketAddress(gateway::Ipv4{0x7F000001u}, 0);
    socklen_t size = sizeof bound;
    if (!listener_ || bind(listener_.get(), reinterpret_cast<sockaddr*>(&bound), size) != 0 ||
        listen(listener_.get(), 16) != 0 || getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&bound), &size) != 0)
        throw std::runtime_error("cannot listen for the fake gateway");
    port_ = ntohs(bound.sin_port);
    thread_.Start([this] { Serve(); });
}

std::string FakeIgd::Location() const { return "http://127.0.0.1:" + std::to_string(port_) + "/rootDesc.xml"; }

std::vector<SoapCall> FakeIgd::Calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

int FakeIgd::CallsOf(const std::string& action) const
{
    int count = 0;
    for (const SoapCall& call : Calls()) count += call.action == action ? 1 : 0;
    return count;
}

void FakeIgd::Serve()
{
    while (WaitReadable(listener_.get(), thread_.StopFd())) {
        const UniqueFd connection(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection) Handle(connection.get());
    }
}

void FakeIgd::Handle(int connection)
{
    using Behaviour = FakeIgdConfig::Behaviour;
    if (config_.behaviour == Behaviour::Hang) {
        PauseUnlessStopped(thread_.StopFd(), 60'000);
        return;
    }
    const std::string request = ReadRequest(connection);
    if (config_.behaviour == Behaviour::Trickle) {
        // A byte at a time, each well within the library's own read timeout.
        for (const char c : Http(200, Description(config_)))
            if (!WriteAll(connection, std::string(1, c)) || !PauseUnlessStopped(thread_.StopFd(), 100)) return;
    } else if (config_.behaviour == Behaviour::Endless) {
        WriteAll(connection, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n<root>");
        for (int sent = 0; sent < 1024 && WriteAll(connection, std::string(1 << 20, ' ')); ++sent) {
        }
    } else if (request.rfind("GET ", 0) == 0) {
        WriteAll(connection, Http(200, Description(config_)));
    } else {
        WriteAll(connection, Answer(ParseCall(request)));
    }
}

std::string FakeIgd::Answer(const SoapCall& call)
{
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    if (call.action == "GetStatusInfo")
        return Response(call.action, {{"NewConnectionStatus", call.path == "/ctl/PPPConn" ? *config_.pppStatus
                                                                                          : config_.connectionStatus},
                                      {"NewLastConnectionError", "ERROR_NONE"},
                                      {"NewUptime", "100"}});
    if (call.action == "GetExternalIPAddress")
        return Response(call.action, {{"NewExternalIPAddress", config_.externalAddress}});
    if (call.action == "AddPortMapping") {
        if (config_.addError != 0) return Fault(config_.addError);
        added_ = call.arguments;
        return Response(call.action, {});
    }
    if (call.action == "GetSpecificPortMappingEntry") {
        if (config_.holdsNothing || (added_.empty() && !config_.heldClient)) return Fault(714);
        const auto port = added_.empty() ? call.arguments.at("NewExternalPort") : added_["NewInternalPort"];
        return Response(call.action, {{"NewInternalPort", port},
                                      {"NewInternalClient", config_.heldClient.value_or(added_["NewInternalClient"])},
                                      {"NewEnabled", config_.heldEnabled ? "1" : "0"},
                                      {"NewPortMappingDescription", added_["NewPortMappingDescription"]},
                                      {"NewLeaseDuration", config_.heldLease}});
    }
    return Fault(401);
}
