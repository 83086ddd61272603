import QtQuick
import QtQuick.Controls
import Tersio

// The one window: menu bar, the three columns, and the dialogs the menu opens.
ApplicationWindow {
    id: window

    required property var model
    required property var updates

    title: "Tersio"
    width: Theme.windowMinWidth
    height: Theme.windowMinHeight
    minimumWidth: Theme.windowMinWidth
    minimumHeight: Theme.windowMinHeight
    visible: true
    color: Theme.canvas
    font.family: Theme.uiFamily
    font.pointSize: Theme.pt(12.5)

    palette {
        window: Theme.canvas
        windowText: Theme.text
        base: Theme.surface
        alternateBase: Theme.surfaceRaised
        text: Theme.text
        button: Theme.surfaceRaised
        buttonText: Theme.text
        brightText: Theme.onTint
        highlight: Theme.accent
        highlightedText: Theme.onTint
        placeholderText: Theme.textMuted
        toolTipBase: Theme.surfaceRaised
        toolTipText: Theme.text
        light: Theme.surfaceRaised
        midlight: Theme.surfaceRaised
        mid: Theme.surface
        dark: Theme.sidebar
        shadow: Theme.sidebar
        link: Theme.accent
    }

    menuBar: AppMenuBar {
        onAboutRequested: aboutDialog.open()
        onUpdateCheckRequested: window.checkForUpdates()
        onQuitRequested: Qt.quit()
    }

    // The user's own check always answers, through alertRequested.
    function checkForUpdates() {
        window.updates.checkForUpdates(true)
    }

    RootView {
        anchors.fill: parent
        model: window.model
    }

    AboutDialog {
        id: aboutDialog
        objectName: "aboutDialog"
    }

    AlertDialog {
        id: alert
        onChosen: (button, url) => window.updates.answer(button, url)
    }

    Connections {
        target: window.updates
        function onAlertRequested(kind, title, informativeText, buttons, downloadUrl) {
            alert.present(title, informativeText, buttons, downloadUrl)
        }
    }
}
