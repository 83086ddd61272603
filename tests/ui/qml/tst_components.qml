import QtQuick
import QtTest
import Tersio

// The styled controls, on their own.
Item {
    id: root
    width: 400
    height: 300

    Component { id: toggleComponent; LabelledToggle { width: 300; title: "Also write a WebP copy" } }
    Component { id: miniComponent; MiniField { width: 38; minimum: 1 } }
    Component { id: spyComponent; SignalSpy { signalName: "edited" } }

    TestCase {
        name: "Components"
        when: windowShown

        // A disabled switch ignores clicks and keys but follows the model; an enabled one
        // reports the click and shows the model again when its owner refuses the change.
        function test_toggleReportsAndFollowsTheModel() {
            const toggle = createTemporaryObject(toggleComponent, root, { isOn: true, enabled: false })
            const spy = createTemporaryObject(spyComponent, root, { target: toggle })
            const control = findChild(toggle, "toggleSwitch")
            mouseClick(control)
            control.forceActiveFocus()
            keyClick(Qt.Key_Space)
            compare(spy.count, 0)
            verify(control.checked)
            toggle.isOn = false
            compare(control.checked, false)
            toggle.enabled = true
            mouseClick(control)
            compare(spy.signalArguments[0][0], true)
            compare(control.checked, false)
        }

        function test_miniFieldStartsAtOne() {
            const field = createTemporaryObject(miniComponent, root, { value: 4 })
            const spy = createTemporaryObject(spyComponent, root, { target: field })
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
}
