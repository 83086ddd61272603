#pragma once

#include "SourcePreparer.h"

#include <QString>

#include <memory>

// The decoded copies a run prepared for ffmpeg (HEIC, AVIF, photos with a colour profile), kept
// after the run within a disk budget so that comparing a source with its output need not decode
// the source again: a 12-megapixel HEIC takes over a second to decode, its copy a few
// milliseconds to read. Shared by the engine and the compare view's worker threads.
namespace DecodedCopies {

// Bytes of copies kept at most; the oldest go first. 0 (the default) keeps none.
void setBudget(qint64 bytes);

// Keeps `copy` as the decoded picture of `source` as the file is now.
void keep(const QString& source, std::shared_ptr<SourcePreparer::PreparedFile> copy);

// The copy of `source`, or null when there is none or the file changed since.
std::shared_ptr<SourcePreparer::PreparedFile> find(const QString& source);

} // namespace DecodedCopies
