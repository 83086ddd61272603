import QtQuick
import Tersio

// The picture pair under one viewport: the original, and the output drawn at the original's
// size over the part right of the divider. Drag to pan; wheel or pinch to zoom.
Item {
    id: stage

    required property CompareViewport viewport
    property string sourcePath
    property string outputPath
    property string outputLabel

    readonly property bool ready: original.status === Image.Ready && output.status === Image.Ready
    readonly property size pictureSize: original.status === Image.Ready
                                        ? Qt.size(original.implicitWidth, original.implicitHeight)
                                        : Qt.size(0, 0)
    readonly property string problem: original.status === Image.Error
                                      ? "The original could not be shown."
                                      : output.status === Image.Error
                                        ? "The output could not be shown." : ""

    clip: true

    function address(path) {
        return path.length > 0 ? "image://compare/" + encodeURIComponent(path) : ""
    }

    Image {
        id: original
        objectName: "compareOriginal"
        x: stage.viewport.picture.x
        y: stage.viewport.picture.y
        width: stage.viewport.picture.width
        height: stage.viewport.picture.height
        visible: stage.ready
        source: stage.address(stage.sourcePath)
        asynchronous: true
        cache: false
        smooth: true
        mipmap: true
    }

    Item {
        id: outputSide
        x: stage.viewport.divider
        width: Math.max(0, stage.width - x)
        height: stage.height
        clip: true

        Image {
            id: output
            objectName: "compareOutput"
            x: stage.viewport.picture.x - outputSide.x
            y: stage.viewport.picture.y
            width: stage.viewport.picture.width
            height: stage.viewport.picture.height
            visible: stage.ready
            source: stage.address(stage.outputPath)
            asynchronous: true
            cache: false
            smooth: true
            mipmap: true
        }
    }

    TextLine {
        anchors.centerIn: parent
        visible: !stage.ready
        text: stage.problem.length > 0 ? stage.problem : "Decoding\u2026"
        color: stage.problem.length > 0 ? Theme.danger : Theme.textSecondary
    }

    // Pans with the left button; the wheel zooms about the pointer.
    MouseArea {
        property point last

        anchors.fill: parent
        enabled: stage.ready
        cursorShape: stage.viewport.fitting ? Qt.ArrowCursor
                                            : pressed ? Qt.ClosedHandCursor : Qt.OpenHandCursor
        onPressed: mouse => last = Qt.point(mouse.x, mouse.y)
        onPositionChanged: mouse => {
            stage.viewport.panBy(Qt.point(mouse.x - last.x, mouse.y - last.y))
            last = Qt.point(mouse.x, mouse.y)
        }
        onWheel: wheel => {
            if (wheel.angleDelta.y !== 0)
                stage.viewport.zoomBy(Math.pow(1.25, wheel.angleDelta.y / 120),
                                      Qt.point(wheel.x, wheel.y))
        }
    }

    PinchHandler {
        property real last: 1

        target: null
        enabled: stage.ready
        onActiveChanged: last = 1
        onActiveScaleChanged: {
            if (!active)
                return
            stage.viewport.zoomBy(activeScale / last, centroid.position)
            last = activeScale
        }
    }

    Repeater {
        model: [{ text: "Original", left: true }, { text: stage.outputLabel, left: false }]

        Rectangle {
            required property var modelData

            visible: stage.ready
            x: modelData.left ? 12 : stage.width - width - 12
            y: 12
            width: tag.implicitWidth + 16
            height: tag.implicitHeight + 8
            radius: height / 2
            color: Theme.withAlpha(Theme.sidebar, 0.8)

            TextLine {
                id: tag
                anchors.centerIn: parent
                text: parent.modelData.text
                size: 11
                font.weight: Font.Medium
            }
        }
    }

    CompareDivider {
        objectName: "compareDivider"
        visible: stage.ready
        x: stage.viewport.divider - width / 2
        height: stage.height
        onDragged: x => stage.viewport.setDivider(x)
    }
}
