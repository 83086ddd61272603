import QtQuick
import QtQuick.Controls
import Tersio

// A borderless text field for one integer in the locale's number format. Letters never get in;
// text that does not read as a number leaves `value` as it was.
TextField {
    id: field

    property int value
    property int minimum: -2147483647
    signal edited(int value)

    text: Number(value).toLocaleString(Qt.locale(), 'f', 0)
    color: Theme.text
    selectionColor: Theme.accent
    selectedTextColor: Theme.onTint
    font.family: Theme.monoFamily
    font.weight: Font.Medium
    selectByMouse: true
    inputMethodHints: Qt.ImhFormattedNumbersOnly
    validator: IntValidator {
        bottom: field.minimum
        locale: Qt.locale().name
    }

    onTextEdited: {
        if (!acceptableInput)
            return
        let number = NaN
        try {
            number = Number.fromLocaleString(Qt.locale(), text)
        } catch (e) {
            return
        }
        if (Number.isInteger(number) && number !== value)
            edited(number)
    }
    // Show the stored number again, formatted, once the user is done typing.
    onEditingFinished: text = Qt.binding(() => Number(field.value).toLocaleString(Qt.locale(), 'f', 0))

    FocusRing {
        cornerRadius: Theme.fieldRadius
        visible: field.activeFocus
    }
}
