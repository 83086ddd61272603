import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// A rounded surface with a hairline border; the content sits `padding` in from every edge.
Pane {
    padding: 12
    Layout.fillWidth: true

    background: Rectangle {
        radius: Theme.radius
        color: Theme.surface
        border.width: Theme.hairline
        border.color: Theme.stroke
    }
}
