import QtQuick
import QtQuick.Layouts
import Tersio

// What the queue is doing, in a headline and one line of status.
Rectangle {
    id: header

    required property var model

    implicitHeight: row.implicitHeight + 34 + 14
    color: Theme.canvas

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: Theme.gutter
        anchors.rightMargin: Theme.gutter
        anchors.topMargin: 34
        anchors.bottomMargin: 14
        spacing: 10

        TextLine {
            objectName: "headline"
            text: ViewText.headline(header.model.isRunning, header.model.itemCount)
            size: 17
            font.weight: Font.DemiBold
            Layout.alignment: Qt.AlignBaseline
        }
        TextLine {
            objectName: "subhead"
            text: ViewText.subhead(header.model.hasTools, header.model.isRunning,
                                   header.model.pendingCount, header.model.totalSaved)
            color: Theme.textSecondary
            elide: Text.ElideRight
            Layout.alignment: Qt.AlignBaseline
            Layout.fillWidth: true
        }
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: Theme.hairline
        color: Theme.stroke
    }
}
