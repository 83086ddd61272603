import QtQuick
import Tersio

// The line between the original (left) and the output (right), with a knob to drag it by.
// `dragged` gives the line's wanted place in the parent's coordinates.
Item {
    id: divider

    signal dragged(real x)

    width: 30
    Accessible.ignored: true

    // A dark edge keeps the white line visible on white pictures.
    Rectangle {
        anchors.horizontalCenter: parent.horizontalCenter
        width: 4
        height: parent.height
        color: Qt.rgba(0, 0, 0, 0.35)
    }
    Rectangle {
        anchors.horizontalCenter: parent.horizontalCenter
        width: 2
        height: parent.height
        color: Theme.onTint
    }
    Rectangle {
        anchors.centerIn: parent
        width: divider.width
        height: width
        radius: width / 2
        color: Theme.onTint
        border.width: 2
        border.color: Qt.rgba(0, 0, 0, 0.35)

        IconGlyph {
            anchors.centerIn: parent
            symbol: "chevron.left.chevron.right"
            size: 16
            color: Theme.canvas
        }
    }

    MouseArea {
        property real grip: 0 // where in the divider it was taken, from its centre line

        anchors.fill: parent
        cursorShape: Qt.SplitHCursor
        preventStealing: true
        onPressed: mouse => grip = mouse.x - divider.width / 2
        onPositionChanged: mouse => divider.dragged(mapToItem(divider.parent, mouse.x - grip, 0).x)
    }
}
