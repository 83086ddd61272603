import QtQuick
import QtQuick.Layouts
import Tersio

// One written file: what it is, its size and score, what was left undone on it, a way to compare
// it with its source (images) and a way to see it in the file manager.
Rectangle {
    id: line

    property string label
    property double bytes
    property string path
    property double ssim: -1 // none
    property string note
    property bool comparable: false

    signal compareRequested(Item opener)

    implicitHeight: column.implicitHeight + 10
    radius: Theme.fieldRadius
    color: Theme.withAlpha(Theme.surfaceRaised, 0.6)

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.leftMargin: 8
        anchors.rightMargin: 8
        anchors.topMargin: 5
        anchors.bottomMargin: 5
        spacing: 2

        RowLayout {
            id: row
            spacing: 8
            Layout.fillWidth: true

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
            TextLine {
                objectName: "scoreText"
                visible: text.length > 0
                text: ViewText.scoreText(line.ssim)
                size: 10.5
                mono: true
                color: Theme.textSecondary
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

        TextLine {
            objectName: "outputNote"
            visible: line.note.length > 0
            text: line.note
            size: 10
            color: Theme.warning
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }
}
