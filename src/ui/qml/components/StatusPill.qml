import QtQuick
import Tersio

// A short status word on a capsule of its own tint.
Rectangle {
    id: pill

    property alias text: label.text
    property color tint: Theme.textMuted

    implicitWidth: label.implicitWidth + 16
    implicitHeight: label.implicitHeight + 6
    radius: height / 2
    color: Theme.withAlpha(tint, 0.14)
    Accessible.role: Accessible.StaticText
    Accessible.name: text

    TextLine {
        id: label
        anchors.centerIn: parent
        size: 10.5
        font.weight: Font.Medium
        color: pill.tint
    }
}
