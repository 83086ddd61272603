import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tersio

// Whether ffmpeg was found, where, how to install it, and how to point at it by hand.
Rectangle {
    id: box

    required property var model

    implicitHeight: column.implicitHeight + 22
    radius: Theme.radius
    color: Theme.withAlpha(Theme.canvas, 0.7)
    border.width: Theme.hairline
    border.color: Theme.stroke

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 11
        spacing: 8

        RowLayout {
            spacing: 7

            Rectangle {
                objectName: "toolDot"
                width: 7
                height: 7
                radius: 3.5
                color: box.model.hasTools ? Theme.success : Theme.danger
            }
            TextLine {
                objectName: "toolState"
                text: box.model.hasTools ? "FFmpeg ready" : "FFmpeg missing"
                size: 11.5
                font.weight: Font.Medium
                color: Theme.textSecondary
            }
        }

        TextLine {
            id: note
            objectName: "toolNote"
            size: 10
            color: Theme.textMuted
            wrapMode: Text.Wrap
            maximumLineCount: 3
            text: ViewText.elideMiddle(box.model.toolNote, font, width, 3)
            Layout.fillWidth: true
        }

        Rectangle {
            visible: !box.model.hasTools
            implicitWidth: hint.implicitWidth
            implicitHeight: hint.implicitHeight
            radius: Theme.fieldRadius
            color: Theme.accentWash

            TextEdit {
                id: hint
                objectName: "installHint"
                text: "sudo apt install ffmpeg"
                readOnly: true
                selectByMouse: true
                selectByKeyboard: true
                activeFocusOnTab: true
                leftPadding: 7
                rightPadding: 7
                topPadding: 4
                bottomPadding: 4
                color: Theme.accent
                selectionColor: Theme.accent
                selectedTextColor: Theme.onTint
                font.family: Theme.monoFamily
                font.pointSize: Theme.pt(10.5)
                font.weight: Font.Medium
                Accessible.role: Accessible.EditableText
                Accessible.name: "Install command"

                FocusRing {
                    cornerRadius: Theme.fieldRadius
                    visible: hint.activeFocus
                }
            }
        }

        RowLayout {
            spacing: 6

            QuietButton {
                text: "Locate\u2026"
                onClicked: toolChooser.open()
            }
            QuietButton {
                text: "Recheck"
                onClicked: box.model.refreshTools()
            }
        }
    }

    FileDialog {
        id: toolChooser
        title: "Choose the ffmpeg binary"
        fileMode: FileDialog.OpenFile
        currentFolder: "file:///usr/bin"
        onAccepted: box.model.setCustomFFmpeg(selectedFile)
    }
}
