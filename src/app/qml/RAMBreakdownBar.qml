import QtQuick
import VXR.App

// What a job's memory peak was made of: a stacked bar and its legend.
Column {
    id: root
    // The job list model's JobCardPart list; color is a JobsText.PartColor.
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

    SegmentedBar {
        objectName: "breakdownBar"
        width: root.width
        height: 7
        radius: 2
        spacing: 1
        widths: JobsText.barWidths(root.parts, width)
        colors: root.parts.map(p => root.colorOf(p.color))
        Accessible.role: Accessible.Graphic
        Accessible.name: "Memory breakdown"
    }
    FlowLegend {
        width: root.width
        items: root.parts.map(p => ({ name: p.name, value: p.value, color: root.colorOf(p.color) }))
    }
}
