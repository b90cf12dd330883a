pragma ComponentBehavior: Bound
import QtQuick
import QtWebEngine
import VXR.App

// The Logs view: a web view over the worker service's HUD page. User scripts can only
// be added from QML in Qt 6.4; everything it decides is done by its host in C++.
WebEngineView {
    id: view
    required property HUDWebView host

    // Fills whichever container the host moved it into.
    width: parent ? parent.width : 0
    height: parent ? parent.height : 0
    // No background of its own: the page's (restyled) background shows through.
    backgroundColor: "transparent"
    profile: WebEngineProfile { offTheRecord: true }

    onLoadingChanged: function(request) {
        if (request.status === WebEngineView.LoadStartedStatus) {
            view.host.reportLoadStarted()
            return
        }
        view.host.reportLoadFinished()
        if (request.status === WebEngineView.LoadFailedStatus)
            view.host.reportNavigationFailed()
    }
    onRenderProcessTerminated: view.host.reportNavigationFailed()

    Connections {
        target: view.host
        function onLoadRequested(url: url) { view.url = url }
        function onStopRequested() { view.stop() }
        function onLogTextRequested(token: int) {
            view.runJavaScript("document.querySelector('#loggerText')?.textContent || ''",
                               function(result) {
                                   view.host.reportLogText(token, typeof result === "string" ? result : "")
                               })
        }
    }

    Component.onCompleted: {
        let script = WebEngine.script()
        script.name = "vxr-theme"
        script.sourceCode = view.host.themeScript
        script.injectionPoint = WebEngineScript.DocumentReady
        script.worldId = WebEngineScript.MainWorld
        script.runsOnSubFrames = false
        userScripts.insert(script)
    }
}
