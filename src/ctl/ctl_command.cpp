#include "ctl/ctl_command.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace vxr::ctl {

const QList<PropertyInfo>& properties() {
    static const QList<PropertyInfo> table{
        {"ServiceRunning", 'b', false},
        {"EvaluatorRunning", 'b', false},
        {"Stopping", 'b', false},
        {"IdleSeconds", 'd', false},
        {"IdleDetection", 's', false},
        {"OnBattery", 'b', false},
        {"WorkerURL", 's', false},
        {"TotalEarnings", 'd', false},
        {"EarningsAccount", 's', false},
        {"RegistrationStatus", 's', false},
        {"ThrottleNotice", 's', false},
        {"ManualOverride", 'b', true},
        {"IdleRestrictionEnabled", 'b', true},
        {"IdleThresholdMinutes", 'd', true},
        {"EnableWebGPU", 'b', true},
        {"JoinGlobalGroup", 'b', true},
        {"MemoryCapPercent", 'd', true},
        {"YieldToOtherApps", 'b', true},
        {"MemoryHeadroomGB", 'd', true},
        {"MaxSandboxes", 'i', true},
    };
    return table;
}

const PropertyInfo* findProperty(const QString& name) {
    for (const PropertyInfo& property : properties())
        if (name.compare(QLatin1String(property.name), Qt::CaseInsensitive) == 0)
            return &property;
    return nullptr;
}

std::optional<Command> parseArguments(const QStringList& arguments) {
    QStringList words;
    bool json = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--json"))
            json = true;
        else if (argument.startsWith(QLatin1String("--")) || argument == QLatin1String("-h"))
            return std::nullopt; // also --help: the usage text it asks for
        else
            words.append(argument);
    }
    if (words.isEmpty())
        return std::nullopt;

    struct Verb {
        const char* word;
        Action action;
        qsizetype operands;
    };
    static constexpr Verb verbs[] = {
        {"status", Action::status, 0},
        {"start", Action::start, 0},
        {"stop", Action::stop, 0},
        {"toggle", Action::toggle, 0},
        {"quit", Action::quit, 0},
        {"show", Action::show, 0},
        {"get", Action::get, 1},
        {"set", Action::set, 2},
        {"register", Action::registerKey, 1},
        {"watch", Action::watch, 0},
    };
    for (const Verb& verb : verbs) {
        if (words.first() != QLatin1String(verb.word))
            continue;
        if (words.size() != verb.operands + 1)
            return std::nullopt;
        // Only status and watch print values; --json elsewhere is a mistake.
        if (json && verb.action != Action::status && verb.action != Action::watch)
            return std::nullopt;
        Command command{verb.action, json, {}, {}};
        if (verb.action == Action::get || verb.action == Action::set) {
            const PropertyInfo* property = findProperty(words[1]);
            if (!property)
                return std::nullopt;
            command.name = QLatin1String(property->name);
            if (verb.action == Action::set)
                command.value = words[2];
        } else if (verb.action == Action::registerKey) {
            command.value = words[1];
        }
        return command;
    }
    return std::nullopt;
}

QString usageText() {
    QString names;
    for (const PropertyInfo& property : properties())
        names += QStringLiteral("  %1%2\n")
                     .arg(QLatin1String(property.name), -24)
                     .arg(property.writable ? QStringLiteral("(settable)") : QString());
    return QStringLiteral(
               "Usage: vxr-worker-ctl COMMAND\n"
               "Controls the running VXR Worker app.\n\n"
               "  status [--json]     every property, one per line (or one JSON object)\n"
               "  start | stop        start or stop compute, like the Start/Stop button\n"
               "  toggle              flip between the two\n"
               "  show | quit         show the app's window, or quit the app\n"
               "  get NAME            print one property\n"
               "  set NAME VALUE      change a setting, within the Settings screen's bounds\n"
               "  register KEY        register this computer with a key\n"
               "  watch [--json]      print each change until interrupted\n\n"
               "Properties:\n") +
           names +
           QStringLiteral("\nExit status: 0 done, 1 app not running or value refused, "
                          "2 usage error.\n");
}

std::optional<QVariant> parseValue(const PropertyInfo& property, const QString& text) {
    bool ok = false;
    switch (property.type) {
    case 'b': {
        const QString word = text.toLower();
        for (const char* yes : {"true", "yes", "on", "1"})
            if (word == QLatin1String(yes))
                return QVariant(true);
        for (const char* no : {"false", "no", "off", "0"})
            if (word == QLatin1String(no))
                return QVariant(false);
        return std::nullopt;
    }
    case 'd': {
        const double number = QLocale::c().toDouble(text, &ok);
        return ok ? std::optional(QVariant(number)) : std::nullopt;
    }
    case 'i': {
        const int number = QLocale::c().toInt(text, &ok);
        return ok ? std::optional(QVariant(number)) : std::nullopt;
    }
    default:
        return QVariant(text);
    }
}

QString formatValue(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return value.toString();
    }
}

QString statusText(const QVariantMap& values) {
    QStringList order;
    for (const PropertyInfo& property : properties())
        order.append(QLatin1String(property.name));
    for (const QString& name : values.keys())
        if (!order.contains(name))
            order.append(name);
    QString text;
    for (const QString& name : order) {
        if (!values.contains(name))
            continue;
        const QString value = formatValue(values.value(name));
        text += QStringLiteral("%1 %2\n").arg(name, -23).arg(value.isEmpty() ? QStringLiteral("-")
                                                                             : value);
    }
    return text;
}

QByteArray jsonText(const QVariantMap& values, bool indented) {
    return QJsonDocument(QJsonObject::fromVariantMap(values))
        .toJson(indented ? QJsonDocument::Indented : QJsonDocument::Compact);
}

} // namespace vxr::ctl
