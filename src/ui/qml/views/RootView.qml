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

        // The queue column, or the compare view over it.
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            ColumnLayout {
                anchors.fill: parent
                spacing: 0
                visible: !compare.shown

                QueueHeader {
                    model: root.model
                    Layout.fillWidth: true
                }
                QueueView {
                    model: root.model
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    onCompareRequested: (request, opener) => compare.open(request, opener)
                }
                ActionBar {
                    model: root.model
                    Layout.fillWidth: true
                }
            }

            CompareView {
                id: compare
                anchors.fill: parent
            }
        }

        InspectorView {
            model: root.model
            Layout.fillHeight: true
        }
    }
}
