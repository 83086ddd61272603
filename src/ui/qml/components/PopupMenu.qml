import QtQuick
import QtQuick.Controls
import Tersio

// A menu on the raised surface, its items highlighted in the accent.
Menu {
    id: menu

    padding: 4
    font.family: Theme.uiFamily
    font.pointSize: Theme.pt(12.5)

    delegate: MenuItem {
        id: item

        implicitWidth: 180
        leftPadding: 10
        rightPadding: 10
        topPadding: 5
        bottomPadding: 5

        contentItem: Text {
            text: item.text
            font: item.font
            color: item.highlighted ? Theme.onTint : Theme.text
            verticalAlignment: Text.AlignVCenter
        }
        arrow: null
        indicator: null

        background: Rectangle {
            radius: 5
            color: item.highlighted ? Theme.accent : "transparent"
        }
    }

    background: Rectangle {
        implicitWidth: 180
        radius: Theme.radiusSmall
        color: Theme.surfaceRaised
        border.width: Theme.hairline
        border.color: Theme.strokeStrong
    }
}
