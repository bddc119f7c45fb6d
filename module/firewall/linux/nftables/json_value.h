// A small JSON reader for what `nft -j` prints.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace firewall {

struct JsonValue {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;                            // an array's
    std::vector<std::pair<std::string, JsonValue>> members;  // an object's, in order

    // The member `key` of an object; nullptr when there is none or this is no object.
    const JsonValue* Find(std::string_view key) const;
    bool Is(Kind wanted) const { return kind == wanted; }
};

// The whole of `text` as one value; nothing when it is no JSON or nests too deep.
std::optional<JsonValue> ParseJson(std::string_view text);

} // namespace firewall
