import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// The filled button: `tint` fill, white semibold label; `wide` stretches it across its column.
Button {
    id: control

    property color tint: Theme.accent
    property bool wide: false

    Layout.fillWidth: wide
    leftPadding: 16
    rightPadding: 16
    topPadding: 8
    bottomPadding: 8
    font.family: Theme.uiFamily
    font.pointSize: Theme.pt(12.5)
    font.weight: Font.DemiBold
    Accessible.name: text

    contentItem: Text {
        text: control.text
        font: control.font
        color: Theme.onTint
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        implicitHeight: 16
        radius: Theme.radiusSmall
        color: control.down ? Theme.withAlpha(control.tint, 0.75) : control.tint

        FocusRing {
            visible: control.visualFocus
        }
    }
}
