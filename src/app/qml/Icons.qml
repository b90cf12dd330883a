pragma Singleton
import QtQuick

// Line icons on a 24 × 24 grid, stroked in the theme's colours.
QtObject {
    readonly property var tabs: [
        "M3 11 L12 3.5 L21 11 M5.5 9 V20.5 H10 V15 H14 V20.5 H18.5 V9",
        "M12 8.8 A3.2 3.2 0 1 0 12 15.2 A3.2 3.2 0 1 0 12 8.8 Z M12 5.5 A6.5 6.5 0 1 0 12 18.5 A6.5 6.5 0 1 0 12 5.5 Z M12 2 V5.5 M12 18.5 V22 M2 12 H5.5 M18.5 12 H22 M4.9 4.9 L7.4 7.4 M16.6 16.6 L19.1 19.1 M4.9 19.1 L7.4 16.6 M16.6 7.4 L19.1 4.9",
        "M3.5 3 V20.5 H21 M6.5 16 L10.5 10.5 L14 13.5 L20 5.5",
        "M3 4.5 H21 V19.5 H3 Z M6.5 9 H8 M10.5 9 H17.5 M6.5 12 H8 M10.5 12 H17.5 M6.5 15 H8 M10.5 15 H17.5",
        "M3 4.5 H21 V19.5 H3 Z M6.5 9 L9.5 12 L6.5 15 M11.5 15 H17",
        "M12 2.5 A9.5 9.5 0 1 0 12 21.5 A9.5 9.5 0 1 0 12 2.5 Z M12 10.5 V17 M12 7 V7.6"
    ]
    readonly property string detach: "M8 3.5 H21 V14.5 H8 Z M8 7 H21 M4.5 8 V20.5 H16.5 V17.5"
    readonly property string power: "M12 3 V11.5 M7.2 6.2 A7.5 7.5 0 1 0 16.8 6.2"
    readonly property string throttle: "M10 6 A7 7 0 1 0 10 20 A7 7 0 1 0 10 6 Z M10 9.5 V13 L12.5 14.5 M20 3.5 V9 M20 12 V12.5"
}
