import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// A titled integer field with a unit suffix. Shows `value`; every edit that reads as a whole
// number is reported through `edited`, anything else leaves the value alone.
RowLayout {
    id: row

    property string title
    property int value
    property string suffix
    signal edited(int value)

    spacing: 0
    Layout.fillWidth: true

    TextLine {
        text: row.title
        size: 11.5
        font.weight: Font.Medium
        color: Theme.textSecondary
    }

    Item {
        Layout.fillWidth: true
    }

    IntegerInput {
        objectName: "numberInput"
        value: row.value
        Layout.preferredWidth: 62
        horizontalAlignment: TextInput.AlignRight
        leftPadding: 8
        rightPadding: 8
        topPadding: 5
        bottomPadding: 5
        font.pointSize: Theme.pt(12)
        Accessible.name: row.title
        onEdited: value => row.edited(value)

        background: Rectangle {
            radius: Theme.fieldRadius
            color: Theme.canvas
            border.width: Theme.hairline
            border.color: Theme.stroke
        }
    }

    TextLine {
        text: row.suffix
        size: 11
        color: Theme.textMuted
        leftPadding: 4
        Layout.preferredWidth: 20 + leftPadding
    }
}
