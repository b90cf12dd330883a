#pragma once

#include "core/envelope.h"
#include "core/timing.h"
#include "worker_interface/local_http.h"
#include "worker_interface/task_info_reader.h"

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

namespace vxr {

// A loop of GET requests against the local service: one request at a time, the
// next one armed only after the previous reply was handled, over a connection kept
// while the loop runs. start() restarts the loop (dropping a request in flight);
// deleting the loop cancels everything.
class LocalPollLoop : public QObject {
    Q_OBJECT
public:
    void start();
    void stop();
    [[nodiscard]] bool isRunning() const;
    [[nodiscard]] QUrl url() const { return m_url; }

protected:
    LocalPollLoop(QUrl url, Timing timing, Millis requestDeadline, QObject* parent);
    // Handles one reply; returns the delay before the next request, or nothing to end.
    virtual std::optional<Millis> handle(const LocalReply& reply) = 0;
    // Runs after the next request was armed (or the loop ended); may delete the loop.
    virtual void publish() {}

    const Timing m_timing;

private:
    void request();

    QUrl m_url;
    Millis m_requestDeadline;
    LocalHttpClient m_http;
    QTimer m_timer;
};

// Waits for the service's HUD page: retries until any HTTP response arrives, then
// emits answered() once and ends.
class StatusPoll final : public LocalPollLoop {
    Q_OBJECT
public:
    StatusPoll(QUrl url, Timing timing, QObject* parent = nullptr);
signals:
    void answered();

protected:
    std::optional<Millis> handle(const LocalReply& reply) override;
    void publish() override;

private:
    bool m_answered = false;
};

// Earnings and account, first at once, then every runInfoInterval. A failed or
// malformed fetch emits nothing.
class RunInfoPoll final : public LocalPollLoop {
    Q_OBJECT
public:
    RunInfoPoll(QUrl url, Timing timing, QObject* parent = nullptr);
signals:
    void fetched(const vxr::RunInfo& info);

protected:
    std::optional<Millis> handle(const LocalReply& reply) override;
    void publish() override;

private:
    std::optional<RunInfo> m_result;
};

// The task-info document, first at once, then every taskInfoInterval. Emits on
// every cycle: the document, or nothing when the fetch or parse failed, and whether
// the body was byte for byte the previous cycle's (then it was not parsed again).
class TaskInfoPoll final : public LocalPollLoop {
    Q_OBJECT
public:
    TaskInfoPoll(QUrl url, Timing timing, QObject* parent = nullptr);
signals:
    void fetched(const std::shared_ptr<const vxr::TaskInfo>& info, bool unchanged);

protected:
    std::optional<Millis> handle(const LocalReply& reply) override;
    void publish() override;

private:
    TaskInfoReader m_reader;
    TaskInfoReader::Result m_result;
};

} // namespace vxr
