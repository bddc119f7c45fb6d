// Text another program wrote (a router's name for a mapping, a rule's comment), made
// safe to show in a table or to print on a terminal.
#pragma once

#include <string>
#include <string_view>

// Unicode's control (Cc) and format (Cf) characters, which bidirectional overrides such
// as U+202E and the zero-width ones belong to, the line and paragraph separators, and
// the surrogates no valid text holds: characters that show as nothing, or move or
// hide the text around them.
bool IsHiddenCharacter(char32_t c);

// `utf8` with every hidden character and every byte that is no UTF-8 (a character cut
// short included) replaced: the blanks among them (tab, line ends, the separators) by
// a space, the rest by U+FFFD.
std::string PrintableText(std::string_view utf8);
