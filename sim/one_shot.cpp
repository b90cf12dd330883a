#include "one_shot.h"

#include "worker_state.h"

namespace vxr::sim {

namespace {

int showThrottle(const SimConfig& config, QTextStream& out) {
    if (!config.throttle) {
        out << "throttle: none\n";
        return 0;
    }
    out << "throttle:\n";
    out << "  schedule: '" << config.throttle->schedule << "'\n";
    if (!config.throttle->timezone.isEmpty())
        out << "  timezone: '" << config.throttle->timezone << "'\n";
    return 0;
}

int showOwner(QTextStream& out, QTextStream& err) {
    const auto owner = registeredOwner();
    if (!owner) {
        err << "This worker is not registered to an account.\n";
        return 1;
    }
    out << *owner << "\n";
    return 0;
}

int registerKey(const QString& key, const SimConfig& config, QTextStream& out, QTextStream& err) {
    if (!isWellFormedKey(key)) {
        err << "Error: invalid registration key: expected 32 to 64 hexadecimal digits or a "
               "UUID.\n";
        return 2;
    }
    const QString id = workerId();
    out << "Registering worker " << id << " ...\n";
    out.flush();
    if (config.mismatchKeys.contains(key, Qt::CaseInsensitive)) {
        err << "Error: identity mismatch: worker " << id
            << " is bound to a different account than this key. Reset the worker ID, then "
               "register again.\n";
        return 1;
    }
    const QString owner = ownerForKey(key);
    if (!saveOwner(owner)) {
        err << "Error: cannot write " << localStoragePath() << "\n";
        return 1;
    }
    out << "Registration complete. Earnings will be deposited to " << owner << ".\n";
    return 0;
}

int reset(QTextStream& out, QTextStream& err) {
    const QString id = resetIdentity();
    if (id.isEmpty()) {
        err << "Error: cannot write " << localStoragePath() << "\n";
        return 1;
    }
    out << "Worker identity reset. New worker ID: " << id << "\n";
    return 0;
}

} // namespace

bool oneShotHangs(const QString& argument) {
    QString name;
    if (argument.startsWith(QLatin1String("--show=")))
        name = argument.mid(7);
    else if (argument.startsWith(QLatin1String("--register=")))
        name = QStringLiteral("register");
    else if (argument == QLatin1String("--reset"))
        name = QStringLiteral("reset");
    return !name.isEmpty() && envNamesProgram("VXR_SIM_HANG_ONESHOT", name);
}

std::optional<int> runOneShotCommand(const QString& argument, const SimConfig& config,
                                     QTextStream& out, QTextStream& err) {
    if (argument == QLatin1String("--show=throttle"))
        return showThrottle(config, out);
    if (argument == QLatin1String("--show=owner"))
        return showOwner(out, err);
    if (argument.startsWith(QLatin1String("--register=")))
        return registerKey(argument.mid(int(qstrlen("--register="))), config, out, err);
    if (argument == QLatin1String("--reset"))
        return reset(out, err);
    return std::nullopt;
}

} // namespace vxr::sim
