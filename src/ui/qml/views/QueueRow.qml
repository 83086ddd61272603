import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tersio

// One queued file: thumbnail, name and status, facts, live progress, failure or results.
Card {
    id: row

    required property var appModel
    required property var model // the row's roles; model.id is the item's id
    required property string path
    required property string fileName
    required property string kind
    required property double sourceBytes
    required property double duration
    required property string status
    required property string statusMessage
    required property double progress
    required property string currentTask
    required property var outputs
    required property string dimensionsLabel
    required property double primaryOutputBytes

    // {fileName, sourcePath, sourceBytes, label, outputPath, outputBytes, score}
    signal compareRequested(var request, Item opener)

    readonly property var pill: ViewText.statusPill(status, sourceBytes, primaryOutputBytes)
    readonly property int phase: ViewText.rowPhase(status)
    readonly property bool active: phase === ViewText.Active

    padding: 12
    Accessible.role: Accessible.ListItem
    Accessible.name: fileName + ", " + pill.text

    RowLayout {
        width: row.availableWidth
        spacing: 12

        Thumbnail {
            kind: row.kind
            path: row.path
            Layout.alignment: Qt.AlignTop
        }

        ColumnLayout {
            spacing: 6
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop

            // Placed by plain bindings, not a layout: a reused row must follow its new name at
            // once, and a pooled layout can keep the previous occupant's positions.
            Item {
                id: titleLine
                readonly property real spacing: 8
                implicitHeight: Math.max(name.implicitHeight, pill.implicitHeight,
                                         remove.implicitHeight)
                Layout.fillWidth: true

                TextLine {
                    id: name
                    objectName: "fileName"
                    text: row.fileName
                    font.weight: Font.DemiBold
                    elide: Text.ElideMiddle
                    anchors.verticalCenter: parent.verticalCenter
                    // As wide as the name needs, shortened only when the line is full.
                    width: Math.max(0, Math.min(fullName.advanceWidth,
                                                titleLine.width - pill.width - remove.width
                                                - 3 * titleLine.spacing - 4))

                    TextMetrics {
                        id: fullName
                        font: name.font
                        text: name.text
                    }
                }
                StatusPill {
                    id: pill
                    objectName: "statusPill"
                    x: name.width + titleLine.spacing
                    anchors.verticalCenter: parent.verticalCenter
                    text: row.pill.text
                    tint: Theme.named(row.pill.tint)
                }
                PlainButton {
                    id: remove
                    objectName: "removeButton"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    symbol: "xmark"
                    size: 9
                    bold: true
                    tint: Theme.textMuted
                    text: "Remove from queue"
                    ToolTip.text: text
                    ToolTip.visible: hovered || visualFocus
                    ToolTip.delay: 600
                    onClicked: row.appModel.remove(row.model.id)
                }
            }

            TextLine {
                objectName: "metaLine"
                text: ViewText.metaLine(row.sourceBytes, row.dimensionsLabel, row.kind, row.duration)
                size: 10.5
                mono: true
                font.weight: Font.Medium
                color: Theme.textMuted
                elide: Text.ElideRight
                Layout.fillWidth: true
            }

            ColumnLayout {
                objectName: "progressBlock"
                visible: row.active
                spacing: 4
                Layout.topMargin: 2
                Layout.fillWidth: true

                ThinProgressBar {
                    value: row.progress
                    Layout.fillWidth: true
                }
                TextLine {
                    objectName: "progressCaption"
                    text: ViewText.progressCaption(row.currentTask, row.progress)
                    size: 10.5
                    color: Theme.textSecondary
                }
            }

            TextLine {
                objectName: "failureText"
                visible: row.phase === ViewText.Failed
                text: row.statusMessage
                size: 10.5
                color: Theme.danger
                wrapMode: Text.Wrap
                maximumLineCount: 3
                elide: Text.ElideRight
                Layout.fillWidth: true
            }

            ColumnLayout {
                objectName: "results"
                visible: row.phase === ViewText.Done && row.outputs.length > 0
                spacing: 4
                Layout.topMargin: 2
                Layout.fillWidth: true

                Repeater {
                    model: row.phase === ViewText.Done ? row.outputs : []

                    ResultLine {
                        id: result
                        required property var modelData
                        label: modelData.label
                        bytes: modelData.bytes
                        path: modelData.path
                        ssim: modelData.ssim ?? -1
                        note: modelData.note ?? ""
                        comparable: row.kind === "image"
                        Layout.fillWidth: true
                        onCompareRequested: opener => row.compareRequested({
                            fileName: row.fileName,
                            sourcePath: row.path,
                            sourceBytes: row.sourceBytes,
                            label: result.label,
                            outputPath: result.path,
                            outputBytes: result.bytes,
                            score: result.ssim
                        }, opener)
                    }
                }
            }
        }
    }
}
