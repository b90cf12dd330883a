#include "metrics/metric_history.h"

#include <algorithm>
#include <numeric>

namespace vxr {

void MetricHistory::add(double value) {
    samples.append(value);
    const qsizetype keep = std::max(capacity, 0);
    if (samples.size() > keep)
        samples.remove(0, samples.size() - keep);
}

double MetricHistory::latest() const {
    return samples.isEmpty() ? 0.0 : samples.last();
}

double MetricHistory::average() const {
    if (samples.isEmpty())
        return 0.0;
    return std::accumulate(samples.cbegin(), samples.cend(), 0.0) / double(samples.size());
}

double MetricHistory::peak() const {
    return samples.isEmpty() ? 0.0 : *std::max_element(samples.cbegin(), samples.cend());
}

} // namespace vxr
