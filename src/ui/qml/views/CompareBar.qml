import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// The compare view's top line: what is compared, the zoom and the way back to the queue.
Rectangle {
    id: bar

    required property CompareViewport viewport
    property string title

    signal closeRequested()

    implicitHeight: 54
    color: Theme.canvas

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: Theme.gutter
        anchors.rightMargin: Theme.gutter
        spacing: 12

        TextLine {
            text: bar.title
            size: 15
            font.weight: Font.DemiBold
            elide: Text.ElideMiddle
            Layout.fillWidth: true
        }
        TextLine {
            objectName: "zoomText"
            text: bar.viewport.zoomText
            size: 10.5
            mono: true
            color: Theme.textSecondary
        }
        SegmentedPicker {
            accessibleName: "Zoom"
            choices: [{ value: "fit", label: "Fit" }, { value: 1, label: "100%" },
                      { value: 2, label: "200%" }]
            value: bar.viewport.fitting ? "fit"
                   : Math.abs(bar.viewport.zoom - 1) < 1e-6 ? 1
                   : Math.abs(bar.viewport.zoom - 2) < 1e-6 ? 2 : undefined
            Layout.fillWidth: false
            Layout.preferredWidth: 190
            onEdited: value => value === "fit" ? bar.viewport.fit() : bar.viewport.zoomTo(value)
        }
        PlainButton {
            objectName: "compareClose"
            symbol: "xmark"
            size: 11
            bold: true
            tint: Theme.textSecondary
            text: "Back to the queue"
            ToolTip.text: text + " (Esc)"
            ToolTip.visible: hovered || visualFocus
            ToolTip.delay: 600
            onClicked: bar.closeRequested()
        }
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: Theme.hairline
        color: Theme.stroke
    }
}
