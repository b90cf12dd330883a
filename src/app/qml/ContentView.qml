import QtQuick
import VXR.App

// The main content: the tab bar over the selected screen. Hosted by the tray panel
// and by the detached window, each with its own tab.
Rectangle {
    id: root
    required property WorkerController controller
    required property HUDWebView hud
    property bool detached: false
    required property int tab
    signal tabSelected(int tab)
    signal detachRequested(int tab)
    signal quitRequested()

    implicitWidth: 440
    implicitHeight: 520
    color: VXRTheme.bgDeep

    readonly property bool logsAvailable: ShellRules.logsAvailable(controller.workerURL)

    Connections {
        target: root.controller
        function onWorkerURLChanged() {
            const next = ShellRules.tabAfterWorkerURLChange(root.tab, root.controller.workerURL)
            if (next !== root.tab)
                root.tabSelected(next)
        }
    }

    NavBar {
        id: navBar
        objectName: "navBar"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        tab: root.tab
        logsAvailable: root.logsAvailable
        showDetach: !root.detached
        onTabSelected: (selected) => root.tabSelected(selected)
        onDetach: root.detachRequested(root.tab)
        onQuit: root.quitRequested()
    }

    Loader {
        id: screen
        objectName: "screen"
        anchors.top: navBar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        sourceComponent: [homeScreen, settingsScreen, metricsScreen, jobsScreen, logsScreen, aboutScreen][root.tab]
        onLoaded: fadeIn.restart()
        NumberAnimation {
            id: fadeIn
            target: screen.item
            property: "opacity"
            from: 0
            to: 1
            duration: 150
            easing.type: Easing.InOutQuad
        }
    }

    // Qt 6.4 cannot create a bound component from a Loader (it makes a new context),
    // so this file is not bound and the screens below read the root by id.
    // qmllint disable unqualified
    Component { id: homeScreen; HomeView { controller: root.controller } }
    Component { id: settingsScreen; SettingsView { controller: root.controller } }
    Component { id: metricsScreen; MetricsView { sampler: root.controller.metricsSampler } }
    Component { id: jobsScreen; JobsView { history: root.controller.jobHistory } }
    Component { id: logsScreen; StatusInlineView { hud: root.hud } }
    Component { id: aboutScreen; AboutView { } }
    // qmllint enable unqualified
}
