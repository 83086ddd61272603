import QtQuick
import Tersio

// One symbol from the icon font, by the name the views use.
Text {
    property string symbol
    property real size: 12.5

    text: Icons.glyph(symbol)
    color: Theme.textMuted
    font.family: Theme.iconFamily
    font.pointSize: Theme.pt(size)
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    Accessible.ignored: true
}
