import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tersio

// Where renditions are written and how they are named.
ColumnLayout {
    id: panel

    required property var model
    readonly property var settings: model.settings

    PanelRules {
        id: rules
        model: panel.model
    }

    spacing: 12

    SettingGroup {
        heading: "Where files land"

        SegmentedPicker {
            objectName: "outputModePicker"
            accessibleName: "Where files land"
            choices: panel.settings.choices("outputMode")
            value: panel.settings.outputMode
            onEdited: value => panel.settings.outputMode = value
        }

        RowLayout {
            objectName: "subfolderRow"
            visible: rules.subfolderNameShown
            Layout.fillWidth: true

            TextLine {
                text: "Folder name"
                size: 11.5
                font.weight: Font.Medium
                color: Theme.textSecondary
            }
            Item {
                Layout.fillWidth: true
            }
            TextField {
                id: folderName
                text: panel.settings.subfolderName
                placeholderText: "optimised"
                placeholderTextColor: Theme.textMuted
                color: Theme.text
                selectionColor: Theme.accent
                selectedTextColor: Theme.onTint
                font.family: Theme.monoFamily
                font.pointSize: Theme.pt(11.5)
                font.weight: Font.Medium
                horizontalAlignment: TextInput.AlignRight
                selectByMouse: true
                padding: 2
                Layout.preferredWidth: 110
                Accessible.name: "Folder name"
                onTextEdited: panel.settings.subfolderName = text
                onEditingFinished: text = Qt.binding(() => panel.settings.subfolderName)
                background: FocusRing {
                    cornerRadius: 4
                    anchors.margins: -1
                    visible: folderName.activeFocus
                }
            }
        }

        ColumnLayout {
            objectName: "customFolderBlock"
            visible: rules.customFolderShown
            spacing: 6
            Layout.fillWidth: true

            TextLine {
                objectName: "customFolderPath"
                text: ViewText.elideMiddle(panel.settings.customFolderPath.length > 0
                                           ? panel.settings.customFolderPath
                                           : "No folder chosen yet.", font, width, 2)
                size: 10.5
                color: Theme.textMuted
                wrapMode: Text.Wrap
                maximumLineCount: 2
                Layout.fillWidth: true
            }
            QuietButton {
                text: "Choose folder"
                onClicked: folderChooser.open()
            }
        }

        LabelledToggle {
            title: "Overwrite existing files"
            subtitle: "Turn this off to skip anything already exported."
            isOn: panel.settings.overwriteExisting
            onEdited: on => panel.settings.overwriteExisting = on
        }
    }

    SettingGroup {
        heading: "Naming"
        note: "Renditions keep the original name. Crops gain their ratio, HEVC gains -hevc, and the still is named -poster."
        contentSpacing: 3

        Repeater {
            model: ["hero.mp4", "hero.webm", "hero-hevc.mp4", "hero-9x16.mp4", "hero-poster.jpg"]

            TextLine {
                required property string modelData
                text: modelData
                size: 10.5
                mono: true
                font.weight: Font.Medium
                color: Theme.textMuted
            }
        }
    }

    FolderDialog {
        id: folderChooser
        onAccepted: panel.settings.customFolderPath = ViewText.localPath(selectedFolder)
    }
}
