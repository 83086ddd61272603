import QtQuick
import QtQuick.Controls
import Tersio

// A drop-down over [{value, label}] choices. Shows `value`; a pick is reported via `edited`.
ComboBox {
    id: picker

    property var choices: []
    property string value
    property real size: 12
    signal edited(string value)

    model: choices
    textRole: "label"
    valueRole: "value"
    currentIndex: position(value)
    leftPadding: 10
    rightPadding: 26
    topPadding: 5
    bottomPadding: 5
    font.family: Theme.uiFamily
    font.pointSize: Theme.pt(size)
    function position(v) {
        return choices.findIndex(choice => choice.value === v)
    }

    onActivated: index => {
        edited(choices[index].value)
        currentIndex = Qt.binding(() => position(picker.value))
    }

    contentItem: Text {
        text: picker.displayText
        font: picker.font
        color: Theme.text
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    indicator: IconGlyph {
        symbol: "chevron.up.chevron.down"
        size: 13
        color: Theme.textSecondary
        x: picker.width - width - 8
        y: (picker.height - height) / 2
    }

    background: Rectangle {
        implicitWidth: 140
        radius: Theme.fieldRadius
        color: picker.down ? Theme.surfaceRaised : Theme.withAlpha(Theme.surfaceRaised, 0.7)
        border.width: Theme.hairline
        border.color: Theme.stroke

        FocusRing {
            cornerRadius: Theme.fieldRadius
            visible: picker.visualFocus
        }
    }

    delegate: ItemDelegate {
        required property int index
        required property var modelData
        width: ListView.view ? ListView.view.width : implicitWidth
        highlighted: picker.highlightedIndex === index
        font: picker.font
        contentItem: Text {
            text: modelData.label
            font: picker.font
            color: Theme.text
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            radius: 5
            color: highlighted ? Theme.accent : "transparent"
        }
    }

    popup: Popup {
        y: picker.height + 2
        width: Math.max(picker.width, contentItem.implicitWidth)
        padding: 4
        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            implicitWidth: 180
            model: picker.popup.visible ? picker.delegateModel : null
            currentIndex: picker.highlightedIndex
        }
        background: Rectangle {
            radius: Theme.radiusSmall
            color: Theme.surfaceRaised
            border.width: Theme.hairline
            border.color: Theme.strokeStrong
        }
    }
}
