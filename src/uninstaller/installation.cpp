#include "uninstaller/installation.h"

#include "uninstaller/install_manifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vxr {

namespace {

constexpr qint64 maxDesktopEntrySize = 1 << 20;

// Escapes of a desktop-entry string value: \s \n \t \r \\.
QString unescapeValue(const QString& raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\') || i + 1 == raw.size()) {
            out.append(c);
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case 's':
            out.append(QLatin1Char(' '));
            break;
        case 'n':
            out.append(QLatin1Char('\n'));
            break;
        case 't':
            out.append(QLatin1Char('\t'));
            break;
        case 'r':
            out.append(QLatin1Char('\r'));
            break;
        default:
            out.append(next);
            break;
        }
    }
    return out;
}

// The program of an Exec= command line: the first word, or the first double-quoted
// argument with its backslash escapes resolved.
QString execProgram(const QString& exec) {
    const QString line = exec.trimmed();
    if (!line.startsWith(QLatin1Char('"')))
        return line.section(QLatin1Char(' '), 0, 0);
    QString out;
    for (qsizetype i = 1; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"'))
            return out;
        if (c == QLatin1Char('\\') && i + 1 < line.size())
            out.append(line.at(++i));
        else
            out.append(c);
    }
    return {}; // unterminated quote: not a usable command line
}

bool holdsApp(const QString& dir) {
    return QFileInfo(dir + QLatin1String("/bin/VXRWorker")).isFile();
}

} // namespace

std::optional<QString> installDirFromDesktopEntry(const QByteArray& contents) {
    bool inMainGroup = false;
    QString installDir;
    QString exec;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inMainGroup || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescapeValue(line.mid(eq + 1).trimmed());
        if (key == QLatin1String(installDirKey) && installDir.isEmpty())
            installDir = value;
        else if (key == QLatin1String("Exec") && exec.isEmpty())
            exec = value;
    }
    if (QDir::isAbsolutePath(installDir))
        return QDir::cleanPath(installDir);
    const QString program = QDir::cleanPath(execProgram(exec));
    const QLatin1String suffix("/bin/VXRWorker");
    if (QDir::isAbsolutePath(program) && program.endsWith(suffix)) {
        const QString prefix = program.chopped(suffix.size());
        return prefix.isEmpty() ? QStringLiteral("/") : prefix;
    }
    return std::nullopt;
}

std::optional<Installation> findInstallation(const UninstallerEnvironment& env) {
    if (!env.selfExecutable.isEmpty()) {
        const QFileInfo self(env.selfExecutable);
        const QString prefix = QDir::cleanPath(self.absolutePath() + QLatin1String("/.."));
        const std::optional<QStringList> manifest = readInstallManifest(prefix);
        if (manifest && holdsApp(prefix) &&
            manifest->contains(QLatin1String("bin/") + self.fileName()))
            return Installation{prefix, {}, manifest};
    }
    QStringList applicationDirs{env.dataHome};
    applicationDirs.append(env.dataDirs);
    for (const QString& dataDir : std::as_const(applicationDirs)) {
        const QString entryPath =
            dataDir + QLatin1String("/applications/") + QLatin1String(desktopEntryName);
        QFile entry(entryPath);
        if (entry.size() > maxDesktopEntrySize || !entry.open(QIODevice::ReadOnly))
            continue;
        const std::optional<QString> dir = installDirFromDesktopEntry(entry.readAll());
        if (dir && holdsApp(*dir))
            return Installation{*dir, entryPath, readInstallManifest(*dir)};
    }
    for (const QString& dir : env.fallbackInstallDirs) {
        if (holdsApp(dir))
            return Installation{QDir::cleanPath(dir), {}, readInstallManifest(dir)};
    }
    return std::nullopt;
}

bool isSharedPrefix(const QString& dir, const QString& homeDir) {
    QString path = QFileInfo(dir).canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(dir);
    QString home = QFileInfo(homeDir).canonicalFilePath();
    if (home.isEmpty())
        home = QDir::cleanPath(homeDir);

    static const QStringList systemDirs{
        QStringLiteral("/"),    QStringLiteral("/usr"),  QStringLiteral("/usr/local"),
        QStringLiteral("/opt"), QStringLiteral("/home"), QStringLiteral("/var"),
        QStringLiteral("/srv"), QStringLiteral("/etc"),  QStringLiteral("/app")};
    if (systemDirs.contains(path) || path == home || path == home + QLatin1String("/.local") ||
        home.startsWith(path + QLatin1Char('/')))
        return true;

    // A dedicated installation's bin/ holds only our own programs.
    const QStringList programs =
        QDir(path + QLatin1String("/bin"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& name : programs) {
        if (!name.contains(QLatin1String("vxr"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace vxr
