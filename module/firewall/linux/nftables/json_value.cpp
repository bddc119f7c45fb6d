#include "firewall/linux/nftables/json_value.h"

#include <cstdlib>
#include <cstring>

namespace firewall {
namespace {

constexpr int kMaxDepth = 64;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool Document(JsonValue& value)
    {
        if (!Value(value, 0)) return false;
        SkipBlanks();
        return at_ == text_.size();
    }

private:
    bool Value(JsonValue& value, int depth)
    {
        if (depth > kMaxDepth) return false;
        SkipBlanks();
        if (at_ == text_.size()) return false;
        switch (text_[at_]) {
        case '{': return Object(value, depth);
        case '[': return Array(value, depth);
        case '"': value.kind = JsonValue::Kind::String; return String(value.text);
        case 't': value.kind = JsonValue::Kind::Boolean; value.boolean = true; return Word("true");
        case 'f': value.kind = JsonValue::Kind::Boolean; return Word("false");
        case 'n': value.kind = JsonValue::Kind::Null; return Word("null");
        default: return Number(value);
        }
    }

    bool Object(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::Object;
        ++at_;
        if (Take('}')) return true;
        do {
            std::string key;
            SkipBlanks();
            if (at_ == text_.size() || text_[at_] != '"' || !String(key) || !Take(':')) return false;
            value.members.emplace_back(std::move(key), JsonValue{});
            if (!Value(value.members.back().second, depth + 1)) return false;
        } while (Take(','));
        return Take('}');
    }

    bool Array(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::Array;
        ++at_;
        if (Take(']')) return true;
        do {
            value.items.emplace_back();
            if (!Value(value.items.back(), depth + 1)) return false;
        } while (Take(','));
        return Take(']');
    }

    bool String(std::string& out)
    {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ == text_.size()) return false;
            const char escaped = text_[at_++];
            switch (escaped) {
            case '"': case '\\': case '/': out += escaped; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': if (!Unicode(out)) return false; break;
            default: return false;
            }
        }
        return false;
    }

    // \uXXXX, a surrogate pair as one code point, written as UTF-8.
    bool Unicode(std::string& out)
    {
        unsigned long point = 0;
        if (!Hex4(point)) return false;
        if (point >= 0xD800 && point < 0xDC00) {
            unsigned long low = 0;
            if (text_.substr(at_, 2) != "\\u") return false;
            at_ += 2;
            if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
        } else if (point >= 0xDC00 && point < 0xE000) {
            return false;
        }
        if (point < 0x80) {
            out += static_cast<char>(point);
        } else if (point < 0x800) {
            out += static_cast<char>(0xC0 | (point >> 6));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            out += static_cast<char>(0xE0 | (point >> 12));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (point >> 18));
            out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        }
        return true;
    }

    bool Hex4(unsigned long& point)
    {
        if (text_.size() - at_ < 4) return false;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                            : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return false;
            point = point * 16 + static_cast<unsigned long>(digit);
        }
        return true;
    }

    // The JSON grammar's number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    bool Number(JsonValue& value)
    {
        const std::size_t start = at_;
        Next('-');
        if (!Digits(true)) return false;
        if (Next('.') && !Digits(false)) return false;
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (!Digits(false)) return false;
        }
        value.kind = JsonValue::Kind::Number;
        value.number = std::strtod(std::string(text_.substr(start, at_ - start)).c_str(), nullptr);
        return true;
    }

    bool Digits(bool integerPart)
    {
        const std::size_t start = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
        if (at_ == start) return false;
        return !integerPart || text_[start] != '0' || at_ == start + 1;
    }

    bool Word(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool Next(char c)
    {
        if (at_ == text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    bool Take(char c)
    {
        SkipBlanks();
        return Next(c);
    }

    void SkipBlanks()
    {
        while (at_ < text_.size() && std::strchr(" \t\n\r", text_[at_]) != nullptr) ++at_;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace

const JsonValue* JsonValue::Find(std::string_view key) const
{
    for (const auto& [name, value] : members)
        if (name == key) return &value;
    return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text)
{
    JsonValue value;
    if (!Reader(text).Document(value)) return std::nullopt;
    return value;
}

} // namespace firewall
