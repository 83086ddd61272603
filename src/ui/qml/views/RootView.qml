import QtQuick
import QtQuick.Layouts
import Tersio

// Sidebar, queue column and inspector side by side.
Item {
    id: root

    required property var model

    // Dragging bare background moves the window, as the desktop's own title bar would.
    MouseArea {
        anchors.fill: parent
        onPressed: root.Window.window.startSystemMove()
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        SidebarView {
            model: root.model
            Layout.fillHeight: true
        }

        ColumnLayout {
            spacing: 0
            Layout.fillWidth: true
            Layout.fillHeight: true

            QueueHeader {
                model: root.model
                Layout.fillWidth: true
            }
            QueueView {
                model: root.model
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
            ActionBar {
                model: root.model
                Layout.fillWidth: true
            }
        }

        InspectorView {
            model: root.model
            Layout.fillHeight: true
        }
    }
}
