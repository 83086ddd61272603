import QtQuick
import QtQuick.Layouts
import QtTest
import Tersio

// The styled controls, on their own.
Item {
    id: root
    width: 400
    height: 300

    Component {
        id: progressComponent
        ThinProgressBar {
            width: 200
        }
    }
    Component {
        id: toggleComponent
        LabelledToggle {
            width: 300
            title: "Also write a WebP copy"
        }
    }
    Component {
        id: numberComponent
        NumberField {
            width: 300
            title: "Maximum width"
            suffix: "px"
        }
    }
    Component {
        id: miniComponent
        MiniField {
            width: 38
            minimum: 1
        }
    }
    Component {
        id: groupComponent
        SettingGroup {
            width: 300
            heading: "Dimensions"
        }
    }
    Component {
        id: buttonComponent
        ColumnLayout {
            width: 300
            property alias wideButton: wideButton
            property alias hugButton: hugButton
                PrimaryButton {
                    id: wideButton
                    text: "Add files or folders"
                    wide: true
                }
                PrimaryButton {
                    id: hugButton
                    text: "Stop"
                }
        }
    }
    Component {
        id: textComponent
        TextLine {}
    }

    TestCase {
        name: "Components"
        when: windowShown

        function fillWidth(bar) {
            return findChild(bar, "progressFill").width
        }

        function test_progressBarClamps_data() {
            return [
                { tag: "below zero", value: -0.2, fraction: 0 },
                { tag: "half", value: 0.5, fraction: 0.5 },
                { tag: "above one", value: 1.7, fraction: 1 }
            ]
        }
        function test_progressBarClamps(data) {
            const bar = createTemporaryObject(progressComponent, root, { value: data.value })
            compare(bar.height, 4)
            compare(fillWidth(bar), 200 * data.fraction)
        }

        function test_disabledToggleKeepsItsValue() {
            const toggle = createTemporaryObject(toggleComponent, root, { isOn: true, enabled: false })
            const spy = createTemporaryObject(signalSpyComponent, root, { target: toggle, signalName: "edited" })
            const control = findChild(toggle, "toggleSwitch")
            verify(control.checked, "the stored value is still shown")
            mouseClick(control)
            control.forceActiveFocus()
            keyClick(Qt.Key_Space)
            compare(spy.count, 0)
            verify(control.checked, "a click on a disabled switch changes nothing")
            toggle.isOn = false
            compare(control.checked, false, "follows the model while disabled")
        }

        function test_enabledToggleReportsAndFollowsModel() {
            const toggle = createTemporaryObject(toggleComponent, root, { isOn: false })
            const spy = createTemporaryObject(signalSpyComponent, root, { target: toggle, signalName: "edited" })
            const control = findChild(toggle, "toggleSwitch")
            mouseClick(control)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], true)
            // The owner refused the change: the switch shows the model again.
            compare(control.checked, false)
        }

        function test_numberFieldIgnoresLetters() {
            const field = createTemporaryObject(numberComponent, root, { value: 2400 })
            const spy = createTemporaryObject(signalSpyComponent, root, { target: field, signalName: "edited" })
            const input = findChild(field, "numberInput")
            input.forceActiveFocus()
            input.selectAll()
            keyClick(Qt.Key_A)
            keyClick(Qt.Key_B)
            compare(spy.count, 0)
            compare(field.value, 2400)
            input.selectAll()
            keyClick(Qt.Key_1)
            keyClick(Qt.Key_2)
            keyClick(Qt.Key_8)
            compare(spy.count, 3)
            compare(spy.signalArguments[2][0], 128)
        }

        function test_miniFieldStartsAtOne() {
            const field = createTemporaryObject(miniComponent, root, { value: 4 })
            const spy = createTemporaryObject(signalSpyComponent, root, { target: field, signalName: "edited" })
            field.forceActiveFocus()
            field.selectAll()
            keyClick(Qt.Key_0)
            keyClick(Qt.Key_Minus)
            compare(spy.count, 0, "zero and negatives are not ratios")
            keyClick(Qt.Key_Backspace)
            keyClick(Qt.Key_9)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], 9)
        }

        function test_groupWithoutNoteShowsOnlyHeading() {
            const group = createTemporaryObject(groupComponent, root)
            verify(findChild(group, "groupHeading").visible)
            verify(!findChild(group, "groupNote").visible)
            group.note = "PNG is lossless."
            verify(findChild(group, "groupNote").visible)
        }

        function test_wideButtonFillsAndOtherHugs() {
            const holder = createTemporaryObject(buttonComponent, root)
            compare(holder.wideButton.width, 300)
            verify(holder.hugButton.width < 100)
            verify(Math.abs(holder.hugButton.width - holder.hugButton.implicitWidth) < 1)
        }

        function test_pointsAreLogicalPixels() {
            const text = createTemporaryObject(textComponent, root, { size: 12, text: "Tersio" })
            compare(text.fontInfo.pixelSize, 12)
            compare(text.fontInfo.family, "Inter")
        }

        function test_everySymbolHasAGlyph() {
            for (const name of ["square.stack.3d.up", "photo", "film", "crop", "folder",
                                "wand.and.stars", "tray.and.arrow.down", "xmark", "trash"])
                compare(Icons.glyph(name).length, 1, name)
            compare(Icons.glyph("wand.and.stars").codePointAt(0), 0xE663)
            compare(Icons.glyph("no.such.symbol"), "")
        }

        function test_namedTintsAreThemeColours() {
            compare(Theme.named("success"), Theme.success)
            compare(Theme.named("textMuted"), Theme.textMuted)
            compare(Theme.canvas, Qt.color("#1A1D23"))
        }
    }

    Component {
        id: signalSpyComponent
        SignalSpy {}
    }
}
