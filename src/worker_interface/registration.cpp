#include "worker_interface/registration.h"

#include "worker_interface/user_characters.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace vxr {

namespace fs = std::filesystem;

namespace {
QString failureMessage(const QString& output, const char* what, int status) {
    const QString trimmed = output.trimmed();
    if (!trimmed.isEmpty())
        return trimmed;
    return QStringLiteral("%1 failed (exit %2)").arg(QLatin1String(what)).arg(status);
}

QString describe(const std::error_code& error, const fs::path& path) {
    return QStringLiteral("%1: %2").arg(QString::fromStdString(path.string()),
                                        QString::fromStdString(error.message()));
}

// Copies a directory tree into `to`, which must not exist yet.
std::optional<QString> copyTree(const fs::path& from, const fs::path& to) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(from, error);
    if (error)
        return describe(error, from);
    if (!fs::is_directory(status)) {
        // A file or a link: copy it as it is; an existing target is an error here.
        fs::copy(from, to, fs::copy_options::copy_symlinks, error);
        return error ? std::optional(describe(error, to)) : std::nullopt;
    }
    // mkdir fails when the name is taken, which is what makes a second backup within
    // the same second fail instead of merging into the first.
    const auto mode = static_cast<mode_t>(status.permissions() & fs::perms::mask);
    if (::mkdir(to.c_str(), mode | S_IRWXU) != 0)
        return describe(std::error_code(errno, std::generic_category()), to);
    // The error-code increment: a range-for's would throw out of the caller's timer slot
    // on a read error.
    for (fs::directory_iterator it(from, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (auto failure = copyTree(it->path(), to / it->path().filename()))
            return failure;
    }
    return error ? std::optional(describe(error, from)) : std::nullopt;
}
} // namespace

RegistrationStatus ownerCheckResult(int status, const QString& output) {
    static const QRegularExpression lineBreak(
        QStringLiteral("\\r\\n|[\\n\\r\\x{0B}\\x{0C}\\x{85}\\x{2028}\\x{2029}]"));
    const QString line = output.trimmed().split(lineBreak).value(0);
    if (status == 0 && line.startsWith(QLatin1String("0x")) && characterCount(line) > 10)
        return RegistrationStatus::registered(line);
    return RegistrationStatus::notRegistered();
}

std::optional<QString> registrationFailure(int status, const QString& output) {
    if (output.contains(QLatin1String("Registration complete")))
        return std::nullopt;
    return failureMessage(output, "Registration", status);
}

std::optional<RegistrationStatus> resetResult(int status, const QString& output,
                                              const std::optional<QString>& backupError) {
    if (backupError)
        return RegistrationStatus::failed(QStringLiteral("Reset done, but backup failed: ") +
                                          *backupError);
    if (status == 0)
        return std::nullopt;
    return RegistrationStatus::failed(failureMessage(output, "Reset", status));
}

std::optional<QString> backupLocalStorage(const QString& home, const QDateTime& now) {
    const fs::path vxr = fs::path(home.toStdString()) / ".vxr";
    const fs::path source = vxr / "localStorage";
    if (!QFileInfo::exists(QString::fromStdString(source.string())))
        return std::nullopt;

    const QString stamp =
        now.toUTC().toString(Qt::ISODate).replace(QLatin1Char(':'), QLatin1Char('-'));
    const fs::path backups = vxr / "vxr-worker" / "backups";
    std::error_code error;
    fs::create_directories(backups, error);
    if (error)
        return describe(error, backups);
    return copyTree(source, backups / ("localStorage-" + stamp.toStdString()));
}

} // namespace vxr
