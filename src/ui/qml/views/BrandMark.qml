import QtQuick
import QtQuick.Shapes
import Tersio

// The gradient square with the wand; the gradient runs corner to corner.
Item {
    id: mark

    readonly property real corner: 9

    implicitWidth: 30
    implicitHeight: 30
    Accessible.ignored: true

    Shape {
        anchors.fill: parent
        layer.enabled: true
        layer.samples: 4

        ShapePath {
            strokeWidth: -1
            fillGradient: LinearGradient {
                x1: 0
                y1: 0
                x2: mark.width
                y2: mark.height
                GradientStop {
                    position: 0
                    color: Theme.accent
                }
                GradientStop {
                    position: 1
                    color: Theme.accentDeep
                }
            }
            startX: mark.corner
            startY: 0
            PathLine { x: mark.width - mark.corner; y: 0 }
            PathArc { x: mark.width; y: mark.corner; radiusX: mark.corner; radiusY: mark.corner }
            PathLine { x: mark.width; y: mark.height - mark.corner }
            PathArc { x: mark.width - mark.corner; y: mark.height; radiusX: mark.corner; radiusY: mark.corner }
            PathLine { x: mark.corner; y: mark.height }
            PathArc { x: 0; y: mark.height - mark.corner; radiusX: mark.corner; radiusY: mark.corner }
            PathLine { x: 0; y: mark.corner }
            PathArc { x: mark.corner; y: 0; radiusX: mark.corner; radiusY: mark.corner }
        }
    }

    IconGlyph {
        anchors.centerIn: parent
        symbol: "wand.and.stars"
        size: 14
        font.weight: Font.DemiBold
        color: Theme.onTint
    }
}
