import QtQuick
import QtQuick.Controls
import Tersio

// The secondary button: raised surface, hairline border, secondary label.
Button {
    id: control

    leftPadding: 12
    rightPadding: 12
    topPadding: 7
    bottomPadding: 7
    font.family: Theme.uiFamily
    font.pointSize: Theme.pt(12)
    Accessible.name: text

    contentItem: Text {
        text: control.text
        font: control.font
        color: Theme.textSecondary
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        radius: Theme.radiusSmall
        color: control.down ? Theme.surfaceRaised : Theme.withAlpha(Theme.surfaceRaised, 0.55)
        border.width: Theme.hairline
        border.color: Theme.stroke

        FocusRing {
            visible: control.visualFocus
        }
    }
}
