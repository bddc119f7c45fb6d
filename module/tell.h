// What the module says besides the result file. Standard output carries the developers'
// diagnostic lines; standard error carries sentences for people, each from its part's
// catalogue (the part's sentences.def) and tagged with its id, so that the window and
// the command line act on ids and never on words:
//
//     >>[gateway-none-answered] No router on this network answered. ...   a headline: the box shows it
//     >[forward-reachable] Reachable at 11.77.0.1:8080                    a detail
//
// Every line goes through one narrow stream each: glibc drops output of the other width
// once a stream has one.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// An entry of a part's catalogue. Its text may hold {name}, a value the code fills in,
// and {@id}, another entry of the same part composed in as it stands.
struct Sentence {
    std::string_view id, text;
    const Sentence* (*part)(std::string_view id) = nullptr;   // the part's entries by id, for {@id}
};

// A sentence composed, as a reason travels before it is told.
struct Told {
    std::string_view id;
    std::string text;
};

// A value, or why there is none.
template <class T> struct Answered {
    std::optional<T> value;
    std::optional<Told> problem;
};

using Values = std::initializer_list<std::pair<std::string_view, std::string>>;

// The entry with its values filled in. A value is made printable first (control, format
// and line-separating characters replaced), so no value can end a line early and forge
// a tagged line of its own.
Told Compose(const Sentence& sentence, Values values = {});

// ">[id] text" on standard error; returns the id.
std::string_view Tell(const Told& told);
std::string_view Tell(const Sentence& sentence, Values values = {});

// ">>[id] text": one of the one or two sentences the outcome box shows itself (what went
// wrong and what to do next, or how long a success lasts); returns the id.
std::string_view Headline(const Told& told);
std::string_view Headline(const Sentence& sentence, Values values = {});

void DiagnosticLine(const std::string& line);

// "what (status 0x80070005)" on standard output: a status is for developers, the
// sentence for people keeps to words.
void StatusLine(const std::string& what, std::uint32_t status);
