#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vxr {

// One diagnostic line on standard output (no levels, no prefixes).
void writeDiagnostic(const QString& line);

// Tests capture diagnostics by installing a sink; the previous sink comes back when
// the capture ends. GUI thread only.
class DiagnosticCapture {
public:
    DiagnosticCapture();
    ~DiagnosticCapture();
    DiagnosticCapture(const DiagnosticCapture&) = delete;
    DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

    [[nodiscard]] const QStringList& lines() const { return m_lines; }
    [[nodiscard]] int count(const QString& line) const { return int(m_lines.count(line)); }
    [[nodiscard]] bool containsPrefix(const QString& prefix) const;
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
    std::function<void(const QString&)> m_previous;
};

} // namespace vxr
