// Property writes as the control interface receives them from the bus: any property
// name (the interface's own, or any text) with a value of any type a bus variant can
// carry, one after another, against a real controller with no worker installed. A
// refused write changes nothing; an accepted one reads back exactly as written.
#include "app/application_service.h"
#include "app/control_service.h"
#include "controller/controller_environment.h"
#include "controller/worker_controller.h"

#include <QCoreApplication>
#include <QDBusVariant>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct World {
    QTemporaryDir root;
    std::unique_ptr<vxr::WorkerController> controller;
    std::unique_ptr<vxr::ApplicationService> busObject;
    std::unique_ptr<vxr::ControlService> service;
};

World* world = nullptr;

const char* const kNames[] = {"ManualOverride",
                              "IdleRestrictionEnabled",
                              "IdleThresholdMinutes",
                              "EnableWebGPU",
                              "JoinGlobalGroup",
                              "MemoryCapPercent",
                              "YieldToOtherApps",
                              "MemoryHeadroomGB",
                              "MaxSandboxes",
                              "ServiceRunning",
                              "WorkerURL"};

QVariant anyValue(FuzzedDataProvider& input, int depth = 0) {
    switch (input.ConsumeIntegralInRange(0, depth < 2 ? 9 : 7)) {
    case 0:
        return input.ConsumeBool();
    case 1: // every bit pattern: NaN, infinities, subnormals
        return std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>());
    case 2:
        return double(input.ConsumeIntegralInRange(-10, 1000));
    case 3:
        return input.ConsumeIntegral<int>();
    case 4:
        return input.ConsumeIntegral<uint>();
    case 5:
        return input.ConsumeIntegral<qlonglong>();
    case 6:
        return QString::fromStdString(input.ConsumeRandomLengthString(16));
    case 7:
        return QByteArray::fromStdString(input.ConsumeRandomLengthString(16));
    case 8:
        return QVariant::fromValue(QDBusVariant(anyValue(input, depth + 1)));
    default:
        return QVariantList{anyValue(input, depth + 1), anyValue(input, depth + 1)};
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    new QCoreApplication(*argc, *argv);
    world = new World;
    vxr::ControllerEnvironment env;
    env.binDir = world->root.filePath(QStringLiteral("no-worker"));
    env.paths = vxr::AppPaths::underRoot(world->root.path());
    // Nothing listens here: polls fail at once.
    env.statusURL = QUrl(QStringLiteral("http://127.0.0.1:9/hud"));
    env.taskInfoURL = QUrl(QStringLiteral("http://127.0.0.1:9/task-info"));
    env.runInfoURL = QUrl(QStringLiteral("http://127.0.0.1:9/run-info"));
    env.activeProcessors = [] { return 8; };
    env.performanceCores = [] { return 4; };
    world->controller = std::make_unique<vxr::WorkerController>(env);
    const QDBusConnection noBus(QStringLiteral("none"));
    world->busObject = std::make_unique<vxr::ApplicationService>(noBus);
    world->service = std::make_unique<vxr::ControlService>(world->controller.get(),
                                                           world->busObject.get(), noBus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    while (input.remaining_bytes() > 0) {
        const int pick = input.ConsumeIntegralInRange(0, int(std::size(kNames)));
        const QString name = pick < int(std::size(kNames))
                                 ? QString::fromLatin1(kNames[pick])
                                 : QString::fromStdString(input.ConsumeRandomLengthString(24));
        const QVariant value = anyValue(input);
        const QVariantMap before = world->service->properties();
        if (world->service->write(name, value)) {
            if (world->service->properties() != before)
                abort(); // refused, yet something changed
        } else if (world->service->value(name) != value) {
            abort(); // accepted, yet it reads back otherwise
        }
    }
    // Queued work of the setters (no timers: their delays never pass here).
    QCoreApplication::sendPostedEvents();
    return 0;
}
