import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// The update checker's modal alerts: a title, an informative text and buttons in the given
// order. Every button closes it; the update checker decides what a button does.
Dialog {
    id: alert

    property string informativeText
    property var buttonTitles: []
    property string downloadUrl
    signal chosen(string button, string downloadUrl)

    function present(title, informativeText, buttons, downloadUrl) {
        alert.title = title
        alert.informativeText = informativeText
        alert.buttonTitles = buttons
        alert.downloadUrl = downloadUrl
        open()
    }

    modal: true
    anchors.centerIn: Overlay.overlay
    width: 380
    padding: 20
    topPadding: 20

    background: Rectangle {
        radius: Theme.radius
        color: Theme.surface
        border.width: Theme.hairline
        border.color: Theme.strokeStrong
    }
    header: Item {}

    ColumnLayout {
        width: alert.availableWidth
        spacing: 8

        TextLine {
            objectName: "alertTitle"
            text: alert.title
            size: 13.5
            font.weight: Font.DemiBold
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        TextLine {
            objectName: "alertText"
            text: alert.informativeText
            size: 12
            color: Theme.textSecondary
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }

    // The first button is the default and sits rightmost, the others to its left.
    footer: RowLayout {
        spacing: 8

        Item {
            Layout.fillWidth: true
        }
        Repeater {
            model: alert.buttonTitles.slice(1).reverse()

            QuietButton {
                required property string modelData
                text: modelData
                Layout.bottomMargin: 18
                onClicked: alert.choose(modelData)
            }
        }
        Repeater {
            model: alert.buttonTitles.slice(0, 1)

            PrimaryButton {
                objectName: "defaultButton"
                required property string modelData
                text: modelData
                Layout.rightMargin: 20
                Layout.bottomMargin: 18
                onClicked: alert.choose(modelData)
            }
        }
    }

    function choose(button) {
        close()
        chosen(button, downloadUrl)
    }
}
