#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>
#include <string_view>

// Scalar tokens of JSON text read the way Qt's JSON parser reads them, for a parser that
// must take the same documents: Qt is more lenient than the grammar in places ("1.",
// "-.5", unknown escapes such as "\x", lone surrogates, raw control characters), and
// stricter in others (numbers that overflow or underflow to zero are errors).
namespace vxr::json_scalars {

// A number token, trailing whitespace allowed; nothing when Qt would reject the document.
// Zero comes out as +0 (Qt keeps a whole number as an integer).
[[nodiscard]] std::optional<double> number(std::string_view token);

// Whether a character can follow a complete number token (white space or a separator).
[[nodiscard]] inline bool endsNumber(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == '}' || c == ']';
}

// The same token as Qt keeps it: an integer when it is whole and fits, else a double.
[[nodiscard]] std::optional<QJsonValue> numberValue(std::string_view token);

// A string's text between its quotes (still escaped). `end` is set to the closing quote.
// The text must be followed by its closing quote somewhere.
struct RawString {
    const char* begin = nullptr;
    const char* end = nullptr;
    bool escaped = false;

    [[nodiscard]] std::string_view bytes() const { return {begin, size_t(end - begin)}; }
};
[[nodiscard]] RawString rawString(const char* afterQuote);

// UTF-8 bytes as text, a leading U+FEFF kept (QString::fromUtf8 drops it as a byte order
// mark); for the pieces between escapes.
[[nodiscard]] QString utf8Text(const char* bytes, qsizetype size);

// The string's text; nothing for an escape Qt rejects ("\u" without four hex digits, a
// backslash before a non-ASCII byte).
[[nodiscard]] std::optional<QString> text(const RawString& raw);

// `json` with every control character inside a string written as a \u escape, which
// reads as the same character; outside strings nothing changes. Qt drops a leading
// U+FEFF from the text of a string without escapes, and the escapes written here would
// keep it: the offsets in the result of such strings' text go to `plainFeffStrings`, in
// ascending order, for the reader to drop it there too.
[[nodiscard]] QByteArray escapeControlCharacters(QByteArrayView json,
                                                 QList<qsizetype>& plainFeffStrings);

} // namespace vxr::json_scalars
