import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// Name, version and maker.
Dialog {
    id: about

    title: "About Tersio"
    modal: true
    anchors.centerIn: Overlay.overlay
    width: 260
    padding: 24
    bottomPadding: 12

    background: Rectangle {
        radius: Theme.radius
        color: Theme.surface
        border.width: Theme.hairline
        border.color: Theme.strokeStrong
    }
    header: Item {}
    footer: Item {
        implicitHeight: okButton.implicitHeight + 20

        PrimaryButton {
            id: okButton
            text: "OK"
            anchors.horizontalCenter: parent.horizontalCenter
            onClicked: about.close()
        }
    }

    ColumnLayout {
        width: about.availableWidth
        spacing: 6

        BrandMark {
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 6
        }
        TextLine {
            text: "Tersio"
            size: 15
            font.weight: Font.DemiBold
            Layout.alignment: Qt.AlignHCenter
        }
        TextLine {
            objectName: "aboutVersion"
            text: "Version " + Qt.application.version
            size: 11.5
            mono: true
            color: Theme.textSecondary
            Layout.alignment: Qt.AlignHCenter
        }
        TextLine {
            text: "Veltrane"
            size: 11.5
            color: Theme.textMuted
            Layout.alignment: Qt.AlignHCenter
        }
    }
}
