#include "EncoderRules.h"

#include "CommandBuilder.h"

namespace EncoderRules {

bool canWrite(ImageFormat format, const EncoderCaps& caps) {
    switch (format) {
    case ImageFormat::webp:
        return caps.has("libwebp");
    case ImageFormat::avif:
        return caps.has("libsvtav1") || caps.has("libaom-av1");
    case ImageFormat::matchSource:
    case ImageFormat::jpeg:
    case ImageFormat::png:
        return true; // ffmpeg's own encoders
    }
    return false;
}

bool canWrite(Rendition rendition, const EncoderCaps& caps) {
    switch (rendition) {
    case Rendition::h264:
        return caps.has("libx264");
    case Rendition::hevc:
        return caps.has("libx265");
    case Rendition::webm:
        return caps.has("libvpx-vp9");
    }
    return false;
}

int h264Crf(double quality) {
    return CommandBuilder::crf(quality, h264CrfBest, h264CrfWorst);
}

} // namespace EncoderRules
