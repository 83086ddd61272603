import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// Side-by-side segments over [{value, label}] choices; the chosen one is raised.
Rectangle {
    id: segmented

    property var choices: []
    property var value
    property string accessibleName
    signal edited(var value)

    Layout.fillWidth: true
    implicitHeight: segments.implicitHeight + 4
    radius: Theme.fieldRadius + 1
    color: Theme.canvas
    border.width: Theme.hairline
    border.color: Theme.stroke
    Accessible.role: Accessible.Grouping
    Accessible.name: accessibleName

    RowLayout {
        id: segments
        anchors.fill: parent
        anchors.margins: 2
        spacing: 2

        Repeater {
            model: segmented.choices

            AbstractButton {
                id: segment

                required property var modelData
                readonly property bool selected: modelData.value === segmented.value

                text: modelData.label
                checkable: true
                checked: selected
                focusPolicy: Qt.StrongFocus
                padding: 5
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                Accessible.role: Accessible.RadioButton
                Accessible.name: text
                Accessible.checked: selected
                onClicked: {
                    segmented.edited(modelData.value)
                    checked = Qt.binding(() => segment.selected)
                }

                contentItem: Text {
                    text: segment.text
                    font.family: Theme.uiFamily
                    font.pointSize: Theme.pt(11.5)
                    font.weight: segment.selected ? Font.Medium : Font.Normal
                    color: segment.selected ? Theme.text : Theme.textSecondary
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }

                background: Rectangle {
                    radius: Theme.fieldRadius - 1
                    color: segment.selected ? Theme.surfaceRaised : "transparent"
                    border.width: segment.selected ? Theme.hairline : 0
                    border.color: Theme.stroke

                    FocusRing {
                        cornerRadius: Theme.fieldRadius - 1
                        visible: segment.visualFocus
                    }
                }
            }
        }
    }
}
