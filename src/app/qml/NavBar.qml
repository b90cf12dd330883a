import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// The tab bar: one icon per tab, then detach (when offered) and quit.
Item {
    id: root
    property int tab: ShellRules.Home
    property bool logsAvailable: false
    property bool showDetach: true
    signal tabSelected(int tab)
    signal detach()
    signal quit()

    implicitHeight: 52
    implicitWidth: row.implicitWidth + 28

    Row {
        id: row
        anchors.left: parent.left
        anchors.leftMargin: 14
        anchors.verticalCenter: parent.verticalCenter
        spacing: 14

        Repeater {
            model: 6
            NavButton {
                required property int index
                objectName: "navTab" + index
                title: ShellRules.tabTitle(index)
                iconPath: Icons.tabs[index]
                accessibleRole: Accessible.PageTab
                checkable: false
                Accessible.checkable: true
                Accessible.checked: root.tab === index
                tint: root.tab === index ? VXRTheme.text : VXRTheme.textDim
                enabled: index !== ShellRules.Logs || root.logsAvailable
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
