#include "worker_interface/json_scalars.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace vxr::json_scalars {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view token) {
    while (!token.empty() && isSpace(token.back()))
        token.remove_suffix(1);
    return token;
}

// How far Qt's scanner takes a number: [-] (0 | digits) [. digits] [(e|E) [+|-] digits],
// every digit run possibly empty. Also whether Qt calls it an integer.
struct Scan {
    const char* end;
    bool integer;
};

Scan scan(std::string_view token) {
    const char* p = token.data();
    const char* const end = p + token.size();
    bool integer = true;
    if (p < end && *p == '-')
        ++p;
    if (p < end && *p == '0') {
        ++p;
    } else {
        while (p < end && isDigit(*p))
            ++p;
    }
    if (p < end && *p == '.') {
        ++p;
        for (; p < end && isDigit(*p); ++p)
            integer = integer && *p == '0';
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        integer = false;
        ++p;
        if (p < end && (*p == '-' || *p == '+'))
            ++p;
        while (p < end && isDigit(*p))
            ++p;
    }
    return {p, integer};
}

} // namespace

std::optional<double> number(std::string_view token) {
    token = trimmed(token);
    if (scan(token).end != token.data() + token.size())
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    // Out of range: beyond the largest double, or a non-zero number that rounds to zero.
    if (error != std::errc() || end != token.data() + token.size())
        return std::nullopt;
    return value + 0.0; // -0 becomes +0
}

std::optional<QJsonValue> numberValue(std::string_view token) {
    token = trimmed(token);
    const std::optional<double> value = number(token);
    if (!value)
        return std::nullopt;
    qint64 whole = 0;
    if (scan(token).integer) {
        const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), whole);
        if (error == std::errc() && end == token.data() + token.size())
            return QJsonValue(whole);
    }
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (std::trunc(*value) == *value && *value >= -limit && *value < limit)
        return QJsonValue(qint64(*value));
    return QJsonValue(*value);
}

RawString rawString(const char* afterQuote) {
    RawString raw{afterQuote, afterQuote, false};
    for (; *raw.end != '"'; ++raw.end) {
        if (*raw.end == '\\') {
            raw.escaped = true;
            ++raw.end;
        }
    }
    return raw;
}

QString utf8Text(const char* bytes, qsizetype size) {
    // fromUtf8() drops a leading U+FEFF, and after that the next one: every one is kept.
    QString text;
    while (size >= 3 && QByteArrayView(bytes, 3) == "\xEF\xBB\xBF") {
        text.append(QChar(0xFEFF));
        bytes += 3;
        size -= 3;
    }
    return text + QString::fromUtf8(bytes, size);
}

std::optional<QString> text(const RawString& raw) {
    // As Qt: a string without escapes loses a leading U+FEFF, one with escapes keeps it.
    if (!raw.escaped)
        return QString::fromUtf8(raw.begin, raw.end - raw.begin);
    QString result;
    result.reserve(raw.end - raw.begin);
    const char* run = raw.begin;
    for (const char* p = raw.begin; p < raw.end;) {
        if (*p != '\\') {
            ++p;
            continue;
        }
        result.append(utf8Text(run, p - run));
        const auto escaped = static_cast<unsigned char>(p[1]);
        p += 2;
        switch (escaped) {
        case 'b':
            result.append(QChar(0x08));
            break;
        case 'f':
            result.append(QChar(0x0C));
            break;
        case 'n':
            result.append(QChar(0x0A));
            break;
        case 'r':
            result.append(QChar(0x0D));
            break;
        case 't':
            result.append(QChar(0x09));
            break;
        case 'u': {
            unsigned unit = 0; // unsigned: no sign accepted among the four digits
            if (raw.end - p < 4 || std::from_chars(p, p + 4, unit, 16).ptr != p + 4)
                return std::nullopt;
            // Surrogates are kept as they come, paired or not.
            result.append(QChar(char16_t(unit)));
            p += 4;
            break;
        }
        default:
            // Any other ASCII character stands for itself, as in Qt.
            if (escaped >= 0x80)
                return std::nullopt;
            result.append(QChar(escaped));
        }
        run = p;
    }
    result.append(utf8Text(run, raw.end - run));
    return result;
}

QByteArray escapeControlCharacters(QByteArrayView json, QList<qsizetype>& plainFeffStrings) {
    static constexpr char hex[] = "0123456789abcdef";
    QByteArray result;
    result.reserve(json.size() + 64);
    bool inString = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        if (inString && c == '\\' && i + 1 < json.size() &&
            static_cast<unsigned char>(json[i + 1]) >= 0x20) {
            result.append(json.sliced(i, 2));
            ++i;
            continue;
        }
        if (inString && c == '\\')
            continue; // before a control character, which stands for itself either way
        if (c == '"')
            inString = !inString;
        if (inString && c == '"' && json.sliced(i + 1).startsWith("\xEF\xBB\xBF")) {
            const QByteArrayView text = json.sliced(i + 1);
            const qsizetype backslash = text.indexOf('\\');
            if (backslash < 0 || backslash > text.indexOf('"'))
                plainFeffStrings.append(result.size() + 1);
        }
        if (inString && c < 0x20) {
            result.append("\\u00");
            result.append(hex[c >> 4]);
            result.append(hex[c & 0xF]);
        } else {
            result.append(char(c));
        }
    }
    return result;
}

} // namespace vxr::json_scalars
