import QtQuick
import QtQuick.Layouts
import Tersio

// The mobile crops, each editable in place, plus a way to add one.
ColumnLayout {
    id: panel

    required property var model
    readonly property var crops: model.settings.crops

    spacing: 12

    SettingGroup {
        heading: "Mobile crops"
        note: "Each enabled crop is encoded in the same browser formats you picked, using the widest area that fits the ratio."

        Repeater {
            objectName: "cropRows"
            model: panel.crops

            CropRow {
                anchorChoices: panel.model.settings.choices("anchor")
                Layout.fillWidth: true
                onDeleteRequested: id => panel.crops.removeCrop(id)
            }
        }

        QuietButton {
            objectName: "addCrop"
            text: "Add a crop"
            onClicked: panel.crops.addCrop()
        }
    }
}
