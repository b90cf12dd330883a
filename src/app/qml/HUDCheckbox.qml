pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// An 18-point box that shows a check mark when on, followed by the label. Shows
// `value`; a press reports the new value through `edited` and keeps showing `value`
// (a plain checked binding would be cut by the first press).
CheckBox {
    id: control
    property bool value: false
    signal edited(bool value)
    checked: value
    onToggled: {
        edited(checked)
        checked = Qt.binding(() => control.value)
    }
    spacing: 8
    padding: 0
    Accessible.name: text
    // As a click does: report the new value; a disabled box does nothing.
    Accessible.onPressAction: if (control.enabled) control.edited(!control.value)
    Accessible.onToggleAction: if (control.enabled) control.edited(!control.value)
    // Enter as well as Space.
    Keys.onReturnPressed: if (control.enabled) control.edited(!control.value)
    Keys.onEnterPressed: if (control.enabled) control.edited(!control.value)
    font.family: "monospace"
    font.pixelSize: 12

    indicator: Rectangle {
        implicitWidth: 18
        implicitHeight: 18
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: 3
        color: control.checked ? Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.18)
                               : "transparent"
        border.width: 1
        border.color: control.checked ? VXRTheme.accent : VXRTheme.textDim
        FocusRing { shown: control.visualFocus }
        IconShape {
            anchors.centerIn: parent
            visible: control.checked
            size: 14
            lineWidth: 2.2
            color: VXRTheme.accentLight
            path: "M5 12.5 L10 17 L19 7"
        }
    }
    contentItem: Text {
        leftPadding: control.indicator.width + control.spacing
        text: control.text
        font: control.font
        color: VXRTheme.text
        opacity: control.enabled ? 1 : 0.4
        verticalAlignment: Text.AlignVCenter
        wrapMode: Text.WordWrap
    }
}
