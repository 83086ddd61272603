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
            id: headline
            objectName: "headline"
            text: ViewText.headline(header.model.isRunning, header.model.itemCount)
            size: 17
            font.weight: Font.DemiBold
            Layout.alignment: Qt.AlignBottom
        }
        // Wraps in a narrow window; its last line shares the headline's baseline.
        TextLine {
            id: subhead
            objectName: "subhead"
            text: ViewText.subhead(header.model.hasTools, header.model.isRunning,
                                   header.model.pendingCount, header.model.totalSaved)
            color: Theme.textSecondary
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignBottom
            Layout.bottomMargin: headlineMetrics.descent - subheadMetrics.descent
        }
    }

    FontMetrics {
        id: headlineMetrics
        font: headline.font
    }
    FontMetrics {
        id: subheadMetrics
        font: subhead.font
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: Theme.hairline
        color: Theme.stroke
    }
}
