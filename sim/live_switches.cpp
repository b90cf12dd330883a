#include "live_switches.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace vxr::sim {

LiveSwitches parseLiveSwitches(const QByteArray& text) {
    LiveSwitches switches;
    for (const QByteArray& word : text.simplified().split(' ')) {
        switches.garbage |= word == "garbage";
        switches.oversized |= word == "oversized";
        switches.flood |= word == "flood";
    }
    return switches;
}

LiveSwitches readLiveSwitches(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? parseLiveSwitches(file.read(4096)) : LiveSwitches{};
}

QString describe(const LiveSwitches& switches) {
    QStringList on;
    if (switches.garbage)
        on.append(QStringLiteral("garbage"));
    if (switches.oversized)
        on.append(QStringLiteral("oversized"));
    if (switches.flood)
        on.append(QStringLiteral("flood"));
    return on.isEmpty() ? QStringLiteral("none") : on.join(QLatin1Char(' '));
}

const QByteArray& oversizedBody() {
    static const QByteArray body = [] {
        QByteArray text("taskInfo={\"tasks\":[],\"padding\":\"");
        text.append(kOversizedBytes - text.size() - 3, 'x');
        return text.append("\"};");
    }();
    return body;
}

const QByteArray& oversizedBodyChunked() {
    static const QByteArray body = [] {
        constexpr qsizetype chunk = 256 * 1024;
        const QByteArray& whole = oversizedBody();
        QByteArray coded;
        coded.reserve(whole.size() + whole.size() / chunk * 16 + 16);
        for (qsizetype at = 0; at < whole.size(); at += chunk) {
            const QByteArrayView piece =
                QByteArrayView(whole).sliced(at, std::min(chunk, whole.size() - at));
            coded.append(QByteArray::number(piece.size(), 16)).append("\r\n");
            coded.append(piece).append("\r\n");
        }
        return coded.append("0\r\n\r\n");
    }();
    return body;
}

QByteArray floodLines(qint64 tick) {
    constexpr qsizetype lineBytes = 128;
    QByteArray lines;
    lines.reserve(kFloodBytesPerTick);
    for (qint64 n = 0; lines.size() + lineBytes <= kFloodBytesPerTick; ++n) {
        QByteArray line = "flood " + QByteArray::number(tick) + '.' + QByteArray::number(n) + ' ';
        line.append(lineBytes - 1 - line.size(), '.').append('\n');
        lines.append(line);
    }
    return lines;
}

} // namespace vxr::sim
