import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import Tersio

// Picks media to add. The toolkit's file dialog selects either files or one folder, never
// both at once, so the button offers the two as a small menu.
Item {
    id: chooser

    property string title
    signal chosen(var urls)

    function popup(anchor) {
        menu.popup(anchor, 0, anchor.height + 4)
    }

    PopupMenu {
        id: menu

        Action {
            text: "Files\u2026"
            onTriggered: files.open()
        }
        Action {
            text: "Folder\u2026"
            onTriggered: folder.open()
        }
    }

    FileDialog {
        id: files
        title: chooser.title
        fileMode: FileDialog.OpenFiles
        onAccepted: chooser.chosen(selectedFiles)
    }

    FolderDialog {
        id: folder
        title: chooser.title
        onAccepted: chooser.chosen([selectedFolder])
    }
}
