pragma Singleton
import QtQuick

// Symbol names used by the views, mapped to their Material Icons codepoints.
QtObject {
    readonly property var codepoints: ({
        "square.stack.3d.up": 0xE53B,   // layers
        "photo": 0xE410,
        "film": 0xE02C,                 // movie
        "crop": 0xE3BE,
        "folder": 0xE2C7,
        "wand.and.stars": 0xE663,       // auto_fix_high
        "tray.and.arrow.down": 0xE168,  // move_to_inbox
        "xmark": 0xE5CD,                // close
        "trash": 0xE872,                // delete
        "chevron.up.chevron.down": 0xE5D7, // unfold_more
        "chevron.left.chevron.right": 0xE86F // code
    })

    // The glyph for a symbol name; empty for a name that is not in the table.
    function glyph(name) {
        const code = codepoints[name]
        return code === undefined ? "" : String.fromCodePoint(code)
    }
}
