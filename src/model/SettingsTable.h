#pragma once

// Every setting, once, in the order of the stored document and of the command line's help.
//
//   KIND(Type, name, Name, default, since, command-line flags…)
//
// KIND is VALUE (a number, switch or text), OPTION (an Options enum: its raw value in JSON, in
// QML and on the command line) or LIST (the crops, which QML edits through their own model).
// The record, its JSON encoding and strict decoding, the QML properties with their signals and
// the command line's flags and help all expand this one list. The flag expressions are read
// only by cli/CliFlags.cpp; a setting without a flag of its own leaves them out.
//
// `since` is the first version of the stored document that holds the key: 1 for the keys every
// document has, higher for keys added later. A document may leave out only those (they keep their
// defaults), so stores written before a key existed still load.
//
// Adding a setting: one line here (with the next `since`), then its control in QML.

// clang-format off
#define TERSIO_SETTINGS(VALUE, OPTION, LIST)                                                        \
    OPTION(ImageFormat, imageFormat, ImageFormat, ImageFormat::matchSource, 1,                      \
           choice("--image-format", "image format"))                                                \
    VALUE(double, imageQuality, ImageQuality, 78.0, 1,                                              \
          quality("--image-quality", "image quality"))                                              \
    VALUE(qint64, imageMaxWidth, ImageMaxWidth, 2400, 1,                                            \
          width("--image-max-width", "cap image width at PX pixels, turning the cap on",            \
                &TersioSettings::imageLimitWidth))                                                  \
    VALUE(bool, imageLimitWidth, ImageLimitWidth, true, 1,                                          \
          noWidthCap("--no-width-cap", "keep every image and video at its own width"))              \
    VALUE(bool, alsoEmitWebP, AlsoEmitWebP, false, 1,                                               \
          turnsOn("--webp-copy", "also write a WebP copy of each image"))                           \
    VALUE(bool, stripMetadata, StripMetadata, true, 1,                                              \
          turnsOff("--keep-metadata", "keep EXIF, GPS and other metadata in images"))               \
    VALUE(double, videoQuality, VideoQuality, 62.0, 1,                                              \
          quality("--video-quality", "video quality"))                                              \
    VALUE(qint64, videoMaxWidth, VideoMaxWidth, 1920, 1,                                            \
          width("--video-max-width", "cap video width at PX pixels, turning the cap on",            \
                &TersioSettings::videoLimitWidth))                                                  \
    VALUE(bool, videoLimitWidth, VideoLimitWidth, true, 1)                                          \
    OPTION(SpeedPreset, speed, Speed, SpeedPreset::medium, 1,                                       \
           choice("--speed", "encoder speed"))                                                      \
    VALUE(bool, makeH264, MakeH264, true, 1, rendition("h264", "the H.264 MP4"))                    \
    VALUE(bool, makeHEVC, MakeHEVC, false, 1, rendition("hevc", "the HEVC MP4"))                    \
    VALUE(bool, makeWebM, MakeWebM, true, 1, rendition("webm", "the VP9 WebM"))                     \
    VALUE(bool, makePoster, MakePoster, true, 1, rendition("poster", "the JPEG poster frame"))      \
    OPTION(AudioMode, audio, Audio, AudioMode::keep, 1, choice("--audio", "video audio"))           \
    VALUE(qint64, audioKbps, AudioKbps, 128, 1,                                                     \
          integer("--audio-kbps", "K", "audio bit rate in kbit/s", 1, 10000))                       \
    LIST(QList<CropVariant>, cropVariants, CropVariants, CropVariant::starters(), 1,                \
         cropRatios("--crops", "enable only the stored crops with these ratios, e.g. 9x16,1x1"),    \
         noCrops("--no-crops", "write no mobile crops"))                                            \
    OPTION(OutputMode, outputMode, OutputMode, OutputMode::subfolder, 1,                            \
           folder("--output", "write every output into DIR"))                                       \
    VALUE(QString, subfolderName, SubfolderName, QStringLiteral("optimised"), 1,                    \
          subfolder("--subfolder", "write outputs into NAME beside each source"))                   \
    VALUE(QString, customFolderPath, CustomFolderPath, QString(), 1)                                \
    VALUE(qint64, maxConcurrent, MaxConcurrent, 2, 1,                                               \
          integer("--jobs", "N", "files processed at once", 1, 6))                                  \
    VALUE(bool, overwriteExisting, OverwriteExisting, true, 1,                                      \
          turnsOff("--no-overwrite", "leave outputs that already exist alone"))                     \
    VALUE(bool, imageQualityAuto, ImageQualityAuto, false, 2,                                       \
          turnsOff("--fixed-quality", "encode images at the image quality, with no search"))        \
    OPTION(QualityTarget, imageQualityTarget, ImageQualityTarget, QualityTarget::close, 2,          \
           autoQuality("--auto-quality", "search each image's quality for the look TARGET"))        \
    VALUE(bool, measureVideoQuality, MeasureVideoQuality, false, 2,                                 \
          turnsOn("--measure-video-quality", "score posters and videos against their source"))
// clang-format on

// For expansions that treat every kind alike.
#define TERSIO_EVERY_SETTING(X) TERSIO_SETTINGS(X, X, X)
