import QtQuick
import QtTest
import Tersio

// A long queue of names of every length, scrolled so the list reuses its rows.
Item {
    id: root
    width: 516 // the queue column of the smallest window
    height: 600

    ListModel {
        id: rows
        Component.onCompleted: {
            const names = ["a.png", "ui-dolphin-default.png", "ill-milkyway-portrait.png",
                "icon-adwaita-folder-pictures.png", "IMG_0001.JPG", "clip.mp4", "x.gif",
                "a-very-long-holiday-photo-name-from-the-second-week-by-the-sea-at-dusk-final-v3.jpeg"]
            const statuses = ["queued", "reading", "done", "failed", "cancelled", "working"]
            for (let i = 0; i < 300; ++i) {
                const name = names[(i * 5) % names.length]
                append({ id: "row" + i, path: "/nowhere/" + name, fileName: name, duration: 0,
                         kind: name.endsWith(".mp4") ? "video" : "image", sourceBytes: 1000 + i * 37,
                         status: statuses[i % statuses.length], statusMessage: "", progress: 0.4,
                         currentTask: "", outputs: [], dimensionsLabel: "\u2014", primaryOutputBytes: -1 })
            }
        }
    }

    QueueView {
        id: view
        anchors.fill: parent
        model: QtObject {
            readonly property int itemCount: rows.count
            readonly property var items: rows
            function add(urls) {}
            function remove(id) {}
        }
    }

    TestCase {
        name: "QueueRows"
        when: windowShown

        // The pill starts after the name, the name never runs under the remove button, and a
        // name that fits is shown whole.
        function checkRows(list, when) {
            let checked = 0
            for (let i = 0; i < list.contentItem.children.length; ++i) {
                const row = list.contentItem.children[i]
                const top = row.y - list.contentY
                if (!row.visible || row.fileName === undefined || top + row.height <= 0 || top >= list.height)
                    continue
                ++checked
                const name = findChild(row, "fileName")
                const pill = findChild(row, "statusPill")
                const nameEnd = name.mapToItem(row, name.width, 0).x
                const pillStart = pill.mapToItem(row, 0, 0).x
                const removeStart = findChild(row, "removeButton").mapToItem(row, 0, 0).x
                compare(name.text, row.fileName, when)
                verify(pillStart >= nameEnd + 8 - 0.5, `${when}: pill overlaps ${row.fileName}`)
                verify(pillStart + pill.width <= removeStart - 4 + 0.5,
                       `${when}: pill runs into the remove button on ${row.fileName}`)
                verify(name.truncated || name.width >= name.implicitWidth - 0.5,
                       `${when}: ${row.fileName} cut short without an ellipsis`)
            }
            verify(checked > 2, when + ": rows on screen")
        }

        function test_reusedRowsKeepTheirLayout() {
            const list = findChild(view, "queueList")
            tryVerify(() => list.contentItem.children.length > 2)
            waitForRendering(list)
            checkRows(list, "first screen")
            // Wheel down past many screens, jump to the end, wheel back, jump to the start.
            for (const [steps, delta, jump] of [[30, -360, "positionViewAtEnd"],
                                                [30, 360, "positionViewAtBeginning"]]) {
                for (let step = 0; step < steps; ++step) {
                    mouseWheel(list, list.width / 2, list.height / 2, 0, delta)
                    waitForRendering(list)
                    checkRows(list, `wheel ${delta} step ${step}`)
                }
                list[jump]()
                waitForRendering(list)
                checkRows(list, jump)
            }
        }
    }
}
