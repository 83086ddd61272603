import QtQuick
import QtQuick.Layouts
import Tersio

// Queue figures and the run or stop button at the foot of the queue.
Rectangle {
    id: bar

    required property var model

    implicitHeight: row.implicitHeight + 24
    color: Theme.sidebar

    Rectangle {
        width: parent.width
        height: Theme.hairline
        color: Theme.stroke
    }

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: Theme.gutter
        anchors.rightMargin: Theme.gutter
        anchors.topMargin: 12
        anchors.bottomMargin: 12
        spacing: 12

        RowLayout {
            spacing: 18

            Metric {
                objectName: "queuedMetric"
                value: bar.model.pendingCount
                label: "Queued"
            }
            Metric {
                objectName: "doneMetric"
                value: bar.model.doneCount
                label: "Done"
            }
            Metric {
                objectName: "savedMetric"
                value: ViewText.byteText(bar.model.totalSaved)
                label: "Saved"
            }
        }

        Item {
            Layout.fillWidth: true
        }

        TextLine {
            objectName: "timeLeft"
            visible: bar.model.isRunning && text.length > 0
            text: bar.model.timeLeftText
            size: 11
            color: Theme.textSecondary
        }

        PrimaryButton {
            objectName: "stopButton"
            visible: bar.model.isRunning
            text: "Stop"
            tint: Theme.danger
            onClicked: bar.model.cancel()
        }

        PrimaryButton {
            objectName: "runButton"
            visible: !bar.model.isRunning
            text: ViewText.runButtonLabel(bar.model.pendingCount)
            enabled: ViewText.canStart(bar.model.hasTools, bar.model.pendingCount)
            opacity: enabled ? 1.0 : Theme.disabledOpacity
            onClicked: bar.model.start()
        }
    }
}
