import QtQuick
import QtQuick.Shapes
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

    // Rounds the picture's corners by painting the card's surface over them.
    Shape {
        anchors.fill: parent
        ShapePath {
            id: mask

            readonly property real w: thumb.width
            readonly property real h: thumb.height
            readonly property real c: thumb.corner

            strokeWidth: -1
            fillColor: Theme.surface
            fillRule: ShapePath.OddEvenFill
            startX: 0
            startY: 0
            PathLine { x: mask.w; y: 0 }
            PathLine { x: mask.w; y: mask.h }
            PathLine { x: 0; y: mask.h }
            PathLine { x: 0; y: 0 }
            PathMove { x: mask.c; y: 0 }
            PathLine { x: mask.w - mask.c; y: 0 }
            PathArc { x: mask.w; y: mask.c; radiusX: mask.c; radiusY: mask.c }
            PathLine { x: mask.w; y: mask.h - mask.c }
            PathArc { x: mask.w - mask.c; y: mask.h; radiusX: mask.c; radiusY: mask.c }
            PathLine { x: mask.c; y: mask.h }
            PathArc { x: 0; y: mask.h - mask.c; radiusX: mask.c; radiusY: mask.c }
            PathLine { x: 0; y: mask.c }
            PathArc { x: mask.c; y: 0; radiusX: mask.c; radiusY: mask.c }
        }
    }

    Rectangle {
        anchors.fill: parent
        radius: thumb.corner
        color: "transparent"
        border.width: Theme.hairline
        border.color: Theme.stroke
    }
}
