import QtQuick
import QtQuick.Layouts
import Tersio

// An image output beside its source, split by a divider, over the queue column. Keys: left and
// right move the divider, + and - zoom, 0 fits, Escape goes back to the queue.
Rectangle {
    id: view
    objectName: "compareView"

    // {fileName, sourcePath, sourceBytes, label, outputPath, outputBytes, score}; null: closed.
    property var request: null
    property Item opener: null
    readonly property bool shown: request !== null

    visible: shown
    color: Theme.canvas

    function open(what, from) {
        request = what
        opener = from
        geometry.fit()
        geometry.setDivider(stage.width / 2)
        forceActiveFocus()
    }

    // Dropping the request lets go of both decoded pictures.
    function close() {
        request = null
        if (opener)
            opener.forceActiveFocus()
        opener = null
    }

    Keys.onPressed: event => {
        event.accepted = true
        switch (event.key) {
        case Qt.Key_Left: geometry.moveDivider(-1); break
        case Qt.Key_Right: geometry.moveDivider(1); break
        case Qt.Key_Plus:
        case Qt.Key_Equal: geometry.zoomIn(); break
        case Qt.Key_Minus: geometry.zoomOut(); break
        case Qt.Key_0: geometry.fit(); break
        case Qt.Key_Escape: view.close(); break
        default: event.accepted = false
        }
    }

    CompareViewport {
        id: geometry
        objectName: "compareViewport"
        viewSize: Qt.size(stage.width, stage.height)
        pictureSize: stage.pictureSize
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        CompareBar {
            viewport: geometry
            title: view.shown ? view.request.fileName : ""
            Layout.fillWidth: true
            onCloseRequested: view.close()
        }
        CompareStage {
            id: stage
            viewport: geometry
            sourcePath: view.shown ? view.request.sourcePath : ""
            outputPath: view.shown ? view.request.outputPath : ""
            outputLabel: view.shown ? view.request.label : ""
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
        Rectangle {
            implicitHeight: caption.implicitHeight + 24
            color: Theme.sidebar
            Layout.fillWidth: true

            TextLine {
                id: caption
                objectName: "compareCaption"
                anchors.verticalCenter: parent.verticalCenter
                x: Theme.gutter
                width: parent.width - 2 * Theme.gutter
                text: view.shown ? ViewText.compareCaption(view.request.label,
                                                           view.request.sourceBytes,
                                                           view.request.outputBytes,
                                                           view.request.score) : ""
                size: 11
                mono: true
                color: Theme.textSecondary
                elide: Text.ElideRight
            }
        }
    }
}
