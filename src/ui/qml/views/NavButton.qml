import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// One inspector page in the sidebar: symbol, title and, on the media page, the queue length.
AbstractButton {
    id: nav

    property string symbol
    property bool selected
    property string badge

    leftPadding: 10
    rightPadding: 10
    topPadding: 8
    bottomPadding: 8
    focusPolicy: Qt.StrongFocus
    Accessible.role: Accessible.PageTab
    Accessible.name: badge.length > 0 ? text + ", " + badge : text
    Accessible.selected: selected

    readonly property color foreground: selected ? Theme.text : Theme.textSecondary

    contentItem: RowLayout {
        spacing: 10

        IconGlyph {
            symbol: nav.symbol
            size: 12.5
            font.weight: Font.Medium
            color: nav.foreground
            Layout.preferredWidth: 18
        }
        TextLine {
            text: nav.text
            color: nav.foreground
            Layout.fillWidth: true
        }
        TextLine {
            objectName: "badge"
            visible: nav.badge.length > 0
            text: nav.badge
            size: 10.5
            mono: true
            font.weight: Font.Medium
            color: Theme.textMuted
        }
    }

    background: Rectangle {
        objectName: "navBackground"
        radius: Theme.radiusSmall
        color: nav.selected ? Theme.accentWash : "transparent"

        Rectangle {
            objectName: "selectionMarker"
            visible: nav.selected
            x: -6
            anchors.verticalCenter: parent.verticalCenter
            width: 2.5
            height: 16
            radius: width / 2
            color: Theme.accent
        }

        FocusRing {
            visible: nav.visualFocus
        }
    }
}
