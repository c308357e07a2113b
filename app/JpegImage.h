#pragma once
// Decodes a JPEG picture with libjpeg into an image that a window can show.

#include <QByteArray>
#include <QImage>

namespace ovrel {

// The picture in data as an RGB image; a null image when data is not a
// JPEG picture that libjpeg can decode.
QImage DecodeJpeg(const QByteArray& data);

}  // namespace ovrel
