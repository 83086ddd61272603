import QtQuick
import QtQuick.Controls
import Tersio

// The queued files, or an invitation to add some; files and folders can be dropped anywhere.
Rectangle {
    id: queue
    objectName: "queueView"

    required property var model
    property bool isTargeted: false

    signal compareRequested(var request, Item opener)

    color: Theme.canvas

    EmptyQueue {
        anchors.fill: parent
        anchors.margins: 40
        visible: queue.model.itemCount === 0
        model: queue.model
    }

    ListView {
        id: list
        objectName: "queueList"
        anchors.fill: parent
        visible: queue.model.itemCount > 0
        model: queue.model.items
        spacing: 8
        topMargin: Theme.gutter
        bottomMargin: Theme.gutter
        clip: true
        reuseItems: true
        boundsBehavior: Flickable.StopAtBounds
        activeFocusOnTab: false
        ScrollBar.vertical: ScrollBar {
            policy: ScrollBar.AlwaysOn
        }

        delegate: QueueRow {
            x: Theme.gutter
            width: list.width - 2 * Theme.gutter
            appModel: queue.model
            onCompareRequested: (request, opener) => queue.compareRequested(request, opener)
        }
    }

    DropArea {
        objectName: "dropArea"
        anchors.fill: parent
        keys: ["text/uri-list"]
        onEntered: drag => {
            queue.isTargeted = drag.hasUrls
            if (!drag.hasUrls)
                drag.accepted = false
        }
        onExited: queue.isTargeted = false
        onDropped: drop => {
            queue.isTargeted = false
            if (!drop.hasUrls)
                return
            // One call per URL, as each dropped file arrives on its own.
            for (const url of drop.urls)
                queue.model.add([url])
            drop.acceptProposedAction()
        }
    }

    DropHighlight {
        anchors.fill: parent
        anchors.margins: 10
        visible: queue.isTargeted
    }
}
