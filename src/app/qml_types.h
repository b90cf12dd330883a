#pragma once

// The types of the layers below as the QML module knows them, so that screens declare
// properties of real types and qmllint checks every access against them.

#include "app/hud_web_view.h"
#include "controller/worker_controller.h"
#include "jobs/job_card.h"
#include "jobs/job_history.h"
#include "jobs/job_list_model.h"
#include "jobs/jobs_screen_logic.h"
#include "memory/memory_governor.h"
#include "memory/memory_limit.h"
#include "metrics/metric_history.h"
#include "metrics/metrics_sampler.h"
#include "worker_interface/registration.h"
#include "worker_interface/sandbox_list_model.h"

#include <QtQml/qqmlregistration.h>

namespace vxr::qml {

struct WorkerControllerType {
    Q_GADGET
    QML_FOREIGN(vxr::WorkerController)
    QML_NAMED_ELEMENT(WorkerController)
    QML_UNCREATABLE("The application creates the one controller.")
};

struct MemoryGovernorType {
    Q_GADGET
    QML_FOREIGN(vxr::MemoryGovernor)
    QML_NAMED_ELEMENT(MemoryGovernor)
    QML_UNCREATABLE("Owned by the controller.")
};

struct MetricsSamplerType {
    Q_GADGET
    QML_FOREIGN(vxr::MetricsSampler)
    QML_NAMED_ELEMENT(MetricsSampler)
    QML_UNCREATABLE("Owned by the controller.")
};

struct JobHistoryType {
    Q_GADGET
    QML_FOREIGN(vxr::JobHistory)
    QML_NAMED_ELEMENT(JobHistory)
    QML_UNCREATABLE("Owned by the controller.")
};

struct JobListModelType {
    Q_GADGET
    QML_FOREIGN(vxr::JobListModel)
    QML_NAMED_ELEMENT(JobListModel)
    QML_UNCREATABLE("Owned by the job history.")
};

struct SandboxListModelType {
    Q_GADGET
    QML_FOREIGN(vxr::SandboxListModel)
    QML_NAMED_ELEMENT(SandboxListModel)
    QML_UNCREATABLE("Owned by the controller.")
};

struct HUDWebViewType {
    Q_GADGET
    QML_FOREIGN(vxr::HUDWebView)
    QML_NAMED_ELEMENT(HUDWebView)
    QML_UNCREATABLE("The application creates the one web view.")
};

struct MetricHistoryType {
    Q_GADGET
    QML_FOREIGN(vxr::MetricHistory)
    QML_VALUE_TYPE(metricHistory)
};

struct MemoryReadingType {
    Q_GADGET
    QML_FOREIGN(vxr::MemoryReading)
    QML_VALUE_TYPE(memoryReading)
};

struct RegistrationStatusType {
    Q_GADGET
    QML_FOREIGN(vxr::RegistrationStatus)
    QML_VALUE_TYPE(registrationStatus)
};

struct JobCardCellType {
    Q_GADGET
    QML_FOREIGN(vxr::JobCardCell)
    QML_VALUE_TYPE(jobCardCell)
};

struct JobCardPartType {
    Q_GADGET
    QML_FOREIGN(vxr::JobCardPart)
    QML_VALUE_TYPE(jobCardPart)
};

struct ProcessRowType {
    Q_GADGET
    QML_FOREIGN(vxr::jobs_screen::ProcessRow)
    QML_VALUE_TYPE(processRow)
};

} // namespace vxr::qml
