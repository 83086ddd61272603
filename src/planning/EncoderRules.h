#pragma once

#include "model/Options.h"
#include "tools/EncoderCaps.h"

// Which outputs the located ffmpeg can write, and the quality scale the inspector shows. The
// planner and the inspector both ask here, so a greyed-out control and a missing output always
// agree.
namespace EncoderRules {

enum class Rendition { h264, hevc, webm };

bool canWrite(ImageFormat format, const EncoderCaps& caps);
bool canWrite(Rendition rendition, const EncoderCaps& caps);

// Video quality 0–100 onto the H.264 CRF, best to worst; the inspector shows this value.
inline constexpr int h264CrfBest = 18;
inline constexpr int h264CrfWorst = 34;
int h264Crf(double quality);

} // namespace EncoderRules
