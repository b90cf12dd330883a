import QtQuick
import QtWebEngine

// The Logs view: a web view over the worker service's HUD page. User scripts can only
// be added from QML in Qt 6.4; everything it decides is done by HUDWebView in C++.
WebEngineView {
    id: view
    property string themeSource
    signal navigationFailed()
    signal loadBegan()
    signal loadEnded()
    signal logText(int token, string text)

    // No background of its own: the page's (restyled) background shows through.
    backgroundColor: "transparent"
    profile: WebEngineProfile { offTheRecord: true }

    onLoadingChanged: function(request) {
        if (request.status === WebEngineView.LoadStartedStatus)
            loadBegan()
        else if (request.status === WebEngineView.LoadFailedStatus) {
            loadEnded()
            navigationFailed()
        } else
            loadEnded()
    }
    onRenderProcessTerminated: function(status, exitCode) { navigationFailed() }

    function readLog(token) {
        runJavaScript("document.querySelector('#loggerText')?.textContent || ''",
                      function(result) { logText(token, typeof result === "string" ? result : "") })
    }

    Component.onCompleted: {
        let script = WebEngine.script()
        script.name = "vxr-theme"
        script.sourceCode = themeSource
        script.injectionPoint = WebEngineScript.DocumentReady
        script.worldId = WebEngineScript.MainWorld
        script.runsOnSubFrames = false
        userScripts.insert(script)
    }
}
