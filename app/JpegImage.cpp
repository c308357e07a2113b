#include "app/JpegImage.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>

namespace ovrel {

namespace {

// libjpeg reports a fatal error through error_exit, which must not return:
// it jumps back to Decode, which then gives up on the picture.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void OnMessage(j_common_ptr) {}  // warnings about damaged data are not shown

// Only C objects live in this frame, so the jump back skips no destructor;
// image belongs to the caller, which drops it when this returns false.
bool Decode(jpeg_decompress_struct* cinfo, ErrorManager* errors, const QByteArray* data,
            QImage* image) {
  if (setjmp(errors->jump)) {
    jpeg_destroy_decompress(cinfo);
    return false;
  }
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(data->constData()),
               static_cast<unsigned long>(data->size()));
  jpeg_read_header(cinfo, TRUE);
  cinfo->out_color_space = JCS_RGB;
  jpeg_start_decompress(cinfo);
  *image = QImage(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height),
                  QImage::Format_RGB888);
  if (image->isNull() || cinfo->output_components != 3) {
    jpeg_destroy_decompress(cinfo);
    return false;
  }
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = image->scanLine(static_cast<int>(cinfo->output_scanline));
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
  if (data.isEmpty()) return {};
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnFatalError;
  errors.pub.output_message = OnMessage;
  QImage image;
  if (!Decode(&cinfo, &errors, &data, &image)) return {};
  return image;
}

}  // namespace ovrel
