import QtQuick
import QtQuick.Layouts
import Tersio

// One written file: what it is, its size, a way to compare it with its source (images) and a
// way to see it in the file manager.
Rectangle {
    id: line

    property string label
    property double bytes
    property string path
    property bool comparable: false
    property var score // the output's SSIM; undefined or negative when it has none

    signal compareRequested(Item opener)

    implicitHeight: row.implicitHeight + 10
    radius: Theme.fieldRadius
    color: Theme.withAlpha(Theme.surfaceRaised, 0.6)

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 8
        anchors.rightMargin: 8
        anchors.topMargin: 5
        anchors.bottomMargin: 5
        spacing: 8

        TextLine {
            text: line.label
            size: 11
            color: Theme.textSecondary
        }
        TextLine {
            text: ViewText.byteText(line.bytes)
            size: 10.5
            mono: true
            font.weight: Font.Medium
        }
        Item {
            Layout.fillWidth: true
            Layout.minimumWidth: 6
        }
        PlainButton {
            id: compare
            objectName: "compareButton"
            visible: line.comparable
            text: "Compare"
            size: 10.5
            tint: Theme.accent
            Accessible.name: "Compare " + line.label + " with the original"
            onClicked: line.compareRequested(compare)
        }
        PlainButton {
            text: "Show"
            size: 10.5
            tint: Theme.accent
            Accessible.name: "Show " + line.label + " in the file manager"
            onClicked: FileReveal.show(line.path)
        }
    }
}
