import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// The settings page of the selected sidebar tab.
Rectangle {
    id: inspector

    required property var model

    PanelRules {
        id: rules
        model: inspector.model
    }

    implicitWidth: Theme.inspectorWidth
    Layout.preferredWidth: Theme.inspectorWidth
    color: Theme.sidebar

    ScrollView {
        id: scroller
        anchors.fill: parent
        anchors.leftMargin: Theme.hairline
        contentWidth: availableWidth
        ScrollBar.vertical.policy: ScrollBar.AsNeeded

        ColumnLayout {
            width: scroller.availableWidth
            spacing: 12

            TextLine {
                objectName: "inspectorTitle"
                text: rules.tabTitle
                size: 15
                font.weight: Font.DemiBold
                Layout.topMargin: Theme.gutter
                Layout.leftMargin: Theme.gutter
                Layout.bottomMargin: 2
            }

            Loader {
                objectName: "panelLoader"
                Layout.fillWidth: true
                Layout.leftMargin: Theme.gutter
                Layout.rightMargin: Theme.gutter
                Layout.bottomMargin: Theme.gutter
                sourceComponent: {
                    switch (inspector.model.tab) {
                    case "image": return imagePanel
                    case "video": return videoPanel
                    case "crops": return cropPanel
                    case "output": return outputPanel
                    default: return mediaPanel
                    }
                }
            }
        }
    }

    Rectangle {
        width: Theme.hairline
        height: parent.height
        color: Theme.stroke
    }

    Component {
        id: mediaPanel
        MediaPanel { model: inspector.model }
    }
    Component {
        id: imagePanel
        ImagePanel { model: inspector.model }
    }
    Component {
        id: videoPanel
        VideoPanel { model: inspector.model }
    }
    Component {
        id: cropPanel
        CropPanel { model: inspector.model }
    }
    Component {
        id: outputPanel
        OutputPanel { model: inspector.model }
    }
}
