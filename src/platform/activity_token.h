#pragma once

#include <QString>

namespace vxr {

// Held while the evaluator runs. Linux desktops do not throttle background apps, so
// there is nothing to opt out of: beginning and ending an activity does nothing. The
// type keeps the place where a desktop that does throttle would hook in.
class ActivityToken {
public:
    static ActivityToken begin(const QString& reason) { return ActivityToken(reason); }
    [[nodiscard]] const QString& reason() const { return m_reason; }

private:
    explicit ActivityToken(QString reason)
        : m_reason(std::move(reason)) {}
    QString m_reason;
};

} // namespace vxr
