#pragma once

#include <QFile>
#include <QImage>
#include <QString>

#include <libheif/heif.h>

#include <cstring>

// libheif's own encoder for test sources, because heif-enc 1.15 can write neither a rotation box
// nor nclx primaries. RGBA input keeps its alpha (stored as an auxiliary image).
namespace HeifTestWriter {

struct Options {
    heif_compression_format compression = heif_compression_HEVC;
    heif_orientation orientation = heif_orientation_normal;
    heif_color_primaries primaries = heif_color_primaries_ITU_R_BT_709_5;
    int quality = 92;
    QByteArray icc; // written as a 'prof' box; libheif 1.15 puts a HEVC file's nclx in the stream
};

inline bool write(const QString& path, const QImage& picture, const Options& options = {}) {
    heif_init(nullptr);
    const bool alpha = picture.hasAlphaChannel();
    const QImage rgb =
        picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const auto ok = [](heif_error e) { return e.code == heif_error_Ok; };
    heif_context* context = heif_context_alloc();
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    heif_encoding_options* encoding = heif_encoding_options_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_nclx_color_profile_set_color_primaries(nclx, options.primaries);
    encoding->image_orientation = options.orientation;
    encoding->output_nclx_profile = nclx;
    const heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    bool written = false;
    if (ok(heif_context_get_encoder_for_format(context, options.compression, &encoder)) &&
        ok(heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, chroma, &image)) &&
        ok(heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8)) &&
        ok(heif_image_set_nclx_color_profile(image, nclx)) &&
        (options.icc.isEmpty() ||
         ok(heif_image_set_raw_color_profile(image, "prof", options.icc.constData(),
                                             size_t(options.icc.size()))))) {
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(plane + y * stride, rgb.constScanLine(y),
                        size_t(rgb.width()) * (alpha ? 4 : 3));
        heif_encoder_set_lossy_quality(encoder, options.quality);
        written = ok(heif_context_encode_image(context, image, encoder, encoding, nullptr)) &&
                  ok(heif_context_write_to_file(context, QFile::encodeName(path).constData()));
    }
    heif_encoding_options_free(encoding);
    heif_nclx_color_profile_free(nclx);
    if (image)
        heif_image_release(image);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    heif_deinit();
    return written;
}

} // namespace HeifTestWriter
