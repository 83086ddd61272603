import QtQuick
import QtQuick.Controls
import Tersio

// A bezel-less button: just its text or symbol, for row actions.
AbstractButton {
    id: control

    property string symbol
    property real size: 10.5
    property color tint: Theme.accent
    property bool bold: false

    padding: 2
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    Accessible.role: Accessible.Button
    Accessible.name: text

    contentItem: Text {
        text: control.symbol.length > 0 ? Icons.glyph(control.symbol) : control.text
        color: control.tint
        opacity: control.down ? 0.7 : 1.0
        font.family: control.symbol.length > 0 ? Theme.iconFamily : Theme.uiFamily
        font.pointSize: Theme.pt(control.size)
        font.weight: control.bold ? Font.Bold : Font.Normal
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Item {
        FocusRing {
            cornerRadius: 4
            visible: control.visualFocus
        }
    }
}
