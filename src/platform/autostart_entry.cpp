#include "platform/autostart_entry.h"

#include "core/atomic_file.h"
#include "core/stored_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vxr::autostart {

namespace {

// One Exec argument: quoted when it holds anything the desktop would split or expand,
// with ", `, $ and \ escaped inside the quotes, then the value's own escaping of \ and
// of line breaks (a raw one would end the line and could add keys to the entry).
QString execArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString text = argument;
    text.replace(u'%', QStringLiteral("%%"));
    const bool quote =
        std::any_of(text.cbegin(), text.cend(), [](QChar c) { return reserved.contains(c); });
    if (quote) {
        QString escaped;
        for (QChar c : text) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                escaped += u'\\';
            escaped += c;
        }
        text = u'"' + escaped + u'"';
    }
    text.replace(u'\\', QStringLiteral("\\\\"));
    text.replace(u'\n', QStringLiteral("\\n"));
    text.replace(u'\r', QStringLiteral("\\r"));
    text.replace(u'\t', QStringLiteral("\\t"));
    return text;
}

} // namespace

QByteArray entryText(const QString& executable) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=VXR Worker\n"
                          "Comment=Start VXR Worker in the tray\n"
                          "Exec=%1 %2\n"
                          "Icon=network.quorbel.vxrworker\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(executable), QLatin1String(kHiddenArgument))
        .toUtf8();
}

bool entryEnabled(const QByteArray& text) {
    bool inMainGroup = false;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || line.startsWith('#') || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "Hidden" && value == "true")
            return false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false")
            return false;
    }
    return true;
}

bool isEnabled(const QString& path) {
    // An entry is a few hundred bytes; more is not ours. Desktop tools may link entries.
    const StoredFile file = readStoredFile(path, 64 * 1024, SymlinkPolicy::follow);
    return file.status == StoredFile::Status::ok && entryEnabled(file.contents);
}

bool setEnabled(const QString& path, const QString& executable, bool on, QString* error) {
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!on) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        return fail(QStringLiteral("Could not remove %1").arg(path));
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("Could not create %1").arg(QFileInfo(path).absolutePath()));
    // Rewritten whole: an entry a settings tool disabled is enabled again.
    if (!writeFileAtomically(path, entryText(executable)))
        return fail(QStringLiteral("Could not write %1").arg(path));
    return true;
}

} // namespace vxr::autostart
