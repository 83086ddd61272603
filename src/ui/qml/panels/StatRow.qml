import QtQuick
import QtQuick.Layouts
import Tersio

// A label and its figure on one line.
RowLayout {
    property alias label: name.text
    property alias value: figure.text

    Layout.fillWidth: true
    Accessible.role: Accessible.StaticText
    Accessible.name: label + ": " + value

    TextLine {
        id: name
        size: 11.5
        color: Theme.textSecondary
    }
    Item {
        Layout.fillWidth: true
    }
    TextLine {
        id: figure
        size: 11.5
        mono: true
        font.weight: Font.Medium
    }
}
