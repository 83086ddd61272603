import QtQuick
import QtQuick.Shapes
import Tersio

// The wash and dashed outline shown while files hover over the queue. Never takes input.
Item {
    id: highlight

    readonly property real corner: Theme.radius
    readonly property real inset: 1 // half the line width, so the dash stays inside

    objectName: "dropHighlight"
    enabled: false

    Rectangle {
        anchors.fill: parent
        radius: highlight.corner
        color: Theme.accentWash
    }

    Shape {
        anchors.fill: parent
        layer.enabled: true
        layer.samples: 4

        ShapePath {
            id: outline

            readonly property real l: highlight.inset
            readonly property real t: highlight.inset
            readonly property real r: highlight.width - highlight.inset
            readonly property real b: highlight.height - highlight.inset
            readonly property real c: highlight.corner - highlight.inset

            fillColor: "transparent"
            strokeColor: Theme.accent
            strokeWidth: 2
            strokeStyle: ShapePath.DashLine
            // Dash lengths are in units of the line width: 6 on, 5 off.
            dashPattern: [3, 2.5]
            dashOffset: 0
            capStyle: ShapePath.FlatCap
            joinStyle: ShapePath.MiterJoin
            miterLimit: 10
            startX: outline.l + outline.c
            startY: outline.t
            PathLine { x: outline.r - outline.c; y: outline.t }
            PathArc { x: outline.r; y: outline.t + outline.c; radiusX: outline.c; radiusY: outline.c }
            PathLine { x: outline.r; y: outline.b - outline.c }
            PathArc { x: outline.r - outline.c; y: outline.b; radiusX: outline.c; radiusY: outline.c }
            PathLine { x: outline.l + outline.c; y: outline.b }
            PathArc { x: outline.l; y: outline.b - outline.c; radiusX: outline.c; radiusY: outline.c }
            PathLine { x: outline.l; y: outline.t + outline.c }
            PathArc { x: outline.l + outline.c; y: outline.t; radiusX: outline.c; radiusY: outline.c }
        }
    }
}
