import QtQuick
import Tersio

// What the queue is doing, in a headline and one line of status. Side by side on a shared
// baseline when both fit; otherwise the status moves under the headline, each on one line.
Rectangle {
    id: header

    required property var model

    readonly property real available: width - 2 * Theme.gutter
    readonly property bool stacked: headline.implicitWidth + 10 + subhead.implicitWidth > available

    implicitHeight: 34 + (stacked ? subhead.y - headline.y + subhead.height : headline.height) + 14
    color: Theme.canvas

    TextLine {
        id: headline
        objectName: "headline"
        x: Theme.gutter
        y: 34
        width: Math.min(implicitWidth, header.available)
        text: ViewText.headline(header.model.isRunning, header.model.itemCount)
        size: 17
        font.weight: Font.DemiBold
        elide: Text.ElideRight
    }
    TextLine {
        id: subhead
        objectName: "subhead"
        x: header.stacked ? Theme.gutter : headline.x + headline.width + 10
        y: header.stacked ? headline.y + headline.height + 2
                          : headline.y + headline.baselineOffset - baselineOffset
        width: Math.max(0, Math.min(implicitWidth, header.available - (x - Theme.gutter)))
        text: ViewText.subhead(header.model.hasTools, header.model.isRunning,
                               header.model.pendingCount, header.model.totalSaved)
        color: Theme.textSecondary
        elide: Text.ElideRight
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: Theme.hairline
        color: Theme.stroke
    }
}
