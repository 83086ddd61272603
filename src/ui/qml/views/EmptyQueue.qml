import QtQuick
import QtQuick.Layouts
import Tersio

// What an empty queue shows: where to drop, and a button for those who prefer to browse.
Item {
    id: empty

    required property var model

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(parent.width, implicitWidth)
        spacing: 14

        IconGlyph {
            symbol: "tray.and.arrow.down"
            size: 30
            font.weight: Font.Light
            color: Theme.textMuted
            Layout.alignment: Qt.AlignHCenter
        }

        ColumnLayout {
            spacing: 4
            Layout.alignment: Qt.AlignHCenter

            TextLine {
                text: "Drop images or video here"
                size: 15
                font.weight: Font.DemiBold
                Layout.alignment: Qt.AlignHCenter
            }
            TextLine {
                text: "Folders work too \u2014 everything inside gets picked up."
                color: Theme.textSecondary
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                Layout.maximumWidth: empty.width
                Layout.alignment: Qt.AlignHCenter
            }
        }

        PrimaryButton {
            id: chooseButton
            objectName: "chooseFiles"
            text: "Choose files"
            Layout.alignment: Qt.AlignHCenter
            onClicked: chooser.popup(chooseButton)
        }
    }

    MediaChooser {
        id: chooser
        title: "Add media"
        onChosen: urls => empty.model.add(urls)
    }
}
