import QtQuick
import QtQuick.Layouts
import Tersio

// Image format, quality, width cap and extras.
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
        heading: "Format"

        MenuPicker {
            objectName: "imageFormatPicker"
            choices: panel.settings.choices("imageFormat")
            value: panel.settings.imageFormat
            Accessible.name: "Format"
            onEdited: value => panel.settings.imageFormat = value
        }
        TextLine {
            objectName: "webpWarning"
            visible: rules.webpMissing
            text: "This FFmpeg build has no libwebp, so WebP is unavailable."
            size: 10.5
            color: Theme.warning
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        TextLine {
            objectName: "avifWarning"
            visible: rules.avifMissing
            text: "This FFmpeg build has no AV1 encoder, so AVIF is unavailable."
            size: 10.5
            color: Theme.warning
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }

    SettingGroup {
        heading: "Compression"
        note: "PNG is lossless, so the slider only affects JPEG, WebP and AVIF."

        LabelledToggle {
            objectName: "autoQualityToggle"
            title: "Quality: Automatic"
            subtitle: "Each image gets the lowest quality that still looks as close as you ask."
            isOn: panel.settings.imageQualityAuto
            onEdited: on => panel.settings.imageQualityAuto = on
        }
        MenuPicker {
            objectName: "qualityTargetPicker"
            visible: panel.settings.imageQualityAuto
            choices: panel.settings.choices("imageQualityTarget")
            value: panel.settings.imageQualityTarget
            Accessible.name: "Automatic quality target"
            onEdited: value => panel.settings.imageQualityTarget = value
        }
        QualitySlider {
            objectName: "imageQualitySlider"
            visible: !panel.settings.imageQualityAuto
            title: "Quality"
            value: panel.settings.imageQuality
            readout: Math.trunc(panel.settings.imageQuality).toString()
            lowLabel: "Smallest file"
            highLabel: "Best looking"
            onMoved: value => panel.settings.imageQuality = value
        }
    }

    SettingGroup {
        heading: "Dimensions"

        LabelledToggle {
            objectName: "imageCapToggle"
            title: "Cap the width"
            subtitle: "Anything narrower is left at its original size."
            isOn: panel.settings.imageLimitWidth
            onEdited: on => panel.settings.imageLimitWidth = on
        }
        NumberField {
            objectName: "imageMaxWidth"
            visible: panel.settings.imageLimitWidth
            title: "Maximum width"
            value: panel.settings.imageMaxWidth
            suffix: "px"
            onEdited: value => panel.settings.imageMaxWidth = value
        }
    }

    SettingGroup {
        heading: "Extras"

        LabelledToggle {
            objectName: "webpCopyToggle"
            title: "Also write a WebP copy"
            subtitle: "Gives you a modern format alongside the original type."
            enabled: rules.webpAvailable
            isOn: panel.settings.alsoEmitWebP
            onEdited: on => panel.settings.alsoEmitWebP = on
        }
        LabelledToggle {
            title: "Strip metadata"
            subtitle: "Removes EXIF, GPS and colour profile comments."
            isOn: panel.settings.stripMetadata
            onEdited: on => panel.settings.stripMetadata = on
        }
    }
}
