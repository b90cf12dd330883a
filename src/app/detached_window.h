#pragma once

#include "app/content_window.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

class QQmlEngine;

namespace vxr {

class HUDWebView;
class SettingsStore;
class WorkerController;

// The one ordinary window the content can be moved into. Created on demand; its
// content is dropped when it closes and the next show() makes a new one. Its frame
// is kept in the settings store under "VXRWorkerDetached".
class DetachedWindow : public QObject {
    Q_OBJECT

public:
    static constexpr char frameKey[] = "VXRWorkerDetached";

    DetachedWindow(QQmlEngine* engine, WorkerController* controller, HUDWebView* hud,
                   SettingsStore* settings, QObject* parent = nullptr);
    ~DetachedWindow() override;

    // Shows the window (creating it if needed) on the given tab and raises it.
    void show(int tab);
    void close();
    [[nodiscard]] ContentWindow* window() const { return m_window; }

    // "x y width height"; nullopt-like empty rect when the text is not a frame.
    [[nodiscard]] static QRect parseFrame(const QString& text);
    [[nodiscard]] static QString frameText(const QRect& frame);

signals:
    void quitRequested();
    void windowClosed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void saveFrameSoon();
    void saveFrame();
    void onClosing();
    void create(int tab);

    QQmlEngine* m_engine;
    QPointer<WorkerController> m_controller;
    QPointer<HUDWebView> m_hud;
    SettingsStore* m_settings;
    QPointer<ContentWindow> m_window;
    // Moving and resizing report every step; the store is written once they settle.
    QTimer m_saveTimer;
};

} // namespace vxr
