pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// A plain icon button of the tab bar, with its title as tooltip.
Button {
    id: control
    property string iconPath
    property color tint: VXRTheme.textDim
    property string title
    property int accessibleRole: Accessible.Button

    implicitWidth: 34
    implicitHeight: 34
    padding: 0
    focusPolicy: Qt.TabFocus
    opacity: enabled ? 1 : 0.35

    Accessible.role: accessibleRole
    Accessible.name: title
    Accessible.onPressAction: if (control.enabled) control.clicked()

    Keys.onReturnPressed: if (control.enabled) control.clicked()
    Keys.onEnterPressed: if (control.enabled) control.clicked()
    background: Item {
        Rectangle {
            anchors.fill: parent
            radius: 6
            color: VXRTheme.accent
            opacity: control.down ? 0.2 : (control.hovered || control.visualFocus ? 0.1 : 0)
        }
        FocusRing { shown: control.visualFocus }
    }
    contentItem: Item {
        IconShape {
            anchors.centerIn: parent
            path: control.iconPath
            color: control.tint
            size: 20
            Behavior on color { ColorAnimation { duration: 150; easing.type: Easing.InOutQuad } }
        }
    }

    VXRToolTip {
        visible: control.hovered && control.title !== ""
        text: control.title
    }
}
