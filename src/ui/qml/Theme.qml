pragma Singleton
import QtQuick

// The one dark look: palette, named sizes and the type scale. Sizes are design points, drawn
// as logical pixels.
QtObject {
    id: theme

    // Palette
    readonly property color accent: "#4C8DFF"
    readonly property color accentDeep: "#2E6BE0"
    readonly property color accentWash: Qt.rgba(0x4C / 255, 0x8D / 255, 0xFF / 255, 0.14)
    readonly property color success: "#3DD68C"
    readonly property color warning: "#F5B544"
    readonly property color danger: "#F3705A"
    readonly property color sidebar: "#15171C"
    readonly property color canvas: "#1A1D23"
    readonly property color surface: "#21252D"
    readonly property color surfaceRaised: "#282D37"
    readonly property color stroke: Qt.rgba(1, 1, 1, 0.07)
    readonly property color strokeStrong: Qt.rgba(1, 1, 1, 0.14)
    readonly property color text: "#F2F5FA"
    readonly property color textSecondary: "#9AA3B2"
    readonly property color textMuted: "#646C7A"
    // Text and knobs drawn on an accent or tinted fill.
    readonly property color onTint: "#FFFFFF"

    // Sizes
    readonly property real radius: 12
    readonly property real radiusSmall: 8
    readonly property real gutter: 18
    readonly property real sidebarWidth: 214
    readonly property real inspectorWidth: 330
    readonly property int windowMinWidth: 1060
    readonly property int windowMinHeight: 680
    readonly property real fieldRadius: 6
    readonly property real thumbSize: 52
    readonly property real progressHeight: 4
    readonly property real hairline: 1
    readonly property real focusRingWidth: 2
    readonly property real disabledOpacity: 0.45

    // Type
    readonly property string uiFamily: "Inter"
    readonly property string monoFamily: "JetBrains Mono"
    readonly property string iconFamily: "Material Icons"

    // Qt Quick fonts take points at 96 logical dots per inch; design points are pixels.
    function pt(size) {
        return size * 72 / 96
    }

    // A palette colour by name, as the C++ text rules name tints.
    function named(name) {
        return theme[name] !== undefined ? theme[name] : text
    }

    function withAlpha(c, alpha) {
        return Qt.rgba(c.r, c.g, c.b, c.a * alpha)
    }
}
