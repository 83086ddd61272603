import QtQuick
import Tersio

// The crop row's compact integer field.
IntegerInput {
    horizontalAlignment: TextInput.AlignHCenter
    leftPadding: 2
    rightPadding: 2
    topPadding: 4
    bottomPadding: 4
    font.pointSize: Theme.pt(11.5)

    background: Rectangle {
        radius: 5
        color: Theme.surface
    }
}
