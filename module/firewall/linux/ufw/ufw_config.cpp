#include "firewall/linux/ufw/ufw_config.h"

#include <cctype>
#include <sstream>

namespace firewall {
namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n\f\v") - first + 1);
}

// ufw only takes lines that start with NAME= followed by a word, "word" or "word.
bool IsSettingLine(const std::string& line)
{
    std::size_t at = 0;
    while (at < line.size() && IsWordChar(line[at])) ++at;
    if (at == 0 || at >= line.size() || line[at] != '=') return false;
    ++at;
    if (at < line.size() && line[at] == '"') ++at;
    return at < line.size() && IsWordChar(line[at]);
}

std::string Unquoted(const std::string& value)
{
    const auto first = value.find_first_not_of("\"'");
    if (first == std::string::npos) return std::string();
    return value.substr(first, value.find_last_not_of("\"'") - first + 1);
}

} // namespace

bool UfwConfigEnabled(const std::string& configText)
{
    bool enabled = false;
    std::istringstream lines(configText);
    std::string line;
    while (std::getline(lines, line)) {
        if (!IsSettingLine(line)) continue;
        const std::string setting = Trimmed(line);
        const auto equals = setting.find('=');
        const auto valueEnd = setting.find('=', equals + 1);
        if (Lower(setting.substr(0, equals)) != "enabled") continue;
        enabled = Lower(Unquoted(setting.substr(equals + 1, valueEnd - equals - 1))) == "yes";
    }
    return enabled;
}

} // namespace firewall
