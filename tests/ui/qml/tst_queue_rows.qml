import QtQuick
import QtTest
import Tersio

// A long queue of names of every length, scrolled so the list reuses its rows.
Item {
    id: root
    width: 516 // the queue column of the smallest window
    height: 600

    readonly property var names: [
        "a.png",
        "ui-dolphin-default.png",
        "ill-milkyway-portrait.png",
        "icon-adwaita-folder-pictures.png",
        "IMG_0001.JPG",
        "a-very-long-holiday-photo-name-from-the-second-week-by-the-sea-at-dusk-final-v3.jpeg",
        "clip.mp4",
        "x.gif"
    ]
    readonly property var statuses: ["queued", "reading", "done", "failed", "cancelled", "working"]

    ListModel {
        id: rows
        Component.onCompleted: {
            for (let i = 0; i < 300; ++i) {
                const name = root.names[(i * 5) % root.names.length]
                append({ id: "row" + i, path: "/nowhere/" + name, fileName: name,
                         kind: name.endsWith(".mp4") ? "video" : "image",
                         sourceBytes: 1000 + i * 37, duration: 0,
                         status: root.statuses[i % root.statuses.length],
                         statusMessage: "", progress: 0.4, currentTask: "", outputs: [],
                         dimensionsLabel: "\u2014", primaryOutputBytes: -1 })
            }
        }
    }

    QtObject {
        id: fakeModel
        readonly property int itemCount: rows.count
        readonly property var items: rows
        function add(urls) {}
        function remove(id) {}
    }

    QueueView {
        id: view
        anchors.fill: parent
        model: fakeModel
    }

    TestCase {
        name: "QueueRows"
        when: windowShown

        function visibleRows(list) {
            const shown = []
            const children = list.contentItem.children
            for (let i = 0; i < children.length; ++i) {
                const row = children[i]
                if (!row.visible || row.fileName === undefined)
                    continue
                const top = row.y - list.contentY
                if (top + row.height > 0 && top < list.height)
                    shown.push(row)
            }
            return shown
        }

        // The pill starts after the name, the name never runs under the remove button, and a
        // name that fits is shown whole.
        function checkRows(list, when) {
            const shown = visibleRows(list)
            verify(shown.length > 2, when + ": rows on screen")
            for (const row of shown) {
                const name = findChild(row, "fileName")
                const pill = findChild(row, "statusPill")
                const remove = findChild(row, "removeButton")
                compare(name.text, row.fileName, when + ": name of " + row.fileName)
                const nameEnd = name.mapToItem(row, name.width, 0).x
                const pillStart = pill.mapToItem(row, 0, 0).x
                const removeStart = remove.mapToItem(row, 0, 0).x
                verify(pillStart >= nameEnd + 8 - 0.5,
                       when + ": pill at " + pillStart + " overlaps " + row.fileName
                       + " ending at " + nameEnd)
                verify(pillStart + pill.width <= removeStart - 4 + 0.5,
                       when + ": pill runs into the remove button on " + row.fileName)
                if (!name.truncated)
                    verify(name.width >= name.implicitWidth - 0.5,
                           when + ": " + row.fileName + " cut short without an ellipsis")
            }
        }

        function test_reusedRowsKeepTheirLayout() {
            const list = findChild(view, "queueList")
            verify(list)
            tryVerify(() => visibleRows(list).length > 2)
            checkRows(list, "first screen")
            // Wheel down past many screens, jump to the end, wheel back, jump to the start.
            for (let step = 0; step < 30; ++step) {
                mouseWheel(list, list.width / 2, list.height / 2, 0, -360)
                waitForRendering(list)
                checkRows(list, "wheel down " + step)
            }
            list.positionViewAtEnd()
            waitForRendering(list)
            checkRows(list, "end")
            for (let step = 0; step < 30; ++step) {
                mouseWheel(list, list.width / 2, list.height / 2, 0, 360)
                waitForRendering(list)
                checkRows(list, "wheel up " + step)
            }
            list.positionViewAtBeginning()
            waitForRendering(list)
            checkRows(list, "start")
        }
    }
}
