pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// A grid of 1-pixel lines that drifts one cell along both axes per period. It moves
// in whole-pixel steps from a timer rather than an animation, so the window only
// redraws when a line actually moves, and not at all while the window is hidden.
Rectangle {
    id: root
    property int cell: 40
    property int periodMs: 20000
    readonly property bool windowShown: visible && Window.visibility !== Window.Hidden
                                        && Window.visibility !== Window.Minimized
    property int offset: 0

    color: VXRTheme.bgDeep
    clip: true

    Timer {
        running: root.windowShown
        repeat: true
        interval: root.periodMs / root.cell
        onTriggered: root.offset = (root.offset + 1) % root.cell
    }

    Item {
        x: root.offset - root.cell
        y: root.offset - root.cell
        width: root.width + 2 * root.cell
        height: root.height + 2 * root.cell

        Repeater {
            model: Math.ceil(parent.width / root.cell) + 1
            Rectangle {
                required property int index
                x: index * root.cell
                width: 1
                height: parent.height
                color: VXRTheme.gridLine
            }
        }
        Repeater {
            model: Math.ceil(parent.height / root.cell) + 1
            Rectangle {
                required property int index
                y: index * root.cell
                height: 1
                width: parent.width
                color: VXRTheme.gridLine
            }
        }
    }
}
