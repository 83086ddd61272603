import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// A titled box of settings: heading, optional note, then the content stacked below.
Pane {
    id: group

    property string heading
    property string note
    property real contentSpacing: 10
    default property alias content: body.data

    padding: 14
    Layout.fillWidth: true
    Accessible.role: Accessible.Grouping
    Accessible.name: heading

    background: Rectangle {
        radius: Theme.radius
        color: Theme.surface
        border.width: Theme.hairline
        border.color: Theme.stroke
    }

    ColumnLayout {
        width: group.availableWidth
        spacing: 10

        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true

            TextLine {
                objectName: "groupHeading"
                text: group.heading
                size: 13
                font.weight: Font.DemiBold
            }
            TextLine {
                objectName: "groupNote"
                visible: group.note.length > 0
                text: group.note
                size: 11
                color: Theme.textMuted
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
        }

        ColumnLayout {
            id: body
            spacing: group.contentSpacing
            Layout.fillWidth: true
        }
    }
}
