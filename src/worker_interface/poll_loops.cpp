#include "worker_interface/poll_loops.h"

namespace vxr {

LocalPollLoop::LocalPollLoop(QUrl url, Timing timing, Millis requestDeadline, QObject* parent)
    : QObject(parent)
    , m_timing(timing)
    , m_url(std::move(url))
    , m_requestDeadline(requestDeadline) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LocalPollLoop::request);
}

void LocalPollLoop::start() {
    stop();
    request();
}

void LocalPollLoop::stop() {
    m_timer.stop();
    m_http.close();
}

bool LocalPollLoop::isRunning() const {
    return m_http.busy() || m_timer.isActive();
}

void LocalPollLoop::request() {
    m_http.get(m_url, m_requestDeadline, [this](const LocalReply& reply) {
        if (const std::optional<Millis> next = handle(reply))
            m_timer.start(*next);
        else
            m_http.close(); // the loop has ended: no connection kept for it
        publish();          // last: a receiver may delete this loop
    });
}

StatusPoll::StatusPoll(QUrl url, Timing timing, QObject* parent)
    : LocalPollLoop(std::move(url), timing, timing.statusRequestTimeout, parent) {}

std::optional<Millis> StatusPoll::handle(const LocalReply& reply) {
    m_answered = reply.answered;
    if (m_answered)
        return std::nullopt;
    return m_timing.statusRetryInterval;
}

void StatusPoll::publish() {
    if (m_answered)
        emit answered();
}

RunInfoPoll::RunInfoPoll(QUrl url, Timing timing, QObject* parent)
    : LocalPollLoop(std::move(url), timing, timing.localRequestDeadline, parent) {}

std::optional<Millis> RunInfoPoll::handle(const LocalReply& reply) {
    m_result = reply.body ? parseRunInfo(*reply.body) : std::nullopt;
    return m_timing.runInfoInterval;
}

void RunInfoPoll::publish() {
    if (m_result)
        emit fetched(*m_result);
}

TaskInfoPoll::TaskInfoPoll(QUrl url, Timing timing, QObject* parent)
    : LocalPollLoop(std::move(url), timing, timing.localRequestDeadline, parent) {}

std::optional<Millis> TaskInfoPoll::handle(const LocalReply& reply) {
    m_result = m_reader.read(reply.body);
    return m_timing.taskInfoInterval;
}

void TaskInfoPoll::publish() {
    emit fetched(m_result.info, m_result.unchanged);
}

} // namespace vxr
