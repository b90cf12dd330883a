pragma Singleton
pragma ComponentBehavior: Bound
import QtQuick

// Line icons on a 24 × 24 grid, stroked in the theme's colours.
QtObject {
    readonly property string detach: "M8 3.5 H21 V14.5 H8 Z M8 7 H21 M4.5 8 V20.5 H16.5 V17.5"
    readonly property string power: "M12 3 V11.5 M7.2 6.2 A7.5 7.5 0 1 0 16.8 6.2"
    readonly property string throttle: "M10 6 A7 7 0 1 0 10 20 A7 7 0 1 0 10 6 Z M10 9.5 V13 L12.5 14.5 M20 3.5 V9 M20 12 V12.5"
}
