import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// A title, an optional subtitle and a switch. The switch shows `isOn` and reports the user's
// flips through `edited`; the owner writes the model, which flows back into `isOn`.
RowLayout {
    id: toggle

    property string title
    property string subtitle
    property bool isOn
    signal edited(bool on)

    spacing: 10
    Layout.fillWidth: true

    ColumnLayout {
        spacing: 1
        Layout.fillWidth: true
        Layout.alignment: Qt.AlignTop

        TextLine {
            text: toggle.title
            color: toggle.enabled ? Theme.text : Theme.textMuted
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        TextLine {
            visible: toggle.subtitle.length > 0
            text: toggle.subtitle
            size: 10.5
            color: Theme.textMuted
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }

    ToggleSwitch {
        id: toggleSwitch
        objectName: "toggleSwitch"
        checked: toggle.isOn
        Layout.leftMargin: 8 + toggle.spacing
        Layout.alignment: Qt.AlignTop
        Accessible.name: toggle.title
        onToggled: {
            toggle.edited(checked)
            checked = Qt.binding(() => toggle.isOn)
        }
    }
}
