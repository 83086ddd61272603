import QtQuick
import QtQuick.Controls
import Tersio

// The application menu. There is deliberately no way to open a second window.
MenuBar {
    id: bar

    signal aboutRequested
    signal updateCheckRequested
    signal quitRequested

    PopupMenu {
        title: "Tersio"

        Action {
            text: "About Tersio"
            onTriggered: bar.aboutRequested()
        }
        Action {
            text: "Check for Updates\u2026"
            onTriggered: bar.updateCheckRequested()
        }
        MenuSeparator {}
        Action {
            text: "Quit"
            shortcut: StandardKey.Quit
            onTriggered: bar.quitRequested()
        }
    }

    background: Rectangle {
        implicitHeight: 28
        color: Theme.sidebar

        Rectangle {
            anchors.bottom: parent.bottom
            width: parent.width
            height: Theme.hairline
            color: Theme.stroke
        }
    }
}
