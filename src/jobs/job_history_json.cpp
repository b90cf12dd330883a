#include "jobs/job_history_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace vxr {

namespace {

using L1 = QLatin1StringView;

// ---- dates -----------------------------------------------------------------

void put2(char* out, int value)
{
    out[0] = char('0' + value / 10);
    out[1] = char('0' + value % 10);
}

int digits(QStringView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// ---- encoding --------------------------------------------------------------

void putOptional(QJsonObject& object, L1 key, const std::optional<double>& value)
{
    if (value)
        object.insert(key, *value);
}

QJsonObject encodeSnapshot(const TaskSnapshot& s)
{
    QJsonObject o;
    o.insert(L1("slicesDone"), s.slicesDone);
    o.insert(L1("cpu"), s.cpu);
    o.insert(L1("gpu"), s.gpu);
    o.insert(L1("inBytes"), s.inBytes);
    o.insert(L1("outBytes"), s.outBytes);
    putOptional(o, L1("ram"), s.ram);
    o.insert(L1("ramSlices"), s.ramSlices);
    putOptional(o, L1("ramMax"), s.ramMax);
    putOptional(o, L1("gpuMem"), s.gpuMem);
    o.insert(L1("gpuMemSlices"), s.gpuMemSlices);
    putOptional(o, L1("gpuMemMax"), s.gpuMemMax);
    return o;
}

QJsonObject encodeRecord(const JobRecord& r)
{
    QJsonObject o;
    o.insert(L1("id"), r.id);
    if (r.name)
        o.insert(L1("name"), *r.name);
    if (r.computeGroup)
        o.insert(L1("computeGroup"), *r.computeGroup);
    o.insert(L1("firstSeen"), internetDateText(r.firstSeen));
    o.insert(L1("lastActive"), internetDateText(r.lastActive));
    QJsonObject tasks;
    for (auto it = r.tasks.begin(); it != r.tasks.end(); ++it)
        tasks.insert(it.key(), encodeSnapshot(it.value()));
    o.insert(L1("tasks"), tasks);
    if (r.estimate) {
        QJsonObject e;
        putOptional(e, L1("cpu"), r.estimate->cpu);
        putOptional(e, L1("gpu"), r.estimate->gpu);
        putOptional(e, L1("inBytes"), r.estimate->inBytes);
        putOptional(e, L1("outBytes"), r.estimate->outBytes);
        putOptional(e, L1("ram"), r.estimate->ram);
        putOptional(e, L1("gpuMem"), r.estimate->gpuMem);
        o.insert(L1("estimate"), e);
    }
    if (r.ramBreakdown) {
        QJsonObject b;
        b.insert(L1("heap"), r.ramBreakdown->heap);
        b.insert(L1("arrayBuffers"), r.ramBreakdown->arrayBuffers);
        b.insert(L1("wasm"), r.ramBreakdown->wasm);
        b.insert(L1("other"), r.ramBreakdown->other);
        b.insert(L1("slices"), r.ramBreakdown->slices);
        o.insert(L1("ramBreakdown"), b);
    }
    return o;
}

// ---- strict decoding -------------------------------------------------------

// Decoding stops at the first fault; every reader sets `ok` false and returns a
// default, and the caller rejects the whole file.
struct Reader {
    bool ok = true;

    double number(const QJsonObject& o, L1 key)
    {
        const QJsonValue v = o.value(key);
        if (!v.isDouble()) {
            ok = false;
            return 0;
        }
        return v.toDouble();
    }

    // Absent and null both mean "no value"; any other type is a fault.
    std::optional<double> optionalNumber(const QJsonObject& o, L1 key)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isDouble()) {
            ok = false;
            return std::nullopt;
        }
        return v.toDouble();
    }

    QString string(const QJsonObject& o, L1 key)
    {
        const QJsonValue v = o.value(key);
        if (!v.isString()) {
            ok = false;
            return {};
        }
        return v.toString();
    }

    std::optional<QString> optionalString(const QJsonObject& o, L1 key)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isString()) {
            ok = false;
            return std::nullopt;
        }
        return v.toString();
    }

    QDateTime date(const QJsonObject& o, L1 key)
    {
        const QJsonValue v = o.value(key);
        const auto parsed = v.isString() ? parseInternetDate(v.toString()) : std::nullopt;
        if (!parsed) {
            ok = false;
            return {};
        }
        return *parsed;
    }

    QJsonObject object(const QJsonValue& v)
    {
        if (!v.isObject()) {
            ok = false;
            return {};
        }
        return v.toObject();
    }

    TaskSnapshot snapshot(const QJsonObject& o)
    {
        TaskSnapshot s;
        s.slicesDone = number(o, L1("slicesDone"));
        s.cpu = number(o, L1("cpu"));
        s.gpu = number(o, L1("gpu"));
        s.inBytes = number(o, L1("inBytes"));
        s.outBytes = number(o, L1("outBytes"));
        s.ram = optionalNumber(o, L1("ram"));
        s.ramSlices = number(o, L1("ramSlices"));
        s.ramMax = optionalNumber(o, L1("ramMax"));
        s.gpuMem = optionalNumber(o, L1("gpuMem"));
        s.gpuMemSlices = number(o, L1("gpuMemSlices"));
        s.gpuMemMax = optionalNumber(o, L1("gpuMemMax"));
        return s;
    }

    JobRecord record(const QJsonObject& o)
    {
        JobRecord r;
        r.id = string(o, L1("id"));
        r.name = optionalString(o, L1("name"));
        r.computeGroup = optionalString(o, L1("computeGroup"));
        r.firstSeen = date(o, L1("firstSeen"));
        r.lastActive = date(o, L1("lastActive"));
        const QJsonObject tasks = object(o.value(L1("tasks")));
        for (auto it = tasks.begin(); ok && it != tasks.end(); ++it)
            r.tasks.insert(it.key(), snapshot(object(it.value())));
        const QJsonValue estimate = o.value(L1("estimate"));
        if (!estimate.isUndefined() && !estimate.isNull()) {
            const QJsonObject e = object(estimate);
            r.estimate = Estimate{optionalNumber(e, L1("cpu")),     optionalNumber(e, L1("gpu")),
                                  optionalNumber(e, L1("inBytes")), optionalNumber(e, L1("outBytes")),
                                  optionalNumber(e, L1("ram")),     optionalNumber(e, L1("gpuMem"))};
        }
        const QJsonValue breakdown = o.value(L1("ramBreakdown"));
        if (!breakdown.isUndefined() && !breakdown.isNull()) {
            const QJsonObject b = object(breakdown);
            r.ramBreakdown = RAMBreakdown{number(b, L1("heap")), number(b, L1("arrayBuffers")),
                                          number(b, L1("wasm")), number(b, L1("other")),
                                          number(b, L1("slices"))};
        }
        return r;
    }
};

} // namespace

QString internetDateText(const QDateTime& date)
{
    const QDateTime utc = date.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    char out[20];
    const int year = std::clamp(d.year(), 0, 9999);
    put2(out, year / 100);
    put2(out + 2, year % 100);
    out[4] = '-';
    put2(out + 5, d.month());
    out[7] = '-';
    put2(out + 8, d.day());
    out[10] = 'T';
    put2(out + 11, t.hour());
    out[13] = ':';
    put2(out + 14, t.minute());
    out[16] = ':';
    put2(out + 17, t.second());
    out[19] = 'Z';
    return QString::fromLatin1(out, 20);
}

std::optional<QDateTime> parseInternetDate(QStringView text)
{
    if (text.size() != 20 && text.size() != 25)
        return std::nullopt;
    if (text[4] != u'-' || text[7] != u'-' || text[10] != u'T' || text[13] != u':'
        || text[16] != u':')
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    int offsetSeconds = 0;
    if (text.size() == 20) {
        if (text[19] != u'Z')
            return std::nullopt;
    } else {
        const QChar sign = text[19];
        const int oh = digits(text, 20, 2);
        const int om = digits(text, 23, 2);
        if ((sign != u'+' && sign != u'-') || text[22] != u':' || oh < 0 || oh > 23 || om < 0
            || om > 59)
            return std::nullopt;
        offsetSeconds = (oh * 3600 + om * 60) * (sign == u'-' ? -1 : 1);
    }
    return QDateTime(date, time, Qt::UTC).addSecs(-offsetSeconds);
}

QByteArray encodeJobHistory(const QList<JobRecord>& jobs)
{
    QJsonArray array;
    for (const JobRecord& record : jobs)
        array.append(encodeRecord(record));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<JobRecord>> decodeJobHistory(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    const QJsonArray array = document.array();
    QList<JobRecord> jobs;
    jobs.reserve(array.size());
    QSet<QString> ids;
    Reader reader;
    for (const QJsonValue& value : array) {
        JobRecord record = reader.record(reader.object(value));
        if (!reader.ok)
            return std::nullopt;
        if (ids.contains(record.id))
            continue;
        ids.insert(record.id);
        jobs.append(std::move(record));
    }
    return jobs;
}

QByteArray encodeDismissed(const DismissedPairs& dismissed)
{
    QJsonObject object;
    for (auto it = dismissed.begin(); it != dismissed.end(); ++it) {
        QStringList keys(it.value().begin(), it.value().end());
        keys.sort();
        object.insert(it.key(), QJsonArray::fromStringList(keys));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<DismissedPairs> decodeDismissed(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    DismissedPairs dismissed;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isArray())
            return std::nullopt;
        QSet<QString>& keys = dismissed[it.key()];
        for (const QJsonValue& key : it.value().toArray()) {
            if (!key.isString())
                return std::nullopt;
            keys.insert(key.toString());
        }
    }
    return dismissed;
}

} // namespace vxr
