#pragma once

#include "app/hud_web_view.h"
#include "controller/worker_controller.h"

#include <QPointer>
#include <QQuickWindow>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;

namespace vxr {

// A window that hosts the content (the tray panel and the detached window): the
// objects it shows, the tab it is on, and what its buttons ask of the shell.
class ContentWindow : public QQuickWindow {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(vxr::WorkerController* controller READ controller CONSTANT)
    Q_PROPERTY(vxr::HUDWebView* hud READ hud CONSTANT)
    Q_PROPERTY(int tab READ tab WRITE setTab NOTIFY tabChanged)

public:
    explicit ContentWindow(QWindow* parent = nullptr);

    // Creates the window of the module's file `fileName` showing controller and hud on
    // tab; null (with the reason written to the diagnostics) when the file fails.
    [[nodiscard]] static ContentWindow* create(QQmlEngine* engine, const QString& fileName,
                                               WorkerController* controller, HUDWebView* hud,
                                               int tab);

    [[nodiscard]] WorkerController* controller() const { return m_controller; }
    [[nodiscard]] HUDWebView* hud() const { return m_hud; }
    // A NavTab's number.
    [[nodiscard]] int tab() const { return m_tab; }
    void setTab(int tab);

signals:
    void tabChanged();
    void quitRequested();
    void detachRequested(int tab);

private:
    QPointer<WorkerController> m_controller;
    QPointer<HUDWebView> m_hud;
    int m_tab = 0;
};

} // namespace vxr
