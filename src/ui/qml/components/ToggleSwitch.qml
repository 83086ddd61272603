import QtQuick
import QtQuick.Controls
import Tersio

// An on/off switch in the accent tint; dimmed and inert while disabled.
Switch {
    id: control

    padding: 0
    spacing: 0
    implicitWidth: leftPadding + indicator.implicitWidth + rightPadding
    implicitHeight: topPadding + indicator.implicitHeight + bottomPadding
    opacity: enabled ? 1.0 : 0.45

    indicator: Rectangle {
        implicitWidth: 32
        implicitHeight: 18
        x: control.leftPadding
        y: control.topPadding + (control.availableHeight - height) / 2
        radius: height / 2
        color: control.checked ? Theme.accent : Theme.strokeStrong

        Rectangle {
            width: 14
            height: 14
            radius: 7
            y: 2
            x: control.checked ? parent.width - width - 2 : 2
            color: Theme.onTint

            Behavior on x {
                NumberAnimation {
                    duration: 120
                }
            }
        }

        FocusRing {
            cornerRadius: parent.radius
            visible: control.visualFocus
        }
    }

    contentItem: Item {}
}
