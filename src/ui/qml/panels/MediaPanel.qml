import QtQuick
import QtQuick.Layouts
import Tersio

// Queue commands, the session's totals and how many files run at once.
ColumnLayout {
    id: panel

    required property var model
    readonly property var settings: model.settings

    spacing: 12

    SettingGroup {
        heading: "Queue"
        note: "Add whole folders and the app keeps only the media it can read."
        contentSpacing: 8

        PrimaryButton {
            id: addButton
            text: "Add files or folders"
            wide: true
            onClicked: chooser.popup(addButton)

            MediaChooser {
                id: chooser
                onChosen: urls => panel.model.add(urls)
            }
        }
        RowLayout {
            spacing: 8

            QuietButton {
                text: "Clear finished"
                onClicked: panel.model.clearFinished()
            }
            QuietButton {
                objectName: "clearAll"
                text: "Clear all"
                onClicked: panel.model.clearAll()
            }
        }
    }

    SettingGroup {
        heading: "Session totals"
        contentSpacing: 8

        StatRow {
            objectName: "filesFinished"
            label: "Files finished"
            value: panel.model.doneCount
        }
        StatRow {
            label: "Original size"
            value: ViewText.byteText(panel.model.totalSource)
        }
        StatRow {
            label: "Space saved"
            value: ViewText.byteText(panel.model.totalSaved)
        }
    }

    SettingGroup {
        heading: "Speed"
        note: "How many files are encoded at the same time. FFmpeg already uses every core, so 2 is usually the sweet spot."

        SegmentedPicker {
            objectName: "concurrencyPicker"
            accessibleName: "Files at once"
            choices: [1, 2, 3, 4].map(n => ({ value: n, label: n.toString() }))
            value: Number(panel.settings.maxConcurrent)
            onEdited: value => panel.settings.maxConcurrent = value
        }
    }
}
