#ifndef VARNETH_RESULT_LINES_H
#define VARNETH_RESULT_LINES_H

#include <QStringList>

#include <optional>

class QIODevice;

// The largest answer the module gives: one address or one listed port per line (with the
// name another program gave its mapping), or one short outcome text. Anything beyond this
// did not come from a working module, and reading stops there.
constexpr int maxResultLines = 4096;
constexpr int maxResultLineBytes = 1024;

// What an odd character in a line comes to: bytes that are no text in the system's code
// page, control characters other than a tab (a NUL, a CR that ends no line), and, where
// they are replaced, format characters and the line and paragraph separators too.
enum class OddCharacters {
    RefuseAnswer, // the answer is not taken: one the module gives alone ("0") must be whole
    Replace,      // each becomes U+FFFD: a line with another program's words is read all the same
};

// The lines of a result file opened without text mode, in order, line ends (LF or
// CR LF) removed. An empty file gives no line, and a final line end gives no extra
// empty line. Nothing when the file is no answer of the module: more or longer lines
// than above, a failed read, or an odd character that refuses it.
std::optional<QStringList> readResultLines(QIODevice &file, OddCharacters odd = OddCharacters::RefuseAnswer);

#endif
