#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <optional>
#include <string>

// A JSON writer and a pull reader for the history files. QJsonDocument builds a
// whole tree first and was several times too slow for a 500-job history with
// thousands of task snapshots; these stream straight to and from the records.
namespace vxr {

class JsonTextWriter {
public:
    explicit JsonTextWriter(qsizetype reserve = 0);

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // A key known to need no escaping (plain ASCII).
    void key(QLatin1StringView key);
    void key(QStringView key);
    // Integral values print without a fraction; others in their shortest
    // round-trip form. JSON has no NaN or infinity: those print as 0.
    void value(double number);
    void value(QStringView text);
    void valueAscii(QLatin1StringView text);

    [[nodiscard]] QByteArray take() const {
        return QByteArray(m_out.data(), qsizetype(m_out.size()));
    }

private:
    void beforeValue();
    void appendString(QStringView text);

    std::string m_out; // appends inline, unlike QByteArray's

    QVarLengthArray<bool, 8> m_first; // per open container: nothing written yet
    bool m_afterKey = false;
};

// Reads one JSON value in document order. Any syntax or type fault sets
// failed(); after that every call returns an empty result.
class JsonTextReader {
public:
    enum class Type { Object, Array, String, Number, Bool, Null, Invalid };

    explicit JsonTextReader(QByteArrayView text);

    [[nodiscard]] bool failed() const { return m_failed; }
    void fail() { m_failed = true; }
    [[nodiscard]] Type peek();

    // `while (reader.nextKey(key)) { ...read or skip the value... }`. The key is
    // UTF-8, valid until the next key is read.
    bool beginObject();
    bool nextKey(QByteArrayView& key); // false at the closing brace or on failure
    bool beginArray();
    bool nextElement(); // false at the closing bracket or on failure

    std::optional<double> number();
    std::optional<QString> string();
    // The UTF-8 of a string value, valid until the next string value is read.
    std::optional<QByteArrayView> stringUtf8();
    bool null(); // consumes a null
    void skipValue();
    // True when only white space is left after the top-level value.
    [[nodiscard]] bool atEnd();

private:
    void skipSpace();
    bool consume(char c);
    // Points into the text, or into `scratch` when escapes had to be decoded.
    bool readString(QByteArrayView& out, std::string& scratch);
    void skip(int depth);

    const char* m_pos;
    const char* m_end;
    bool m_failed = false;
    QVarLengthArray<bool, 8> m_first;
    std::string m_keyScratch;
    std::string m_valueScratch;
};

} // namespace vxr
