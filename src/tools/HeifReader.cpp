#include "HeifReader.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>

#include <libheif/heif.h>

#include <memory>

namespace {

// libheif counts its users; the first one loads the codecs and nobody ever unloads them.
void ensureInitialised() {
    static const bool initialised = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)initialised;
}

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleFree {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageFree {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleFree>;
using Image = std::unique_ptr<heif_image, ImageFree>;

struct Primary {
    Context context;
    Handle handle;
};

void setReason(QString* reason, const heif_error& error) {
    if (reason)
        *reason = QString::fromUtf8(error.message ? error.message : "unknown error");
}

std::optional<Primary> openPrimary(const QString& path, QString* reason = nullptr) {
    ensureInitialised();
    Context context(heif_context_alloc());
    if (!context)
        return std::nullopt;
    const QByteArray encodedPath = QFile::encodeName(path);
    const heif_error read =
        heif_context_read_from_file(context.get(), encodedPath.constData(), nullptr);
    if (read.code != heif_error_Ok) {
        setReason(reason, read);
        return std::nullopt;
    }
    heif_image_handle* raw = nullptr;
    const heif_error primary = heif_context_get_primary_image_handle(context.get(), &raw);
    if (primary.code != heif_error_Ok || !raw) {
        setReason(reason, primary);
        return std::nullopt;
    }
    return Primary{std::move(context), Handle(raw)};
}

// Tone curves a still photo carries; the BT.709 family is shown like sRGB by browsers.
QColorSpace::TransferFunction transferOf(heif_transfer_characteristics transfer, float* gamma) {
    switch (transfer) {
    case heif_transfer_characteristic_linear:
        return QColorSpace::TransferFunction::Linear;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        *gamma = 2.2f;
        return QColorSpace::TransferFunction::Gamma;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        *gamma = 2.8f;
        return QColorSpace::TransferFunction::Gamma;
    default:
        return QColorSpace::TransferFunction::SRgb;
    }
}

QColorSpace nclxSpace(const heif_image_handle* handle) {
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
        return {};
    float gamma = 0;
    const auto transfer = transferOf(nclx->transfer_characteristics, &gamma);
    QColorSpace space;
    if (nclx->color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
        nclx->color_primaries == heif_color_primaries_unspecified)
        space = QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
    else
        space = QColorSpace(QPointF(nclx->color_primary_white_x, nclx->color_primary_white_y),
                            QPointF(nclx->color_primary_red_x, nclx->color_primary_red_y),
                            QPointF(nclx->color_primary_green_x, nclx->color_primary_green_y),
                            QPointF(nclx->color_primary_blue_x, nclx->color_primary_blue_y),
                            transfer, gamma);
    heif_nclx_color_profile_free(nclx);
    return space;
}

QByteArray rawIcc(const heif_image_handle* handle) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0)
        return {};
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return {};
    return icc;
}

QColorSpace colourSpaceOf(const heif_image_handle* handle) {
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_nclx:
        return nclxSpace(handle);
    case heif_color_profile_type_rICC:
    case heif_color_profile_type_prof:
        // Qt keeps the bytes even of a profile it cannot use; the preparer converts with them.
        return QColorSpace::fromIccProfile(rawIcc(handle));
    default:
        return {};
    }
}

// nclx colour primaries 1 is BT.709 (sRGB's), 2 is "unspecified", which readers take as sRGB.
bool nclxIsWide(const heif_image_handle* handle) {
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
        return false;
    const auto primaries = nclx->color_primaries;
    heif_nclx_color_profile_free(nclx);
    return primaries != heif_color_primaries_ITU_R_BT_709_5 &&
           primaries != heif_color_primaries_unspecified;
}

bool iccIsWide(const heif_image_handle* handle) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0)
        return false;
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return false;
    const QColorSpace space = QColorSpace::fromIccProfile(icc);
    return space.isValid() && space.primaries() != QColorSpace::Primaries::SRgb;
}

bool isWideGamut(const heif_image_handle* handle) {
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_nclx:
        return nclxIsWide(handle);
    case heif_color_profile_type_rICC:
    case heif_color_profile_type_prof:
        return iccIsWide(handle);
    default:
        return false;
    }
}

} // namespace

namespace HeifReader {

bool handlesExtension(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("heic") || suffix == QLatin1String("heif") ||
           suffix == QLatin1String("avif");
}

bool hasHeifContent(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(64);
    const auto result =
        heif_check_filetype(reinterpret_cast<const uint8_t*>(head.constData()), int(head.size()));
    return result == heif_filetype_yes_supported || result == heif_filetype_yes_unsupported;
}

std::optional<Info> inspect(const QString& path) {
    const auto primary = openPrimary(path);
    if (!primary)
        return std::nullopt;
    const heif_image_handle* handle = primary->handle.get();
    const QSize size(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
    if (size.width() <= 0 || size.height() <= 0)
        return std::nullopt;
    return Info{size, heif_image_handle_has_alpha_channel(handle) != 0, isWideGamut(handle)};
}

QImage decode(const QString& path, QString* reason) {
    const auto primary = openPrimary(path, reason);
    if (!primary)
        return {};
    heif_image_handle* handle = primary->handle.get();
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;

    std::unique_ptr<heif_decoding_options, decltype(&heif_decoding_options_free)> options(
        heif_decoding_options_alloc(), &heif_decoding_options_free);
    options->convert_hdr_to_8bit = 1;
    heif_image* raw = nullptr;
    const heif_error decoded = heif_decode_image(
        handle, &raw, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    if (decoded.code != heif_error_Ok || !raw) {
        setReason(reason, decoded);
        return {};
    }
    Image image(raw);

    int stride = 0;
    uint8_t* pixels = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0) {
        if (reason)
            *reason = QStringLiteral("the image has no pixels");
        return {};
    }
    // The picture keeps libheif's buffer and releases it when the last copy goes: a 12-megapixel
    // photo is not held twice.
    QImage picture(
        pixels, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
        [](void* owned) { heif_image_release(static_cast<heif_image*>(owned)); }, image.get());
    image.release();
    picture.setColorSpace(colourSpaceOf(handle));
    return picture;
}

} // namespace HeifReader
