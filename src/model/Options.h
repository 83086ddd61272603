#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <span>

// The option enums of the settings record. Each case's raw value is its persisted form and is
// spelled exactly like the case; labels are the texts the inspector shows.

enum class ImageFormat { matchSource, jpeg, webp, avif, png };
enum class SpeedPreset { veryfast, faster, medium, slow };
enum class AudioMode { keep, mono, remove };
enum class CropAnchor { center, top, bottom, left, right };
enum class OutputMode { subfolder, customFolder };
enum class InspectorTab { media, image, video, crops, output };
// How close an image picked by the automatic quality must look to its source.
enum class QualityTarget { same, close, small };

template <typename E> struct OptionCase {
    E value;
    const char* raw;
    const char* label;
};

template <typename E> struct OptionTable;

template <> struct OptionTable<ImageFormat> {
    static constexpr std::array<OptionCase<ImageFormat>, 5> cases{{
        {ImageFormat::matchSource, "matchSource", "Match source"},
        {ImageFormat::jpeg, "jpeg", "JPEG"},
        {ImageFormat::webp, "webp", "WebP"},
        {ImageFormat::avif, "avif", "AVIF"},
        {ImageFormat::png, "png", "PNG"},
    }};
};

template <> struct OptionTable<SpeedPreset> {
    static constexpr std::array<OptionCase<SpeedPreset>, 4> cases{{
        {SpeedPreset::veryfast, "veryfast", "Fastest"},
        {SpeedPreset::faster, "faster", "Fast"},
        {SpeedPreset::medium, "medium", "Balanced"},
        {SpeedPreset::slow, "slow", "Smallest files"},
    }};
};

template <> struct OptionTable<AudioMode> {
    static constexpr std::array<OptionCase<AudioMode>, 3> cases{{
        {AudioMode::keep, "keep", "Keep stereo"},
        {AudioMode::mono, "mono", "Downmix to mono"},
        {AudioMode::remove, "remove", "Remove audio"},
    }};
};

template <> struct OptionTable<CropAnchor> {
    static constexpr std::array<OptionCase<CropAnchor>, 5> cases{{
        {CropAnchor::center, "center", "Centre"},
        {CropAnchor::top, "top", "Top"},
        {CropAnchor::bottom, "bottom", "Bottom"},
        {CropAnchor::left, "left", "Left"},
        {CropAnchor::right, "right", "Right"},
    }};
};

template <> struct OptionTable<OutputMode> {
    static constexpr std::array<OptionCase<OutputMode>, 2> cases{{
        {OutputMode::subfolder, "subfolder", "Beside the original"},
        {OutputMode::customFolder, "customFolder", "Chosen folder"},
    }};
};

template <> struct OptionTable<InspectorTab> {
    static constexpr std::array<OptionCase<InspectorTab>, 5> cases{{
        {InspectorTab::media, "media", "Media"},
        {InspectorTab::image, "image", "Images"},
        {InspectorTab::video, "video", "Video"},
        {InspectorTab::crops, "crops", "Mobile crops"},
        {InspectorTab::output, "output", "Output"},
    }};
};

template <> struct OptionTable<QualityTarget> {
    static constexpr std::array<OptionCase<QualityTarget>, 3> cases{{
        {QualityTarget::same, "same", "Looks the same as the original"},
        {QualityTarget::close, "close", "Close"},
        {QualityTarget::small, "small", "Small"},
    }};
};

namespace Options {

template <typename E> constexpr const OptionCase<E>& entry(E value) {
    for (const auto& c : OptionTable<E>::cases)
        if (c.value == value)
            return c;
    return OptionTable<E>::cases.front(); // unreachable for a closed enum
}

template <typename E> QString rawValue(E value) {
    return QString::fromLatin1(entry(value).raw);
}

// The inspector's text for a case (the title for InspectorTab).
template <typename E> QString label(E value) {
    return QString::fromUtf8(entry(value).label);
}

// Exact, case-sensitive match of a raw value; anything else yields no value.
template <typename E> std::optional<E> fromRaw(const QString& raw) {
    for (const auto& c : OptionTable<E>::cases)
        if (raw == QLatin1String(c.raw))
            return c.value;
    return std::nullopt;
}

template <typename E> constexpr auto allCases() {
    std::array<E, OptionTable<E>::cases.size()> all{};
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = OptionTable<E>::cases[i].value;
    return all;
}

template <typename E> QStringList allLabels() {
    QStringList labels;
    for (const auto& c : OptionTable<E>::cases)
        labels << QString::fromUtf8(c.label);
    return labels;
}

template <typename E> QStringList allRawValues() {
    QStringList raws;
    for (const auto& c : OptionTable<E>::cases)
        raws << QString::fromLatin1(c.raw);
    return raws;
}

} // namespace Options
