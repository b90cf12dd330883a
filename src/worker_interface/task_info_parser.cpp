#include "worker_interface/task_info_parser.h"

#include "core/task_key.h"
#include "worker_interface/json_scalars.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

// Failures are error codes here; nothing may throw out of the reader.
#define SIMDJSON_EXCEPTIONS 0
#include <simdjson.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <string_view>
#include <vector>

namespace vxr {

namespace {

namespace od = simdjson::ondemand;
using json_scalars::RawString;

// As deep as Qt's parser nests arrays and objects.
constexpr int maxDepth = 1024;

// Job ids and compute groups repeat in every task and every poll: their text is made once
// and shared. Set for the parse running on this thread.
thread_local QHash<QByteArray, QString>* t_strings = nullptr;

QString sharedText(const RawString& raw) {
    const QByteArray bytes = QByteArray::fromRawData(raw.begin, raw.end - raw.begin);
    if (!t_strings || bytes.size() > 64)
        return QString::fromUtf8(bytes);
    const auto found = t_strings->constFind(bytes);
    if (found != t_strings->cend())
        return *found;
    return *t_strings->insert(QByteArray(raw.begin, bytes.size()), QString::fromUtf8(bytes));
}

// Strings whose escapes were written by escapeControlCharacters() and that start with
// U+FEFF, by offset from t_text; their text drops it, as Qt's did.
thread_local const char* t_text = nullptr;
thread_local const QList<qsizetype>* t_plainFeffStrings = nullptr;

bool isPlainFeffString(const RawString& raw) {
    return t_plainFeffStrings && std::binary_search(t_plainFeffStrings->cbegin(),
                                                    t_plainFeffStrings->cend(), raw.begin - t_text);
}

QString asQtConverted(const RawString& raw, QString text) {
    if (isPlainFeffString(raw))
        text.remove(0, 1);
    return text;
}

std::optional<QString> stringOf(const RawString& raw) {
    if (!raw.escaped)
        return sharedText(raw);
    const std::optional<QString> text = json_scalars::text(raw);
    return text ? std::optional<QString>(asQtConverted(raw, *text)) : std::nullopt;
}

// One key of an object: compared as bytes while it has no escapes.
class Key {
public:
    explicit Key(const RawString& raw)
        : m_raw(raw) {}

    [[nodiscard]] bool valid() {
        if (m_raw.escaped)
            m_text = json_scalars::text(m_raw);
        return !m_raw.escaped || m_text;
    }
    // Inline and without a memcmp call: it runs for every key against every name it may be.
    [[nodiscard, gnu::always_inline]] bool is(std::string_view name) const {
        if (m_raw.escaped)
            return *m_text == QLatin1StringView(name.data(), qsizetype(name.size()));
        if (size_t(m_raw.end - m_raw.begin) != name.size())
            return false;
        for (size_t i = 0; i < name.size(); ++i) {
            if (m_raw.begin[i] != name[i])
                return false;
        }
        return true;
    }
    [[nodiscard]] QString text() const {
        return m_raw.escaped ? asQtConverted(m_raw, *m_text) : sharedText(m_raw);
    }
    // Whether text() lost a leading U+FEFF, as Qt's does for a string without escapes of
    // its own. Qt still tells keys apart with it.
    [[nodiscard]] bool textDropsLeadingFeff() const {
        if (m_raw.escaped)
            return isPlainFeffString(m_raw);
        return m_raw.end - m_raw.begin >= 3 &&
               std::string_view(m_raw.begin, 3) == std::string_view("\xEF\xBB\xBF");
    }

private:
    RawString m_raw;
    std::optional<QString> m_text;
};

bool skip(od::value value, int depth);

// Calls onField(key, value, depth of the value) for each field of an object at `depth`.
template <typename OnField> bool forEachField(od::object object, int depth, OnField&& onField) {
    if (depth > maxDepth)
        return false;
    for (auto result : object) {
        od::field field;
        if (std::move(result).get(field) != simdjson::SUCCESS)
            return false;
        Key key(json_scalars::rawString(field.key().raw()));
        if (!key.valid() || !onField(key, field.value(), depth + 1))
            return false;
    }
    return true;
}

template <typename OnElement>
bool forEachElement(od::array array, int depth, OnElement&& onElement) {
    if (depth > maxDepth)
        return false;
    for (auto result : array) {
        od::value element;
        if (std::move(result).get(element) != simdjson::SUCCESS || !onElement(element, depth + 1))
            return false;
    }
    return true;
}

std::optional<od::json_type> typeOf(od::value& value) {
    // The first byte settles it, as in type(), without its result plumbing.
    if (const std::string_view token = value.raw_json_token(); !token.empty()) {
        switch (token[0]) {
        case '{':
            return od::json_type::object;
        case '[':
            return od::json_type::array;
        case '"':
            return od::json_type::string;
        case 't':
        case 'f':
            return od::json_type::boolean;
        case 'n':
            return od::json_type::null;
        default:
            break;
        }
    }
    od::json_type type{};
    if (value.type().get(type) == simdjson::SUCCESS)
        return type;
    // Qt reads any other token as a number: ".5" is one.
    if (json_scalars::number(value.raw_json_token()))
        return od::json_type::number;
    return std::nullopt;
}

std::optional<QString> stringText(od::value& value) {
    od::raw_json_string raw;
    if (value.get_raw_json_string().get(raw) != simdjson::SUCCESS)
        return std::nullopt;
    return stringOf(json_scalars::rawString(raw.raw()));
}

// A number the way Qt reads it. simdjson's own parser takes only strict JSON and rounds
// alike, so its non-zero results stand; zero and anything it refuses ("1.", "-.5",
// underflow) go through the slower Qt-compatible reading.
std::optional<double> numberOf(od::value& value) {
    // Most of the worker's numbers are small whole ones; read those directly, exactly.
    const std::string_view token = value.raw_json_token();
    size_t length = 0;
    std::int64_t whole = 0;
    while (length < token.size() && length < 15 && token[length] >= '0' && token[length] <= '9')
        whole = whole * 10 + (token[length++] - '0');
    const bool leadingZero = length > 1 && token[0] == '0';
    if (length > 0 && !leadingZero &&
        (length == token.size() || json_scalars::endsNumber(token[length])))
        return double(whole);
    double number = 0;
    if (value.get_double().get(number) == simdjson::SUCCESS && number != 0)
        return number;
    return json_scalars::number(value.raw_json_token());
}

// Checks a value nobody reads as strictly as one that is read: Qt rejects the whole
// document for a fault anywhere.
bool skip(od::value value, int depth) {
    const std::optional<od::json_type> type = typeOf(value);
    if (!type)
        return false;
    switch (*type) {
    case od::json_type::object: {
        od::object object;
        return value.get_object().get(object) == simdjson::SUCCESS &&
               forEachField(object, depth,
                            [](const Key&, od::value field, int d) { return skip(field, d); });
    }
    case od::json_type::array: {
        od::array array;
        return value.get_array().get(array) == simdjson::SUCCESS &&
               forEachElement(array, depth,
                              [](od::value element, int d) { return skip(element, d); });
    }
    case od::json_type::string: {
        od::raw_json_string raw;
        if (value.get_raw_json_string().get(raw) != simdjson::SUCCESS)
            return false;
        const RawString text = json_scalars::rawString(raw.raw());
        return !text.escaped || json_scalars::text(text);
    }
    case od::json_type::number:
        return numberOf(value).has_value();
    case od::json_type::boolean: {
        bool ignored = false;
        return value.get_bool().get(ignored) == simdjson::SUCCESS;
    }
    case od::json_type::null: {
        bool null = false;
        return value.is_null().get(null) == simdjson::SUCCESS && null;
    }
    }
    return false;
}

// The value as Qt would hold it; for the rare task key made of an array or object.
std::optional<QJsonValue> jsonValue(od::value value, int depth) {
    const std::optional<od::json_type> type = typeOf(value);
    if (!type)
        return std::nullopt;
    switch (*type) {
    case od::json_type::object: {
        od::object object;
        QJsonObject result;
        const bool ok = value.get_object().get(object) == simdjson::SUCCESS &&
                        forEachField(object, depth, [&](const Key& key, od::value field, int d) {
                            const std::optional<QJsonValue> member = jsonValue(field, d);
                            if (member)
                                result.insert(key.text(), *member); // the last duplicate wins
                            return member.has_value();
                        });
        return ok ? std::optional<QJsonValue>(result) : std::nullopt;
    }
    case od::json_type::array: {
        od::array array;
        QJsonArray result;
        const bool ok = value.get_array().get(array) == simdjson::SUCCESS &&
                        forEachElement(array, depth, [&](od::value element, int d) {
                            const std::optional<QJsonValue> member = jsonValue(element, d);
                            if (member)
                                result.append(*member);
                            return member.has_value();
                        });
        return ok ? std::optional<QJsonValue>(result) : std::nullopt;
    }
    case od::json_type::string: {
        const std::optional<QString> text = stringText(value);
        return text ? std::optional<QJsonValue>(*text) : std::nullopt;
    }
    case od::json_type::number:
        return json_scalars::numberValue(value.raw_json_token());
    case od::json_type::boolean: {
        bool flag = false;
        if (value.get_bool().get(flag) != simdjson::SUCCESS)
            return std::nullopt;
        return QJsonValue(flag);
    }
    case od::json_type::null:
        return skip(value, depth) ? std::optional<QJsonValue>(QJsonValue::Null) : std::nullopt;
    }
    return std::nullopt;
}

// Typed readers: each reads one value into its slot, or empties the slot and checks the
// value when it has another type. A later duplicate key reads into the same slot again.

bool readNumber(od::value value, int depth, std::optional<double>& out) {
    // Most values here are numbers, and a token that starts like one is one to type()
    // as well: the type need not be asked for.
    if (const std::string_view token = value.raw_json_token();
        !token.empty() && (token[0] == '-' || (token[0] >= '0' && token[0] <= '9'))) {
        out = numberOf(value);
        return out.has_value();
    }
    const std::optional<od::json_type> type = typeOf(value);
    out.reset();
    if (type != od::json_type::number)
        return type && skip(value, depth);
    out = numberOf(value);
    return out.has_value();
}

bool readString(od::value value, int depth, std::optional<QString>& out) {
    const std::optional<od::json_type> type = typeOf(value);
    out.reset();
    if (type != od::json_type::string)
        return type && skip(value, depth);
    out = stringText(value);
    return out.has_value();
}

bool readArraySize(od::value value, int depth, qsizetype& out) {
    const std::optional<od::json_type> type = typeOf(value);
    out = 0;
    od::array array;
    if (type != od::json_type::array)
        return type && skip(value, depth);
    return value.get_array().get(array) == simdjson::SUCCESS &&
           forEachElement(array, depth, [&](od::value element, int d) {
               ++out;
               return skip(element, d);
           });
}

// An object into `out`, its fields handed to onField(out, key, value, depth).
template <typename T, typename OnField>
bool readObject(od::value value, int depth, std::optional<T>& out, OnField&& onField) {
    const std::optional<od::json_type> type = typeOf(value);
    out.reset();
    if (type != od::json_type::object)
        return type && skip(value, depth);
    od::object object;
    if (value.get_object().get(object) != simdjson::SUCCESS)
        return false;
    T& target = out.emplace();
    return forEachField(object, depth, [&](const Key& key, od::value field, int d) {
        return onField(target, key, field, d);
    });
}

template <typename T> struct NumberField {
    std::string_view name;
    std::optional<double> T::*member;
};

// An object of numbers only.
template <typename T, size_t N>
bool readNumbers(od::value value, int depth, std::optional<T>& out,
                 const NumberField<T> (&fields)[N]) {
    // Every object of a kind comes with its keys in the same order: the field found at
    // this position last time is tried first.
    thread_local std::array<size_t, N> foundAt{};
    size_t position = 0;
    return readObject(value, depth, out, [&](T& target, const Key& key, od::value field, int d) {
        const size_t slot = std::min(position++, N - 1);
        for (size_t i = 0; i < N; ++i) {
            const size_t index = (foundAt[slot] + i) % N;
            if (key.is(fields[index].name)) {
                foundAt[slot] = index;
                return readNumber(field, d, target.*(fields[index].member));
            }
        }
        return skip(field, d);
    });
}

// Qt's reader keeps the last of keys that are equal as it stores them, which is with the
// leading U+FEFF their text dropped (the entries at `feffDropped`), in the order of
// those stored keys.
template <typename Entry>
void keepLastOfEqualStoredKeys(std::vector<Entry>& entries,
                               const std::vector<size_t>& feffDropped) {
    std::vector<QString> stored(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        stored[i] = entries[i].first;
    for (size_t i : feffDropped)
        stored[i].prepend(QChar(0xFEFF));
    std::vector<size_t> order(entries.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return codePointLess(stored[a], stored[b]); });
    std::vector<Entry> kept;
    for (size_t k = 0; k < order.size(); ++k) {
        if (k + 1 == order.size() || stored[order[k]] != stored[order[k + 1]])
            kept.push_back(std::move(entries[order[k]]));
    }
    entries = std::move(kept);
}

// An object keyed by job id, each entry read by readEntry(value, depth, optional<T>&).
template <typename T, typename ReadEntry>
bool readJobMap(od::value value, int depth, std::optional<JobMap<T>>& out, ReadEntry readEntry) {
    // Gathered in a buffer kept from parse to parse, then moved into a list of the exact
    // size: entries are hundreds of bytes, and a list grown entry by entry was
    // reallocated several times per map. Taken out of its slot while in use, so a map
    // inside a map would simply get a buffer of its own.
    thread_local std::vector<std::pair<QString, std::optional<T>>> spare;
    std::vector<std::pair<QString, std::optional<T>>> entries = std::move(spare);
    entries.clear();
    std::vector<size_t> feffDropped;
    std::optional<bool> isObject;
    const bool ok =
        readObject(value, depth, isObject, [&](bool&, const Key& key, od::value field, int d) {
            std::optional<T> entry;
            if (!readEntry(field, d, entry))
                return false;
            if (key.textDropsLeadingFeff())
                feffDropped.push_back(entries.size());
            entries.emplace_back(key.text(), std::move(entry));
            return true;
        });
    out.reset();
    if (ok && !feffDropped.empty())
        keepLastOfEqualStoredKeys(entries, feffDropped);
    if (isObject) {
        out.emplace(std::make_move_iterator(entries.begin()),
                    std::make_move_iterator(entries.end()));
        if (ok)
            sortJobMap(*out);
    }
    entries.clear();
    spare = std::move(entries);
    return ok;
}

constexpr NumberField<TaskInfoMetrics> metricFields[] = {
    {"cpu", &TaskInfoMetrics::cpu},
    {"gpu", &TaskInfoMetrics::gpu},
    {"in", &TaskInfoMetrics::in},
    {"out", &TaskInfoMetrics::out},
    {"ram", &TaskInfoMetrics::ram},
    {"ramSlices", &TaskInfoMetrics::ramSlices},
    {"ramMax", &TaskInfoMetrics::ramMax},
    {"gpuMem", &TaskInfoMetrics::gpuMem},
    {"gpuMemSlices", &TaskInfoMetrics::gpuMemSlices},
    {"gpuMemMax", &TaskInfoMetrics::gpuMemMax},
};

constexpr NumberField<TaskInfoRamBreakdown> ramBreakdownFields[] = {
    {"heap", &TaskInfoRamBreakdown::heap},
    {"arrayBuffers", &TaskInfoRamBreakdown::arrayBuffers},
    {"wasm", &TaskInfoRamBreakdown::wasm},
    {"other", &TaskInfoRamBreakdown::other},
    {"slices", &TaskInfoRamBreakdown::slices},
};

constexpr NumberField<TaskInfoBudgetKind> budgetKindFields[] = {
    {"n", &TaskInfoBudgetKind::n},
    {"mean", &TaskInfoBudgetKind::mean},
    {"sd", &TaskInfoBudgetKind::sd},
    {"estimate", &TaskInfoBudgetKind::estimate},
};

constexpr NumberField<TaskInfoReuse> reuseFields[] = {
    {"fresh", &TaskInfoReuse::fresh},
    {"reused", &TaskInfoReuse::reused},
    {"warmLost", &TaskInfoReuse::warmLost},
    {"warmStartSavingMs", &TaskInfoReuse::warmStartSavingMs},
};

bool readCounters(od::value value, int depth, std::optional<TaskInfoCounters>& out) {
    return readObject(value, depth, out,
                      [](TaskInfoCounters& counters, const Key& key, od::value field, int d) {
                          if (key.is("slicesDone"))
                              return readNumber(field, d, counters.slicesDone);
                          if (key.is("slicesLeft"))
                              return readArraySize(field, d, counters.slicesLeft);
                          return skip(field, d);
                      });
}

bool readEntry(od::value value, int depth, std::optional<TaskInfoEntry>& out) {
    return readObject(value, depth, out,
                      [](TaskInfoEntry& entry, const Key& key, od::value field, int d) {
                          if (key.is("sliceCount"))
                              return readNumber(field, d, entry.sliceCount);
                          if (key.is("metrics"))
                              return readNumbers(field, d, entry.metrics, metricFields);
                          if (key.is("cgId"))
                              return readString(field, d, entry.cgId);
                          return skip(field, d);
                      });
}

bool readCurrentTask(od::value value, int depth, std::optional<TaskInfoCurrentTask>& out) {
    return readObject(value, depth, out,
                      [](TaskInfoCurrentTask& current, const Key& key, od::value field, int d) {
                          if (key.is("finished")) {
                              current.finished = true;
                              return skip(field, d);
                          }
                          if (key.is("jobs"))
                              return readJobMap(field, d, current.jobs, readEntry);
                          return skip(field, d);
                      });
}

// "serial" or "taskTime", as the value taskKeyPart() turns into text.
bool readKeyPart(od::value value, int depth, QJsonValue& out) {
    const std::optional<od::json_type> type = typeOf(value);
    std::optional<QJsonValue> part;
    if (type == od::json_type::number) {
        if (const auto number = numberOf(value))
            part = QJsonValue(*number);
    } else if (type == od::json_type::string) {
        if (const auto text = stringText(value))
            part = QJsonValue(*text);
    } else if (type) {
        part = jsonValue(value, depth);
    }
    out = part.value_or(QJsonValue());
    return part.has_value();
}

bool readPrototype(od::value value, int depth, TaskInfoTask& task) {
    QJsonValue serial(QJsonValue::Undefined);
    QJsonValue taskTime(QJsonValue::Undefined);
    struct Prototype {};
    std::optional<Prototype> prototype;
    task.currentTask.reset();
    const bool ok = readObject(value, depth, prototype,
                               [&](Prototype&, const Key& key, od::value field, int d) {
                                   if (key.is("serial"))
                                       return readKeyPart(field, d, serial);
                                   if (key.is("taskTime"))
                                       return readKeyPart(field, d, taskTime);
                                   if (key.is("currentTask"))
                                       return readCurrentTask(field, d, task.currentTask);
                                   return skip(field, d);
                               });
    task.taskKey.reset();
    if (prototype)
        task.taskKey = taskKeyPart(serial) + u'|' + taskKeyPart(taskTime);
    return ok;
}

bool readTask(od::value value, int depth, std::optional<TaskInfoTask>& out) {
    return readObject(value, depth, out,
                      [](TaskInfoTask& task, const Key& key, od::value field, int d) {
                          if (key.is("jobs"))
                              return readJobMap(field, d, task.jobs, readCounters);
                          if (key.is("prototype"))
                              return readPrototype(field, d, task);
                          return skip(field, d);
                      });
}

bool readTasks(od::value value, int depth, std::optional<QList<std::optional<TaskInfoTask>>>& out) {
    const std::optional<od::json_type> type = typeOf(value);
    out.reset();
    if (type != od::json_type::array)
        return type && skip(value, depth);
    od::array array;
    if (value.get_array().get(array) != simdjson::SUCCESS)
        return false;
    auto& tasks = out.emplace();
    return forEachElement(array, depth, [&](od::value element, int d) {
        return readTask(element, d, tasks.emplace_back());
    });
}

bool readJob(od::value value, int depth, std::optional<TaskInfoJob>& out) {
    return readObject(value, depth, out,
                      [](TaskInfoJob& job, const Key& key, od::value field, int d) {
                          if (key.is("name"))
                              return readString(field, d, job.name);
                          if (key.is("cgId"))
                              return readString(field, d, job.cgId);
                          if (key.is("ramBreakdown"))
                              return readNumbers(field, d, job.ramBreakdown, ramBreakdownFields);
                          if (key.is("metrics"))
                              return readNumbers(field, d, job.metrics, metricFields);
                          return skip(field, d);
                      });
}

bool readBudgetJob(od::value value, int depth, std::optional<TaskInfoBudgetJob>& out) {
    return readObject(value, depth, out,
                      [](TaskInfoBudgetJob& job, const Key& key, od::value field, int d) {
                          if (key.is("fresh"))
                              return readNumbers(field, d, job.fresh, budgetKindFields);
                          if (key.is("reused"))
                              return readNumbers(field, d, job.reused, budgetKindFields);
                          return skip(field, d);
                      });
}

bool readBudget(od::value value, int depth, std::optional<TaskInfoBudget>& out) {
    return readObject(value, depth, out,
                      [](TaskInfoBudget& budget, const Key& key, od::value field, int d) {
                          if (key.is("limit"))
                              return readNumber(field, d, budget.limit);
                          if (key.is("reserve"))
                              return readNumber(field, d, budget.reserve);
                          if (key.is("committed"))
                              return readNumber(field, d, budget.committed);
                          if (key.is("jobs"))
                              return readJobMap(field, d, budget.jobs, readBudgetJob);
                          return skip(field, d);
                      });
}

bool readReuse(od::value value, int depth, std::optional<TaskInfoReuse>& out) {
    return readNumbers(value, depth, out, reuseFields);
}

bool readWorkerProcess(od::value value, int depth, std::optional<TaskInfoWorkerProcess>& out) {
    return readObject(value, depth, out,
                      [](TaskInfoWorkerProcess& process, const Key& key, od::value field, int d) {
                          if (key.is("rss"))
                              return readNumber(field, d, process.rss);
                          if (key.is("peakRss"))
                              return readNumber(field, d, process.peakRss);
                          if (key.is("heapUsed"))
                              return readNumber(field, d, process.heapUsed);
                          if (key.is("heapLimit"))
                              return readNumber(field, d, process.heapLimit);
                          if (key.is("budget"))
                              return readBudget(field, d, process.budget);
                          if (key.is("sandboxReuse"))
                              return readJobMap(field, d, process.sandboxReuse, readReuse);
                          return skip(field, d);
                      });
}

bool readRoot(od::object root, TaskInfo& info) {
    return forEachField(root, 1, [&](const Key& key, od::value field, int d) {
        if (key.is("tasks"))
            return readTasks(field, d, info.tasks);
        if (key.is("jobs"))
            return readJobMap(field, d, info.jobs, readJob);
        if (key.is("workerProcess"))
            return readWorkerProcess(field, d, info.workerProcess);
        return skip(field, d);
    });
}

} // namespace

struct TaskInfoParser::State {
    od::parser parser;
    QHash<QByteArray, QString> strings;
    std::vector<char> padded; // the text with simdjson's padding after it

    // Nothing when the text is not exactly one JSON value, or that value not an object.
    QList<qsizetype> plainFeffStrings;

    std::optional<TaskInfo> parse(QByteArrayView json, bool controlsEscaped = false) {
        if (json.startsWith("\xEF\xBB\xBF")) // Qt skips a byte order mark here
            json = json.sliced(3);
        padded.assign(json.begin(), json.end());
        padded.resize(json.size() + simdjson::SIMDJSON_PADDING);
        od::document document;
        const simdjson::error_code error =
            parser.iterate(padded.data(), size_t(json.size()), padded.size()).get(document);
        // simdjson refuses raw control characters in strings, which Qt takes as they are.
        if (error == simdjson::UNESCAPED_CHARS && !controlsEscaped) {
            plainFeffStrings.clear();
            return parse(json_scalars::escapeControlCharacters(json, plainFeffStrings), true);
        }
        od::object root;
        if (error != simdjson::SUCCESS || document.get_object().get(root) != simdjson::SUCCESS)
            return std::nullopt;
        // Bounded by what one document names; a worker that renames its jobs all the
        // time must not grow it forever.
        if (strings.size() > 8192)
            strings.clear();
        t_strings = &strings;
        t_text = padded.data();
        t_plainFeffStrings = controlsEscaped ? &plainFeffStrings : nullptr;
        TaskInfo info;
        const bool ok = readRoot(root, info);
        t_strings = nullptr;
        t_plainFeffStrings = nullptr;
        if (!ok)
            return std::nullopt;
        // Anything after the object is garbage.
        const char* trailing = nullptr;
        if (document.current_location().get(trailing) != simdjson::OUT_OF_BOUNDS)
            return std::nullopt;
        return info;
    }
};

TaskInfoParser::TaskInfoParser()
    : m_state(std::make_unique<State>()) {}

TaskInfoParser::~TaskInfoParser() = default;

std::optional<TaskInfo> TaskInfoParser::parseBody(const QByteArray& body) {
    if (!simdjson::validate_utf8(body.constData(), size_t(body.size())))
        return std::nullopt;
    const qsizetype equals = body.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    QByteArrayView json = QByteArrayView(body).sliced(equals + 1);
    if (json.endsWith(';'))
        json.chop(1);
    return m_state->parse(json);
}

std::optional<TaskInfo> TaskInfoParser::parseJson(QByteArrayView json) {
    if (!simdjson::validate_utf8(json.data(), size_t(json.size())))
        return std::nullopt;
    return m_state->parse(json);
}

} // namespace vxr
