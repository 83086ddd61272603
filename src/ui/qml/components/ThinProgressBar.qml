import QtQuick
import Tersio

// A 4-point capsule track with an accent fill for `value` clamped to 0…1.
Item {
    id: bar

    property real value: 0
    readonly property real fraction: Math.max(0, Math.min(1, value))

    implicitHeight: Theme.progressHeight
    Accessible.role: Accessible.ProgressBar
    Accessible.name: Math.floor(fraction * 100) + "%"

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: Theme.strokeStrong
        opacity: 0.4
    }

    Rectangle {
        objectName: "progressFill"
        width: bar.width * bar.fraction
        height: parent.height
        radius: height / 2
        color: Theme.accent
        visible: width > 0
    }
}
