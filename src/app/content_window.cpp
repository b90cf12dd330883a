#include "app/content_window.h"

#include "app/hud_web_view.h"
#include "controller/worker_controller.h"
#include "core/diagnostics.h"

#include <QQmlComponent>
#include <QQmlEngine>

namespace vxr {

ContentWindow::ContentWindow(QWindow* parent)
    : QQuickWindow(parent) {}

ContentWindow* ContentWindow::create(QQmlEngine* engine, const QString& fileName,
                                     WorkerController* controller, HUDWebView* hud, int tab) {
    QQmlComponent component(engine, QUrl(QStringLiteral("qrc:/VXR/App/") + fileName));
    QObject* object = component.isError() ? nullptr : component.beginCreate(engine->rootContext());
    auto* window = qobject_cast<ContentWindow*>(object);
    if (!window) {
        writeDiagnostic(fileName + QStringLiteral(": ") + component.errorString().trimmed());
        delete object;
        return nullptr;
    }
    // Before the first evaluation of the bindings, which completeCreate() runs.
    window->m_controller = controller;
    window->m_hud = hud;
    window->m_tab = tab;
    component.completeCreate();
    return window;
}

void ContentWindow::setTab(int tab) {
    if (std::exchange(m_tab, tab) != tab)
        emit tabChanged();
}

} // namespace vxr
