import QtQuick
import QtQuick.Layouts
import Tersio

// Brand, one button per inspector page, and the state of the ffmpeg tools at the foot.
Rectangle {
    id: sidebar

    required property var model

    // The symbol shown beside each page's title.
    readonly property var tabSymbols: ({
        "media": "square.stack.3d.up",
        "image": "photo",
        "video": "film",
        "crops": "crop",
        "output": "folder"
    })

    implicitWidth: Theme.sidebarWidth
    Layout.preferredWidth: Theme.sidebarWidth
    color: Theme.sidebar

    Rectangle {
        anchors.right: parent.right
        width: Theme.hairline
        height: parent.height
        color: Theme.stroke
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.rightMargin: Theme.hairline
        spacing: 0

        RowLayout {
            spacing: 10
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.topMargin: 34
            Layout.bottomMargin: 22

            BrandMark {}

            ColumnLayout {
                spacing: 0

                TextLine {
                    text: "Tersio"
                    size: 13.5
                    font.weight: Font.DemiBold
                }
                TextLine {
                    text: "Veltrane"
                    size: 10.5
                    color: Theme.textMuted
                }
            }
        }

        ColumnLayout {
            spacing: 2
            Layout.leftMargin: 10
            Layout.rightMargin: 10
            Layout.fillWidth: true

            Repeater {
                model: sidebar.model.settings.choices("tab")

                NavButton {
                    required property var modelData
                    objectName: "nav_" + modelData.value
                    text: modelData.label
                    symbol: sidebar.tabSymbols[modelData.value]
                    selected: sidebar.model.tab === modelData.value
                    badge: ViewText.badgeText(modelData.value, sidebar.model.itemCount)
                    Layout.fillWidth: true
                    onClicked: sidebar.model.tab = modelData.value
                }
            }
        }

        Item {
            Layout.fillHeight: true
        }

        EngineStatusBox {
            model: sidebar.model
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.bottomMargin: 14
        }
    }
}
