#pragma once

#include <QList>
#include <QMetaType>

namespace vxr {

// A fixed-length series of samples, oldest first. Replaced as a whole value on every
// add, which is what makes a bound screen redraw.
struct MetricHistory {
    Q_GADGET
    Q_PROPERTY(QList<double> samples MEMBER samples)
    Q_PROPERTY(int capacity MEMBER capacity)
    Q_PROPERTY(double latest READ latest)
    Q_PROPERTY(double average READ average)
    Q_PROPERTY(double peak READ peak)

public:
    static constexpr int defaultCapacity = 450; // 15 minutes of 2-second samples

    QList<double> samples;
    int capacity = defaultCapacity;

    MetricHistory() = default;
    explicit MetricHistory(int capacity)
        : capacity(capacity) {}

    // Appends the value, then drops the oldest ones beyond the capacity.
    void add(double value);

    // The newest sample, the mean and the largest; 0 for an empty history.
    [[nodiscard]] double latest() const;
    [[nodiscard]] double average() const;
    [[nodiscard]] double peak() const;

    bool operator==(const MetricHistory&) const = default;
};

} // namespace vxr

Q_DECLARE_METATYPE(vxr::MetricHistory)
