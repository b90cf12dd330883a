pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// The tab bar: one icon per tab, then detach (when offered) and quit.
Item {
    id: root
    property int tab: ShellRules.homeTab
    property bool logsAvailable: false
    property bool showDetach: true
    signal tabSelected(int tab)
    signal detach()
    signal quit()

    // Ctrl+1…6 switch tabs (Logs only with a page); Ctrl+Q quits through the quit path.
    Instantiator {
        model: ShellRules.tabCount
        delegate: Shortcut {
            required property int index
            sequence: "Ctrl+" + (index + 1)
            enabled: ShellRules.tabEnabled(index, root.logsAvailable)
            onActivated: root.tabSelected(index)
        }
    }
    Shortcut {
        sequence: "Ctrl+Q"
        onActivated: root.quit()
    }

    implicitHeight: 52
    implicitWidth: row.implicitWidth + 28

    Row {
        id: row
        anchors.left: parent.left
        anchors.leftMargin: 14
        anchors.verticalCenter: parent.verticalCenter
        spacing: 14

        Repeater {
            model: ShellRules.tabCount
            NavButton {
                required property int index
                objectName: "navTab" + index
                title: ShellRules.tabTitle(index)
                iconPath: ShellRules.tabIconPath(index)
                accessibleRole: Accessible.PageTab
                checkable: false
                Accessible.checkable: true
                Accessible.checked: root.tab === index
                tint: root.tab === index ? VXRTheme.text : VXRTheme.textDim
                enabled: ShellRules.tabEnabled(index, root.logsAvailable)
                onClicked: root.tabSelected(index)
            }
        }
    }

    Row {
        anchors.right: parent.right
        anchors.rightMargin: 14
        anchors.verticalCenter: parent.verticalCenter
        spacing: 14

        NavButton {
            objectName: "detachButton"
            visible: root.showDetach
            title: "Open in a window"
            iconPath: Icons.detach
            onClicked: root.detach()
        }
        NavButton {
            objectName: "quitButton"
            title: "Quit VXR Worker"
            iconPath: Icons.power
            onClicked: root.quit()
        }
    }
}
