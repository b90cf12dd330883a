#include "app/web_engine_loader.h"

#include <QCoreApplication>
#include <QOpenGLContext>

#include <utility>

QT_BEGIN_NAMESPACE
// Exported by Qt GUI under its public symbol version, declared only in a private header;
// the web engine declares it the same way.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace vxr {

namespace {

QOpenGLContext* sharedContext = nullptr;

void releaseSharedContext() {
    if (QOpenGLContext::globalShareContext() == sharedContext)
        qt_gl_set_global_share_context(nullptr);
    delete std::exchange(sharedContext, nullptr);
}

// What the application object does at its construction when the web engine is linked.
// Without a GL-capable platform (offscreen) there is none, and the web engine starts
// without it.
void makeSharedContext() {
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext;
    context->setFormat(QSurfaceFormat::defaultFormat());
    if (!context->create()) {
        delete context;
        return;
    }
    sharedContext = context;
    qt_gl_set_global_share_context(context);
    qAddPostRoutine(releaseSharedContext);
    // Qt::AA_ShareOpenGLContexts is left unset: set now, it only earns a warning.
}

} // namespace

void prepareWebEngine() {
    static bool prepared = false;
    if (!std::exchange(prepared, true))
        makeSharedContext();
}

} // namespace vxr
