#include "ScaledWebp.h"

#include <webp/decode.h>

QImage DecodeScaledWebp(const QByteArray &webp, QSize size)
{
    WebPDecoderConfig config;
    const auto *data = reinterpret_cast<const uint8_t *>(webp.constData());
    if (size.isEmpty() || !WebPInitDecoderConfig(&config) ||
        WebPGetFeatures(data, std::size_t(webp.size()), &config.input) != VP8_STATUS_OK)
        return {};
    const bool alpha = config.input.has_alpha != 0;
    QImage image(size, alpha ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBX8888);
    if (image.isNull())
        return {};
    config.options.use_scaling = 1;
    config.options.scaled_width = size.width();
    config.options.scaled_height = size.height();
    // Premultiplied, as the averages of scaling must be.
    config.output.colorspace = alpha ? MODE_rgbA : MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = std::size_t(image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(data, std::size_t(webp.size()), &config);
    WebPFreeDecBuffer(&config.output);
    return status == VP8_STATUS_OK ? image : QImage();
}
