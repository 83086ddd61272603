import QtQuick
import QtQuick.Layouts
import Tersio

// Video quality and speed, the browser formats, the width cap and the audio track.
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
        heading: "Compression"
        contentSpacing: 12

        QualitySlider {
            title: "Quality"
            value: panel.settings.videoQuality
            readout: "CRF " + rules.videoCrf
            lowLabel: "Smallest file"
            highLabel: "Best looking"
            onMoved: value => panel.settings.videoQuality = value
        }
        RowLayout {
            spacing: 10
            Layout.fillWidth: true

            TextLine {
                text: "Encoding speed"
            }
            MenuPicker {
                choices: panel.settings.choices("speed")
                value: panel.settings.speed
                size: 12.5
                Layout.fillWidth: true
                Accessible.name: "Encoding speed"
                onEdited: value => panel.settings.speed = value
            }
        }
        LabelledToggle {
            objectName: "measureVideoToggle"
            title: "Measure video quality"
            subtitle: "Scores posters and videos against the original on up to 10 frames each."
            isOn: panel.settings.measureVideoQuality
            onEdited: on => panel.settings.measureVideoQuality = on
        }
    }

    SettingGroup {
        heading: "Browser formats"
        note: "MP4 plays everywhere. WebM is usually 20\u201330% smaller in Chrome and Firefox. Add HEVC when Safari needs the smallest file."

        LabelledToggle {
            title: "MP4 \u00B7 H.264"
            subtitle: "The safe baseline for every browser and device."
            enabled: rules.h264Available
            isOn: panel.settings.makeH264
            onEdited: on => panel.settings.makeH264 = on
        }
        LabelledToggle {
            title: "WebM \u00B7 VP9"
            subtitle: "Smaller file for browsers that support it."
            enabled: rules.webmAvailable
            isOn: panel.settings.makeWebM
            onEdited: on => panel.settings.makeWebM = on
        }
        LabelledToggle {
            title: "MP4 \u00B7 HEVC"
            subtitle: "Tagged hvc1 so Safari and Quick Look accept it."
            enabled: rules.hevcAvailable
            isOn: panel.settings.makeHEVC
            onEdited: on => panel.settings.makeHEVC = on
        }
        LabelledToggle {
            title: "Poster frame"
            subtitle: "A JPEG grabbed early in the clip for the video poster attribute."
            isOn: panel.settings.makePoster
            onEdited: on => panel.settings.makePoster = on
        }
    }

    SettingGroup {
        heading: "Dimensions"

        LabelledToggle {
            objectName: "videoCapToggle"
            title: "Cap the width"
            subtitle: "Height follows automatically and stays even-numbered."
            isOn: panel.settings.videoLimitWidth
            onEdited: on => panel.settings.videoLimitWidth = on
        }
        NumberField {
            objectName: "videoMaxWidth"
            visible: panel.settings.videoLimitWidth
            title: "Maximum width"
            value: panel.settings.videoMaxWidth
            suffix: "px"
            onEdited: value => panel.settings.videoMaxWidth = value
        }
    }

    SettingGroup {
        heading: "Audio"

        MenuPicker {
            objectName: "audioPicker"
            choices: panel.settings.choices("audio")
            value: panel.settings.audio
            Accessible.name: "Audio"
            onEdited: value => panel.settings.audio = value
        }
        NumberField {
            objectName: "audioBitrate"
            visible: rules.audioBitrateShown
            title: "Bitrate"
            value: panel.settings.audioKbps
            suffix: "k"
            onEdited: value => panel.settings.audioKbps = value
        }
    }
}
