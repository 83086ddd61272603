import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// One crop: on/off, name, ratio, target width and anchor. Edits go straight into the list
// model's row; deleting names the crop by id, never by position or name.
Rectangle {
    id: crop

    required property var model // the row's roles, writable; model.id names the crop
    property var anchorChoices: []
    signal deleteRequested(string id)

    implicitHeight: lines.implicitHeight + 20
    radius: Theme.radiusSmall
    color: Theme.withAlpha(Theme.canvas, 0.6)
    border.width: Theme.hairline
    border.color: Theme.stroke
    opacity: model.enabled ? 1.0 : 0.55

    ColumnLayout {
        id: lines
        anchors.fill: parent
        anchors.margins: 10
        spacing: 8

        RowLayout {
            spacing: 8
            Layout.fillWidth: true

            ToggleSwitch {
                objectName: "cropEnabled"
                checked: crop.model.enabled
                scale: 0.85
                Accessible.name: "Use this crop"
                onToggled: {
                    crop.model.enabled = checked
                    checked = Qt.binding(() => crop.model.enabled)
                }
            }
            TextField {
                id: nameField
                objectName: "cropName"
                text: crop.model.name
                placeholderText: "Name"
                placeholderTextColor: Theme.textMuted
                color: Theme.text
                selectionColor: Theme.accent
                selectedTextColor: Theme.onTint
                font.family: Theme.uiFamily
                font.pointSize: Theme.pt(12)
                selectByMouse: true
                padding: 2
                Layout.fillWidth: true
                Accessible.name: "Crop name"
                onTextEdited: crop.model.name = text
                onEditingFinished: text = Qt.binding(() => crop.model.name)
                background: FocusRing {
                    cornerRadius: 4
                    anchors.margins: -1
                    visible: nameField.activeFocus
                }
            }
            PlainButton {
                objectName: "deleteCrop"
                symbol: "trash"
                size: 10
                tint: Theme.textMuted
                text: "Delete crop"
                Accessible.name: "Delete crop " + crop.model.name
                onClicked: crop.deleteRequested(crop.model.id)
            }
        }

        RowLayout {
            spacing: 6
            Layout.fillWidth: true

            MiniField {
                objectName: "aspectW"
                value: crop.model.aspectW
                minimum: 1
                Layout.preferredWidth: 38
                Accessible.name: "Ratio width"
                onEdited: value => crop.model.aspectW = value
            }
            TextLine {
                text: ":"
                size: 11
                mono: true
                font.weight: Font.Medium
                color: Theme.textMuted
            }
            MiniField {
                objectName: "aspectH"
                value: crop.model.aspectH
                minimum: 1
                Layout.preferredWidth: 38
                Accessible.name: "Ratio height"
                onEdited: value => crop.model.aspectH = value
            }
            Item {
                Layout.fillWidth: true
            }
            TextLine {
                text: "width"
                size: 10.5
                color: Theme.textMuted
            }
            MiniField {
                objectName: "targetWidth"
                value: crop.model.targetWidth
                Layout.preferredWidth: 58
                Accessible.name: "Crop target width"
                onEdited: value => crop.model.targetWidth = value
            }
        }

        MenuPicker {
            objectName: "anchorPicker"
            choices: crop.anchorChoices
            value: crop.model.anchor
            size: 11
            Accessible.name: "Anchor"
            onEdited: value => crop.model.anchor = value
        }
    }
}
