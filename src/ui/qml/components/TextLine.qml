import QtQuick
import Tersio

// Text in the theme's fonts: `size` in design points, `mono` for figures.
Text {
    property real size: 12.5
    property bool mono: false

    color: Theme.text
    font.family: mono ? Theme.monoFamily : Theme.uiFamily
    font.pointSize: Theme.pt(size)
    font.weight: Font.Normal
    textFormat: Text.PlainText
    renderType: Text.QtRendering
}
