#include "core/diagnostics.h"

#include <QStringList>

#include <cstdio>

namespace vxr {

namespace {
std::function<void(const QString&)>& sink() {
    static std::function<void(const QString&)> current;
    return current;
}
} // namespace

void writeDiagnostic(const QString& line) {
    if (sink()) {
        sink()(line);
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

DiagnosticCapture::DiagnosticCapture()
    : m_previous(sink()) {
    sink() = [this](const QString& line) { m_lines.append(line); };
}

DiagnosticCapture::~DiagnosticCapture() {
    sink() = m_previous;
}

bool DiagnosticCapture::containsPrefix(const QString& prefix) const {
    for (const QString& line : m_lines)
        if (line.startsWith(prefix))
            return true;
    return false;
}

} // namespace vxr
