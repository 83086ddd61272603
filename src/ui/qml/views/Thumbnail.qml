import QtQuick
import Tersio

// The row's picture well: the kind's symbol until the thumbnail arrives from a worker thread.
Item {
    id: thumb

    property string kind
    property string path
    readonly property real corner: Theme.radiusSmall

    implicitWidth: Theme.thumbSize
    implicitHeight: Theme.thumbSize
    Accessible.ignored: true

    Rectangle {
        anchors.fill: parent
        radius: thumb.corner
        color: Theme.canvas
    }

    IconGlyph {
        anchors.centerIn: parent
        visible: picture.status !== Image.Ready
        symbol: thumb.kind === "video" ? "film" : "photo"
        size: 18
    }

    Image {
        id: picture
        objectName: "thumbnailImage"
        anchors.fill: parent
        source: thumb.path.length > 0
                ? "image://thumb/" + thumb.kind + "/" + encodeURIComponent(thumb.path) : ""
        asynchronous: true
        cache: false
        fillMode: Image.PreserveAspectCrop
        smooth: true
        mipmap: true
    }

    // Rounds the picture's corners by painting the card's surface over them: a frame whose
    // inner edge is the well's rounded outline. Plain rectangles stay inside the list's clip
    // with every scene graph backend, which a Shape does not with the software one.
    Rectangle {
        anchors.fill: parent
        anchors.margins: -thumb.corner
        radius: 2 * thumb.corner
        color: "transparent"
        border.width: thumb.corner
        border.color: Theme.surface
    }

    Rectangle {
        anchors.fill: parent
        radius: thumb.corner
        color: "transparent"
        border.width: Theme.hairline
        border.color: Theme.stroke
    }
}
