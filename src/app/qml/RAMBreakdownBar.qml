pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// What a job's memory peak was made of: a stacked bar and its legend.
Column {
    id: root
    // The job list model's JobCardPart list.
    property var parts: []
    spacing: 5

    readonly property var colors: JobsText.barColors(parts)

    SegmentedBar {
        objectName: "breakdownBar"
        width: root.width
        height: 7
        radius: 2
        spacing: 1
        widths: JobsText.barWidths(root.parts, width)
        colors: root.colors
        Accessible.role: Accessible.Graphic
        Accessible.name: "Memory breakdown"
    }
    FlowLegend {
        width: root.width
        parts: root.parts
        colors: root.colors
    }
}
