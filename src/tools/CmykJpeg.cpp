#include "CmykJpeg.h"

#include "ColourProfile.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QTransform>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void failed(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->base.format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void quiet(j_common_ptr) {}

// Without a profile: the usual formula, ink taken away from white.
void plainCmyk(const uchar* cmyk, uchar* rgb, int pixels, bool inverted) {
    for (int i = 0; i < pixels; ++i, cmyk += 4, rgb += 3) {
        const int k = inverted ? cmyk[3] : 255 - cmyk[3];
        for (int c = 0; c < 3; ++c)
            rgb[c] = uchar((inverted ? cmyk[c] : 255 - cmyk[c]) * k / 255);
    }
}

// What QImageReader would do with the EXIF orientation: mirror or flip, then turn.
QImage upright(const QImage& image, QImageIOHandler::Transformations transformation) {
    QImage turned = image.mirrored(transformation & QImageIOHandler::TransformationMirror,
                                   transformation & QImageIOHandler::TransformationFlip);
    if (transformation & QImageIOHandler::TransformationRotate90)
        turned = turned.transformed(QTransform().rotate(90));
    return turned;
}

} // namespace

namespace CmykJpeg {

std::optional<QImage> decode(const QString& path, QString* reason) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.peek(2) != "\xFF\xD8")
        return std::nullopt;
    const QByteArray data = file.readAll();

    // Everything with a destructor exists before setjmp, so a jump back skips none.
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    QImage image;
    QByteArray icc;
    ColourProfile::CmykConverter converter;
    std::vector<uchar> row;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = failed;
    errors.base.output_message = quiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        *reason = QString::fromLocal8Bit(errors.message);
        return QImage();
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const uchar*>(data.constData()), data.size());
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space != JCS_CMYK && info.jpeg_color_space != JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    JOCTET* profile = nullptr;
    unsigned int profileSize = 0;
    if (jpeg_read_icc_profile(&info, &profile, &profileSize)) {
        icc = QByteArray(reinterpret_cast<const char*>(profile), qsizetype(profileSize));
        std::free(profile);
    }
    const bool inverted = info.saw_Adobe_marker;
    converter = ColourProfile::CmykConverter(icc, inverted);
    info.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&info);
    image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    if (image.isNull()) {
        jpeg_destroy_decompress(&info);
        *reason = QStringLiteral("the picture is too large");
        return QImage();
    }
    row.resize(size_t(info.output_width) * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[] = {row.data()};
        const int y = int(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        if (converter.isValid())
            converter.convert(row.data(), image.scanLine(y), image.width());
        else
            plainCmyk(row.data(), image.scanLine(y), image.width(), inverted);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);

    image = upright(image, QImageReader(path).transformation());
    image.setColorSpace(QColorSpace::SRgb);
    return image;
}

} // namespace CmykJpeg
