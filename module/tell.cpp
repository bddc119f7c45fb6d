#include "tell.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "platform/printable_text.h"

namespace {

void Compose(const Sentence& sentence, Values values, std::string& text)
{
    const std::string_view words = sentence.text;
    for (std::size_t at = 0; at < words.size();) {
        const std::size_t open = words.find('{', at);
        const std::size_t close = open == std::string_view::npos ? open : words.find('}', open);
        if (close == std::string_view::npos) {
            text.append(words.substr(at));
            break;
        }
        text.append(words.substr(at, open - at));
        const std::string_view name = words.substr(open + 1, close - open - 1);
        at = close + 1;
        if (name.substr(0, 1) == "@") {
            const Sentence* piece = sentence.part ? sentence.part(name.substr(1)) : nullptr;
            if (piece) {
                Compose(*piece, values, text);
                continue;
            }
        } else {
            const auto value = std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
            if (value != values.end()) {
                text.append(PrintableText(value->second));
                continue;
            }
        }
        // Left as written: the catalogue's test names what it lacks.
        text.append(words.substr(open, close + 1 - open));
    }
}

std::string_view Write(std::string_view tag, const Told& told)
{
    // One write a line: a search on a thread of its own may tell at the same moment.
    std::cerr << std::string(tag) + '[' + std::string(told.id) + "] " + told.text + '\n' << std::flush;
    return told.id;
}

} // namespace

Told Compose(const Sentence& sentence, Values values)
{
    Told told{sentence.id, {}};
    Compose(sentence, values, told.text);
    return told;
}

std::string_view Tell(const Told& told) { return Write(">", told); }

std::string_view Tell(const Sentence& sentence, Values values) { return Tell(Compose(sentence, values)); }

std::string_view Headline(const Told& told) { return Write(">>", told); }

std::string_view Headline(const Sentence& sentence, Values values) { return Headline(Compose(sentence, values)); }

void DiagnosticLine(const std::string& line) { std::cout << line + '\n' << std::flush; }

void StatusLine(const std::string& what, std::uint32_t status)
{
    char text[32];
    std::snprintf(text, sizeof text, " (status 0x%08X)", static_cast<unsigned>(status));
    DiagnosticLine(what + text);
}
