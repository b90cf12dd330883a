pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// CPU, GPU and RAM of the worker's processes over the last 15 minutes, and the
// network totals since launch. Showing the screen starts the sampler.
Rectangle {
    id: root
    required property MetricsSampler sampler
    color: VXRTheme.bgDeep
    Accessible.role: Accessible.Pane
    Accessible.name: "Metrics"

    // The sampler runs from the first showing on (a second start does nothing).
    Component.onCompleted: sampler.start()

    component Stat: Column {
        property string caption
        property string value
        property bool big: false
        spacing: 4
        Accessible.role: Accessible.StaticText
        Accessible.name: caption + ": " + value
        Text {
            text: parent.caption.toUpperCase()
            color: VXRTheme.textDim
            font.family: "monospace"
            font.pixelSize: 8
            font.letterSpacing: 0.5
        }
        Text {
            text: parent.value
            color: parent.big ? VXRTheme.text : VXRTheme.accentLight
            font.family: "monospace"
            font.pixelSize: parent.big ? 14 : 12
            font.weight: parent.big ? Font.Bold : Font.DemiBold
        }
    }
    component MetricRow: Column {
        id: row
        property string name
        property metricHistory history
        property real cap: 100
        property int format: MetricsText.Percent
        readonly property metricRowTexts stats: MetricsText.stats(history, format)
        width: parent ? parent.width : 0
        spacing: 8
        Row {
            spacing: 16
            Text {
                anchors.bottom: parent.bottom
                text: row.name
                color: VXRTheme.text
                font.family: "monospace"
                font.pixelSize: 20
                font.weight: Font.Black
                font.letterSpacing: 1
            }
            Stat { anchors.bottom: parent.bottom; caption: "Now"; value: row.stats.now; big: true }
            Stat { anchors.bottom: parent.bottom; caption: "Avg"; value: row.stats.avg }
            Stat { anchors.bottom: parent.bottom; caption: "Peak"; value: row.stats.peak }
        }
        SparklineChart {
            width: row.width
            height: 64
            samples: row.history.samples
            cap: row.cap
            Accessible.role: Accessible.Chart
            Accessible.name: row.name + " over the last 15 minutes"
        }
    }
    component NetworkFigure: Row {
        property string caption
        property string iconPath
        property real bytes: 0
        spacing: 5
        Accessible.role: Accessible.StaticText
        Accessible.name: caption + ": " + MetricsText.formatBytes(bytes)
        IconShape {
            anchors.verticalCenter: parent.verticalCenter
            size: 10
            lineWidth: 3
            color: VXRTheme.accent
            path: parent.iconPath
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: parent.caption.toUpperCase()
            color: VXRTheme.textDim
            font.family: "monospace"
            font.pixelSize: 9
            font.bold: true
            font.letterSpacing: 0.5
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: MetricsText.formatBytes(parent.bytes)
            color: VXRTheme.accentLight
            font.family: "monospace"
            font.pixelSize: 13
            font.bold: true
        }
    }

    Rectangle {
        id: divider
        width: parent.width
        height: 1
        color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.15)
    }
    Flickable {
        id: flick
        anchors.top: divider.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        contentHeight: column.implicitHeight + 52
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

        Column {
            id: column
            x: 20
            y: 26
            width: flick.width - 40
            spacing: 32

            MetricRow {
                objectName: "cpuRow"
                name: "CPU"
                history: root.sampler.cpu
                cap: 100
            }
            MetricRow {
                objectName: "gpuRow"
                name: "GPU"
                history: root.sampler.gpu
                cap: 100
            }
            MetricRow {
                objectName: "ramRow"
                name: "RAM"
                history: root.sampler.ram
                cap: MetricsText.ramCap(history)
                format: MetricsText.Gigabytes
            }
            Column {
                spacing: 3
                Row {
                    spacing: 18
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: "NETWORK"
                        color: VXRTheme.text
                        font.family: "monospace"
                        font.pixelSize: 20
                        font.weight: Font.Black
                        font.letterSpacing: 1
                    }
                    NetworkFigure {
                        anchors.verticalCenter: parent.verticalCenter
                        caption: "In"
                        iconPath: "M12 4 V20 M5.5 13.5 L12 20 L18.5 13.5"
                        bytes: root.sampler.bytesIn
                    }
                    NetworkFigure {
                        anchors.verticalCenter: parent.verticalCenter
                        caption: "Out"
                        iconPath: "M12 20 V4 M5.5 10.5 L12 4 L18.5 10.5"
                        bytes: root.sampler.bytesOut
                    }
                }
                Text {
                    text: "Totals since launch, incl. worker module-cache hits."
                    color: VXRTheme.textDim
                    font.family: "monospace"
                    font.pixelSize: 8
                }
            }
        }
    }
}
