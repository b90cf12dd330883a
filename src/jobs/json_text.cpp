#include "jobs/json_text.h"

#include "core/number_text.h"

#include <charconv>
#include <cmath>

namespace vxr {

namespace {
constexpr char hexDigits[] = "0123456789abcdef";
constexpr int maxDepth = 1000;

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

// ---- writer ----------------------------------------------------------------

JsonTextWriter::JsonTextWriter(qsizetype reserve) {
    m_out.reserve(reserve);
}

void JsonTextWriter::beforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_first.isEmpty())
        return;
    if (!m_first.back())
        m_out += ',';
    m_first.back() = false;
}

void JsonTextWriter::beginObject() {
    beforeValue();
    m_out += '{';
    m_first.append(true);
}

void JsonTextWriter::endObject() {
    m_out += '}';
    m_first.removeLast();
}

void JsonTextWriter::beginArray() {
    beforeValue();
    m_out += '[';
    m_first.append(true);
}

void JsonTextWriter::endArray() {
    m_out += ']';
    m_first.removeLast();
}

void JsonTextWriter::key(QLatin1StringView key) {
    beforeValue();
    m_out += '"';
    m_out.append(key.data(), std::size_t(key.size()));
    m_out += "\":";
    m_afterKey = true;
}

void JsonTextWriter::key(QStringView key) {
    beforeValue();
    appendString(key);
    m_out += ':';
    m_afterKey = true;
}

void JsonTextWriter::value(double number) {
    beforeValue();
    char buffer[32];
    std::to_chars_result result{};
    if (!std::isfinite(number))
        number = 0;
    if (std::trunc(number) == number && std::abs(number) < 9007199254740992.0)
        result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(number));
    else
        result = std::to_chars(buffer, buffer + sizeof buffer, number);
    m_out.append(buffer, result.ptr);
}

void JsonTextWriter::value(QStringView text) {
    beforeValue();
    appendString(text);
}

void JsonTextWriter::valueAscii(QLatin1StringView text) {
    beforeValue();
    m_out += '"';
    m_out.append(text.data(), std::size_t(text.size()));
    m_out += '"';
}

void JsonTextWriter::appendString(QStringView text) {
    m_out += '"';
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20 && c < 0x80) {
            if (c == u'"' || c == u'\\')
                m_out += '\\';
            m_out += char(c);
        } else if (c < 0x20) {
            m_out += "\\u00";
            m_out += hexDigits[c >> 4];
            m_out += hexDigits[c & 0xF];
        } else if (QChar::isHighSurrogate(c) && i + 1 < n &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            appendUtf8(m_out, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            appendUtf8(m_out, QChar::ReplacementCharacter);
        } else {
            appendUtf8(m_out, c);
        }
    }
    m_out += '"';
}

// ---- reader ----------------------------------------------------------------

JsonTextReader::JsonTextReader(QByteArrayView text)
    : m_pos(text.data())
    , m_end(text.data() + text.size()) {}

void JsonTextReader::skipSpace() {
    while (m_pos < m_end && (*m_pos == ' ' || *m_pos == '\n' || *m_pos == '\r' || *m_pos == '\t'))
        ++m_pos;
}

bool JsonTextReader::consume(char c) {
    skipSpace();
    if (m_pos < m_end && *m_pos == c) {
        ++m_pos;
        return true;
    }
    return false;
}

JsonTextReader::Type JsonTextReader::peek() {
    skipSpace();
    if (m_failed || m_pos >= m_end)
        return Type::Invalid;
    switch (*m_pos) {
    case '{':
        return Type::Object;
    case '[':
        return Type::Array;
    case '"':
        return Type::String;
    case 't':
    case 'f':
        return Type::Bool;
    case 'n':
        return Type::Null;
    default:
        return *m_pos == '-' || isDigit(*m_pos) ? Type::Number : Type::Invalid;
    }
}

bool JsonTextReader::beginObject() {
    if (m_failed || !consume('{')) {
        m_failed = true;
        return false;
    }
    m_first.append(true);
    return true;
}

bool JsonTextReader::nextKey(QByteArrayView& key) {
    if (m_failed || m_first.isEmpty())
        return false;
    if (consume('}')) {
        m_first.removeLast();
        return false;
    }
    if (!m_first.back() && !consume(',')) {
        m_failed = true;
        return false;
    }
    m_first.back() = false;
    skipSpace();
    if (!readString(key, m_keyScratch) || !consume(':')) {
        m_failed = true;
        return false;
    }
    return true;
}

bool JsonTextReader::beginArray() {
    if (m_failed || !consume('[')) {
        m_failed = true;
        return false;
    }
    m_first.append(true);
    return true;
}

bool JsonTextReader::nextElement() {
    if (m_failed || m_first.isEmpty())
        return false;
    if (consume(']')) {
        m_first.removeLast();
        return false;
    }
    if (!m_first.back() && !consume(',')) {
        m_failed = true;
        return false;
    }
    m_first.back() = false;
    return true;
}

std::optional<double> JsonTextReader::number() {
    skipSpace();
    if (m_failed)
        return std::nullopt;
    // JSON's grammar, which is stricter than from_chars (no "inf", no leading zeros).
    const char* p = m_pos;
    if (p < m_end && *p == '-')
        ++p;
    if (p < m_end && *p == '0') {
        ++p;
    } else if (p < m_end && isDigit(*p)) {
        while (p < m_end && isDigit(*p))
            ++p;
    } else {
        m_failed = true;
        return std::nullopt;
    }
    if (p < m_end && *p == '.') {
        ++p;
        if (p >= m_end || !isDigit(*p)) {
            m_failed = true;
            return std::nullopt;
        }
        while (p < m_end && isDigit(*p))
            ++p;
    }
    if (p < m_end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < m_end && (*p == '+' || *p == '-'))
            ++p;
        if (p >= m_end || !isDigit(*p)) {
            m_failed = true;
            return std::nullopt;
        }
        while (p < m_end && isDigit(*p))
            ++p;
    }
    double value = 0;
    const auto result = std::from_chars(m_pos, p, value);
    if (result.ec != std::errc() || result.ptr != p) {
        m_failed = true;
        return std::nullopt;
    }
    m_pos = p;
    return value;
}

bool JsonTextReader::readString(QByteArrayView& result, std::string& out) {
    if (m_pos >= m_end || *m_pos != '"')
        return false;
    ++m_pos;
    const char* run = m_pos;
    bool escaped = false;
    while (m_pos < m_end) {
        const char c = *m_pos;
        if (c == '"') {
            if (escaped) {
                out.append(run, m_pos);
                result = QByteArrayView(out.data(), qsizetype(out.size()));
            } else {
                result = QByteArrayView(run, m_pos - run);
            }
            ++m_pos;
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
        if (c != '\\') {
            ++m_pos;
            continue;
        }
        if (!escaped) {
            out.clear();
            escaped = true;
        }
        out.append(run, m_pos);
        if (++m_pos >= m_end)
            return false;
        switch (*m_pos++) {
        case '"':
            out += '"';
            break;
        case '\\':
            out += '\\';
            break;
        case '/':
            out += '/';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            const auto unit = [this]() -> int {
                if (m_end - m_pos < 4)
                    return -1;
                int v = 0;
                for (int i = 0; i < 4; ++i) {
                    const int h = hexDigitValue(m_pos[i]);
                    if (h < 0)
                        return -1;
                    v = v * 16 + h;
                }
                m_pos += 4;
                return v;
            };
            const int first = unit();
            if (first < 0)
                return false;
            char32_t code = char32_t(first);
            if (QChar::isHighSurrogate(code) && m_end - m_pos >= 6 && m_pos[0] == '\\' &&
                m_pos[1] == 'u') {
                const char* back = m_pos;
                m_pos += 2;
                const int second = unit();
                if (second >= 0 && QChar::isLowSurrogate(char32_t(second)))
                    code = QChar::surrogateToUcs4(char16_t(first), char16_t(second));
                else
                    m_pos = back;
            }
            appendUtf8(out,
                       QChar::isSurrogate(code) ? char32_t(QChar::ReplacementCharacter) : code);
            break;
        }
        default:
            return false;
        }
        run = m_pos;
    }
    return false;
}

std::optional<QByteArrayView> JsonTextReader::stringUtf8() {
    skipSpace();
    QByteArrayView text;
    if (m_failed || !readString(text, m_valueScratch)) {
        m_failed = true;
        return std::nullopt;
    }
    return text;
}

std::optional<QString> JsonTextReader::string() {
    const auto utf8 = stringUtf8();
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

bool JsonTextReader::null() {
    skipSpace();
    if (!m_failed && m_end - m_pos >= 4 && QByteArrayView(m_pos, 4) == "null") {
        m_pos += 4;
        return true;
    }
    m_failed = true;
    return false;
}

void JsonTextReader::skipValue() {
    skip(0);
}

void JsonTextReader::skip(int depth) {
    if (depth > maxDepth) {
        m_failed = true;
        return;
    }
    switch (peek()) {
    case Type::Object: {
        beginObject();
        QByteArrayView key;
        while (nextKey(key))
            skip(depth + 1);
        break;
    }
    case Type::Array:
        beginArray();
        while (nextElement())
            skip(depth + 1);
        break;
    case Type::String:
        stringUtf8();
        break;
    case Type::Number:
        number();
        break;
    case Type::Null:
        null();
        break;
    case Type::Bool:
        if (m_end - m_pos >= 4 && QByteArrayView(m_pos, 4) == "true")
            m_pos += 4;
        else if (m_end - m_pos >= 5 && QByteArrayView(m_pos, 5) == "false")
            m_pos += 5;
        else
            m_failed = true;
        break;
    case Type::Invalid:
        m_failed = true;
        break;
    }
}

bool JsonTextReader::atEnd() {
    skipSpace();
    return !m_failed && m_first.isEmpty() && m_pos == m_end;
}

} // namespace vxr
