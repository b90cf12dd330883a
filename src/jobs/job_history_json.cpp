#include "jobs/job_history_json.h"

#include "jobs/json_text.h"

#include <algorithm>
#include <cstring>

namespace vxr {

namespace {

using L1 = QLatin1StringView;

// ---- dates -----------------------------------------------------------------

constexpr qint64 msecsPerDay = 86400000;
constexpr qint64 unixEpochJulianDay = 2440588;

void put2(char* out, int value) {
    out[0] = char('0' + value / 10);
    out[1] = char('0' + value % 10);
}

template <typename Char> int digits(const Char* text, qsizetype from, qsizetype count) {
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const auto c = static_cast<char16_t>(text[i]);
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// Fills out[20] with "yyyy-MM-ddTHH:mm:ssZ".
void formatDate(const QDateTime& date, char* out) {
    const qint64 msecs = date.toMSecsSinceEpoch();
    qint64 days = msecs / msecsPerDay;
    qint64 inDay = msecs % msecsPerDay;
    if (inDay < 0) {
        inDay += msecsPerDay;
        --days;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    QDate::fromJulianDay(days + unixEpochJulianDay).getDate(&year, &month, &day);
    year = std::clamp(year, 0, 9999);
    const int seconds = int(inDay / 1000);
    put2(out, year / 100);
    put2(out + 2, year % 100);
    out[4] = '-';
    put2(out + 5, month);
    out[7] = '-';
    put2(out + 8, day);
    out[10] = 'T';
    put2(out + 11, seconds / 3600);
    out[13] = ':';
    put2(out + 14, seconds / 60 % 60);
    out[16] = ':';
    put2(out + 17, seconds % 60);
    out[19] = 'Z';
}

template <typename Char> std::optional<QDateTime> parseDate(const Char* text, qsizetype size) {
    if (size != 20 && size != 25)
        return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour > 23 || minute > 59 || second > 59 || hour < 0 ||
        minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    int offsetSeconds = 0;
    if (size == 20) {
        if (text[19] != 'Z')
            return std::nullopt;
    } else {
        const auto sign = text[19];
        const int oh = digits(text, 20, 2);
        const int om = digits(text, 23, 2);
        if ((sign != '+' && sign != '-') || text[22] != ':' || oh < 0 || oh > 23 || om < 0 ||
            om > 59)
            return std::nullopt;
        offsetSeconds = (oh * 3600 + om * 60) * (sign == '-' ? -1 : 1);
    }
    const qint64 secs = (date.toJulianDay() - unixEpochJulianDay) * 86400 + hour * 3600 +
                        minute * 60 + second - offsetSeconds;
    return QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
}

// ---- encoding --------------------------------------------------------------

void putOptional(JsonTextWriter& w, L1 key, const std::optional<double>& value) {
    if (value) {
        w.key(key);
        w.value(*value);
    }
}

void put(JsonTextWriter& w, L1 key, double value) {
    w.key(key);
    w.value(value);
}

void putDate(JsonTextWriter& w, L1 key, const QDateTime& date) {
    char text[20];
    formatDate(date, text);
    w.key(key);
    w.valueAscii(L1(text, 20));
}

void encodeSnapshot(JsonTextWriter& w, const TaskSnapshot& s) {
    w.beginObject();
    put(w, L1("slicesDone"), s.slicesDone);
    put(w, L1("cpu"), s.cpu);
    put(w, L1("gpu"), s.gpu);
    put(w, L1("inBytes"), s.inBytes);
    put(w, L1("outBytes"), s.outBytes);
    putOptional(w, L1("ram"), s.ram);
    put(w, L1("ramSlices"), s.ramSlices);
    putOptional(w, L1("ramMax"), s.ramMax);
    putOptional(w, L1("gpuMem"), s.gpuMem);
    put(w, L1("gpuMemSlices"), s.gpuMemSlices);
    putOptional(w, L1("gpuMemMax"), s.gpuMemMax);
    w.endObject();
}

void encodeRecord(JsonTextWriter& w, const JobRecord& r) {
    w.beginObject();
    w.key(L1("id"));
    w.value(r.id);
    if (r.name) {
        w.key(L1("name"));
        w.value(*r.name);
    }
    if (r.computeGroup) {
        w.key(L1("computeGroup"));
        w.value(*r.computeGroup);
    }
    putDate(w, L1("firstSeen"), r.firstSeen);
    putDate(w, L1("lastActive"), r.lastActive);
    w.key(L1("tasks"));
    w.beginObject();
    for (auto it = r.tasks.begin(); it != r.tasks.end(); ++it) {
        w.key(it.key());
        encodeSnapshot(w, it.value());
    }
    w.endObject();
    if (r.estimate) {
        w.key(L1("estimate"));
        w.beginObject();
        putOptional(w, L1("cpu"), r.estimate->cpu);
        putOptional(w, L1("gpu"), r.estimate->gpu);
        putOptional(w, L1("inBytes"), r.estimate->inBytes);
        putOptional(w, L1("outBytes"), r.estimate->outBytes);
        putOptional(w, L1("ram"), r.estimate->ram);
        putOptional(w, L1("gpuMem"), r.estimate->gpuMem);
        w.endObject();
    }
    if (r.ramBreakdown) {
        w.key(L1("ramBreakdown"));
        w.beginObject();
        put(w, L1("heap"), r.ramBreakdown->heap);
        put(w, L1("arrayBuffers"), r.ramBreakdown->arrayBuffers);
        put(w, L1("wasm"), r.ramBreakdown->wasm);
        put(w, L1("other"), r.ramBreakdown->other);
        put(w, L1("slices"), r.ramBreakdown->slices);
        w.endObject();
    }
    w.endObject();
}

// ---- strict decoding -------------------------------------------------------

template <std::size_t N> bool is(QByteArrayView key, const char (&literal)[N]) {
    return key.size() == qsizetype(N - 1) && std::memcmp(key.data(), literal, N - 1) == 0;
}

// Every reader marks the field it filled in `seen`; a record, snapshot or
// breakdown is complete only when all of its required bits are set. Any fault
// fails the reader, and the caller rejects the whole file.
class RecordReader {
public:
    explicit RecordReader(JsonTextReader& reader)
        : r(reader) {}

    bool record(JobRecord& out) {
        enum : unsigned { Id = 1, FirstSeen = 2, LastActive = 4, Tasks = 8, All = 15 };
        unsigned seen = 0;
        QByteArrayView key;
        if (!r.beginObject())
            return false;
        while (r.nextKey(key)) {
            if (is(key, "id")) {
                out.id = r.string().value_or(QString());
                seen |= Id;
            } else if (is(key, "name")) {
                out.name = optionalString();
            } else if (is(key, "computeGroup")) {
                out.computeGroup = optionalString();
            } else if (is(key, "firstSeen")) {
                out.firstSeen = date();
                seen |= FirstSeen;
            } else if (is(key, "lastActive")) {
                out.lastActive = date();
                seen |= LastActive;
            } else if (is(key, "tasks")) {
                tasks(out.tasks);
                seen |= Tasks;
            } else if (is(key, "estimate")) {
                out.estimate.reset();
                if (!nullInstead())
                    out.estimate = estimate();
            } else if (is(key, "ramBreakdown")) {
                out.ramBreakdown.reset();
                if (!nullInstead())
                    out.ramBreakdown = breakdown();
            } else {
                r.skipValue();
            }
        }
        return !r.failed() && seen == All;
    }

private:
    // Absent and null both mean "no value" for an optional field.
    bool nullInstead() { return r.peek() == JsonTextReader::Type::Null && r.null(); }

    std::optional<QString> optionalString() {
        if (nullInstead())
            return std::nullopt;
        return r.string();
    }

    std::optional<double> optionalNumber() {
        if (nullInstead())
            return std::nullopt;
        return r.number();
    }

    QDateTime date() {
        const auto text = r.stringUtf8();
        const auto parsed = text ? parseDate(text->data(), text->size()) : std::nullopt;
        if (!parsed) {
            r.fail();
            return {};
        }
        return *parsed;
    }

    void tasks(QMap<QString, TaskSnapshot>& out) {
        out.clear();
        QByteArrayView key;
        if (!r.beginObject())
            return;
        while (r.nextKey(key)) {
            const QString taskKey = QString::fromUtf8(key);
            out.insert(taskKey, snapshot());
        }
    }

    TaskSnapshot snapshot() {
        enum : unsigned {
            SlicesDone = 1,
            Cpu = 2,
            Gpu = 4,
            InBytes = 8,
            OutBytes = 16,
            RamSlices = 32,
            GpuMemSlices = 64,
            All = 127
        };
        unsigned seen = 0;
        TaskSnapshot s;
        QByteArrayView key;
        if (!r.beginObject())
            return s;
        const auto number = [&](double& field, unsigned bit) {
            field = r.number().value_or(0);
            seen |= bit;
        };
        while (r.nextKey(key)) {
            if (is(key, "slicesDone"))
                number(s.slicesDone, SlicesDone);
            else if (is(key, "cpu"))
                number(s.cpu, Cpu);
            else if (is(key, "gpu"))
                number(s.gpu, Gpu);
            else if (is(key, "inBytes"))
                number(s.inBytes, InBytes);
            else if (is(key, "outBytes"))
                number(s.outBytes, OutBytes);
            else if (is(key, "ramSlices"))
                number(s.ramSlices, RamSlices);
            else if (is(key, "gpuMemSlices"))
                number(s.gpuMemSlices, GpuMemSlices);
            else if (is(key, "ram"))
                s.ram = optionalNumber();
            else if (is(key, "ramMax"))
                s.ramMax = optionalNumber();
            else if (is(key, "gpuMem"))
                s.gpuMem = optionalNumber();
            else if (is(key, "gpuMemMax"))
                s.gpuMemMax = optionalNumber();
            else
                r.skipValue();
        }
        if (seen != All)
            r.fail();
        return s;
    }

    Estimate estimate() {
        Estimate e;
        QByteArrayView key;
        if (!r.beginObject())
            return e;
        while (r.nextKey(key)) {
            if (is(key, "cpu"))
                e.cpu = optionalNumber();
            else if (is(key, "gpu"))
                e.gpu = optionalNumber();
            else if (is(key, "inBytes"))
                e.inBytes = optionalNumber();
            else if (is(key, "outBytes"))
                e.outBytes = optionalNumber();
            else if (is(key, "ram"))
                e.ram = optionalNumber();
            else if (is(key, "gpuMem"))
                e.gpuMem = optionalNumber();
            else
                r.skipValue();
        }
        return e;
    }

    RAMBreakdown breakdown() {
        unsigned seen = 0;
        RAMBreakdown b;
        QByteArrayView key;
        if (!r.beginObject())
            return b;
        const auto number = [&](double& field, unsigned bit) {
            field = r.number().value_or(0);
            seen |= bit;
        };
        while (r.nextKey(key)) {
            if (is(key, "heap"))
                number(b.heap, 1);
            else if (is(key, "arrayBuffers"))
                number(b.arrayBuffers, 2);
            else if (is(key, "wasm"))
                number(b.wasm, 4);
            else if (is(key, "other"))
                number(b.other, 8);
            else if (is(key, "slices"))
                number(b.slices, 16);
            else
                r.skipValue();
        }
        if (seen != 31)
            r.fail();
        return b;
    }

    JsonTextReader& r;
};

} // namespace

QString internetDateText(const QDateTime& date) {
    char text[20];
    formatDate(date, text);
    return QString::fromLatin1(text, 20);
}

std::optional<QDateTime> parseInternetDate(QStringView text) {
    return parseDate(text.utf16(), text.size());
}

QByteArray encodeJobHistory(const QList<JobRecord>& jobs) {
    JsonTextWriter w(jobs.size() * 512);
    w.beginArray();
    for (const JobRecord& record : jobs)
        encodeRecord(w, record);
    w.endArray();
    return w.take();
}

std::optional<QList<JobRecord>> decodeJobHistory(const QByteArray& bytes) {
    JsonTextReader reader(bytes);
    RecordReader records(reader);
    QList<JobRecord> jobs;
    QSet<QString> ids;
    if (!reader.beginArray())
        return std::nullopt;
    while (reader.nextElement()) {
        JobRecord record;
        if (!records.record(record))
            return std::nullopt;
        if (ids.contains(record.id))
            continue;
        ids.insert(record.id);
        jobs.append(std::move(record));
    }
    if (!reader.atEnd())
        return std::nullopt;
    return jobs;
}

QByteArray encodeDismissed(const DismissedPairs& dismissed) {
    JsonTextWriter w;
    w.beginObject();
    for (auto it = dismissed.begin(); it != dismissed.end(); ++it) {
        QStringList keys(it.value().begin(), it.value().end());
        keys.sort();
        w.key(it.key());
        w.beginArray();
        for (const QString& key : std::as_const(keys))
            w.value(key);
        w.endArray();
    }
    w.endObject();
    return w.take();
}

std::optional<DismissedPairs> decodeDismissed(const QByteArray& bytes) {
    JsonTextReader reader(bytes);
    DismissedPairs dismissed;
    QByteArrayView key;
    if (!reader.beginObject())
        return std::nullopt;
    while (reader.nextKey(key)) {
        QSet<QString>& keys = dismissed[QString::fromUtf8(key)];
        keys.clear(); // a repeated job id: the last one counts
        if (!reader.beginArray())
            return std::nullopt;
        while (reader.nextElement()) {
            const auto taskKey = reader.string();
            if (!taskKey)
                return std::nullopt;
            keys.insert(*taskKey);
        }
    }
    if (!reader.atEnd())
        return std::nullopt;
    return dismissed;
}

} // namespace vxr
