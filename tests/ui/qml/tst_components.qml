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
        id: miniComponent
        MiniField {
            width: 38
            minimum: 1
        }
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

    }

    Component {
        id: signalSpyComponent
        SignalSpy {}
    }
}
