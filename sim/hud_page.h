#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <vector>

namespace vxr::sim {

using HudFigures = std::vector<std::array<QString, 3>>;

// The last lines of the service's log, numbered so the page can ask for what is new.
class LogBook {
public:
    explicit LogBook(int capacity = 500)
        : m_capacity(capacity) {}
    void append(const QString& line);
    // Lines numbered above `after`, and the number of the newest line.
    [[nodiscard]] QStringList linesAfter(qint64 after, qint64* newest) const;

private:
    int m_capacity;
    qint64 m_next = 1;
    std::deque<QString> m_lines;
};

// The page: `#logBlocker` with the figures table, `#loggerText` that reads
// "connecting…" until its script has fetched the log once.
[[nodiscard]] QByteArray hudPageHtml(const HudFigures& figures);

// What the page's script polls: the figures and the new log lines.
[[nodiscard]] QJsonObject hudStatus(const HudFigures& figures, const LogBook& log, qint64 after);

} // namespace vxr::sim
