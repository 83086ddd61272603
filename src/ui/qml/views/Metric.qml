import QtQuick
import QtQuick.Layouts
import Tersio

// One summary figure with its label underneath.
ColumnLayout {
    property alias value: figure.text
    property alias label: caption.text

    spacing: 1
    Accessible.role: Accessible.StaticText
    Accessible.name: label + ": " + value

    TextLine {
        id: figure
        size: 13
        mono: true
        font.weight: Font.Medium
    }
    TextLine {
        id: caption
        size: 10
        color: Theme.textMuted
    }
}
