pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// A labelled value with small minus and plus buttons in the accent colour. The rules
// (bounds, steps, enablement) come from SettingsRules; a disabled button does nothing.
Item {
    id: root
    property string label
    property string valueText
    property bool canDecrement: true
    property bool canIncrement: true
    signal decrement()
    signal increment()

    implicitHeight: 26
    implicitWidth: 300

    component StepButton: Button {
        id: step
        property string glyph
        implicitWidth: 24
        implicitHeight: 22
        padding: 0
        opacity: enabled ? 1 : 0.3
        Accessible.onPressAction: if (enabled) clicked()
        Keys.onReturnPressed: if (enabled) clicked()
        Keys.onEnterPressed: if (enabled) clicked()
        background: Rectangle {
            FocusRing { shown: step.visualFocus }
            radius: 3
            color: step.down ? Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.25) : "transparent"
            border.width: 1
            border.color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.6)
        }
        contentItem: Text {
            text: step.glyph
            color: VXRTheme.accent
            font.family: "monospace"
            font.pixelSize: 14
            font.bold: true
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    Text {
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        text: root.label
        color: VXRTheme.text
        font.family: "monospace"
        font.pixelSize: 12
    }
    Row {
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8
        StepButton {
            glyph: "−"
            enabled: root.canDecrement
            Accessible.name: "Decrease " + root.label
            onClicked: root.decrement()
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.valueText
            color: VXRTheme.value
            font.family: "monospace"
            font.pixelSize: 12
            font.bold: true
            horizontalAlignment: Text.AlignHCenter
            Accessible.role: Accessible.StaticText
            Accessible.name: root.label + ": " + text
        }
        StepButton {
            glyph: "+"
            enabled: root.canIncrement
            Accessible.name: "Increase " + root.label
            onClicked: root.increment()
        }
    }
}
