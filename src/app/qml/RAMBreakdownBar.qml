import QtQuick
import VXR.App

// What a job's memory peak was made of: a stacked bar and its legend.
Column {
    id: root
    // [{name, value, bytes, color}] from JobsText.card(); color is a JobsText.PartColor.
    property var parts: []
    spacing: 5

    function colorOf(part) {
        switch (part) {
        case JobsText.AccentLight: return VXRTheme.accentLight
        case JobsText.Accent: return VXRTheme.accent
        case JobsText.Value: return VXRTheme.value
        case JobsText.TextDim: return VXRTheme.textDim
        default: return Qt.rgba(VXRTheme.text.r, VXRTheme.text.g, VXRTheme.text.b, 0.18)
        }
    }

    Item {
        width: root.width
        height: 7
        clip: true
        readonly property var widths: JobsText.barWidths(root.parts, width)
        Accessible.role: Accessible.Graphic
        Accessible.name: "Memory breakdown"
        Row {
            spacing: 1
            Repeater {
                model: root.parts
                Rectangle {
                    required property var modelData
                    required property int index
                    width: parent.parent.widths[index] || 1
                    height: 7
                    color: root.colorOf(modelData.color)
                }
            }
        }
    }
    FlowLegend {
        width: root.width
        items: root.parts.map(p => ({ name: p.name, value: p.value, color: root.colorOf(p.color) }))
    }
}
