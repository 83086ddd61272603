import QtQuick
import Tersio

// Drawn around a control while it has keyboard focus.
Rectangle {
    property real cornerRadius: Theme.radiusSmall

    anchors.fill: parent
    anchors.margins: -3
    radius: cornerRadius + 3
    color: "transparent"
    border.width: Theme.focusRingWidth
    border.color: Theme.accent
}
