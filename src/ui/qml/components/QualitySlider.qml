import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// A 0–100 quality slider with its readout and the meaning of both ends.
ColumnLayout {
    id: quality

    property string title
    property real value
    property string readout
    property string lowLabel
    property string highLabel
    signal moved(real value)

    spacing: 6
    Layout.fillWidth: true

    RowLayout {
        Layout.fillWidth: true

        TextLine {
            text: quality.title
            size: 11.5
            font.weight: Font.Medium
            color: Theme.textSecondary
        }
        Item {
            Layout.fillWidth: true
        }
        TextLine {
            objectName: "readout"
            text: quality.readout
            size: 11.5
            mono: true
            font.weight: Font.Medium
            color: Theme.accent
        }
    }

    Slider {
        id: slider
        objectName: "qualitySlider"
        from: 0
        to: 100
        stepSize: 1
        snapMode: Slider.SnapAlways
        value: quality.value
        padding: 0
        Layout.fillWidth: true
        Accessible.name: quality.title
        onMoved: {
            quality.moved(value)
            value = Qt.binding(() => quality.value)
        }

        background: Rectangle {
            x: slider.leftPadding
            y: slider.topPadding + (slider.availableHeight - height) / 2
            width: slider.availableWidth
            height: Theme.progressHeight
            radius: height / 2
            color: Theme.strokeStrong

            Rectangle {
                width: slider.visualPosition * parent.width
                height: parent.height
                radius: height / 2
                color: Theme.accent
            }
        }

        handle: Rectangle {
            x: slider.leftPadding + slider.visualPosition * (slider.availableWidth - width)
            y: slider.topPadding + (slider.availableHeight - height) / 2
            implicitWidth: 16
            implicitHeight: 16
            radius: 8
            color: slider.pressed ? Theme.text : Theme.onTint

            FocusRing {
                cornerRadius: 8
                visible: slider.visualFocus
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true

        TextLine {
            text: quality.lowLabel
            size: 10.5
            color: Theme.textMuted
        }
        Item {
            Layout.fillWidth: true
        }
        TextLine {
            text: quality.highLabel
            size: 10.5
            color: Theme.textMuted
        }
    }
}
