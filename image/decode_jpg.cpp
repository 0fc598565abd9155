// JPG through the JPEG library's decompression interface with its standard
// error manager. Its fatal-error exit is turned into a jump back here, so a
// corrupt file comes back as the library's message instead of ending the
// process from inside the library.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <jpeglib.h>

#include "image/picture_reader.h"

namespace {

const char kInvalid[] = "%s is not a valid .JPG file\n";

// Everything the error exit may leave behind lives on the heap, so nothing
// the jump returns to depends on a local changed after setjmp.
struct JpegDecode {
  jpeg_decompress_struct info;
  jpeg_error_mgr error;  // the library's standard manager, error_exit replaced
  std::jmp_buf escape;
  JSAMPLE* row;
  char message[JMSG_LENGTH_MAX];
  PictureResult* result;
  const char* fileName;
};

// The library's warnings (a file cut short, corrupt data it skipped) are
// kept with the file's name instead of printed bare, and said by the front
// end; the picture is still decoded as the library recovers.
void JpegWarning(j_common_ptr info) {
  JpegDecode* decode = static_cast<JpegDecode*>(info->client_data);
  char text[JMSG_LENGTH_MAX];
  info->err->format_message(info, text);
  if (decode->result && decode->result->warning.empty())
    decode->result->warning = std::string(decode->fileName) + ": " + text + "\n";
}

void JpegEscape(j_common_ptr info) {
  JpegDecode* decode = static_cast<JpegDecode*>(info->client_data);
  info->err->format_message(info, decode->message);
  std::longjmp(decode->escape, 1);
}

}  // namespace

int DecodeJpg(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result) {
  JpegDecode* decode = static_cast<JpegDecode*>(std::calloc(1, sizeof(JpegDecode)));
  if (!decode) return PictureRefuse(result, "out of memory reading %s\n", fileName);
  decode->info.err = jpeg_std_error(&decode->error);
  decode->error.error_exit = JpegEscape;
  decode->error.output_message = JpegWarning;
  decode->result = result;
  decode->fileName = fileName;
  int ok = 0;
  if (setjmp(decode->escape)) {
    result->status = PICTURE_LIBRARY_FAILED;
    result->message = decode->message;
    result->message += '\n';
    goto done;
  }
  jpeg_CreateDecompress(&decode->info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  decode->info.client_data = decode;
  jpeg_stdio_src(&decode->info, file);
  jpeg_read_header(&decode->info, TRUE);
  // Refuse an oversized picture before the library allocates for it.
  if (!PictureAcceptSize(result, decode->info.image_width, decode->info.image_height, nullptr, 0, kInvalid,
                         fileName))
    goto done;
  jpeg_start_decompress(&decode->info);
  if (!PictureAcceptSize(result, decode->info.output_width, decode->info.output_height, pixels, capacity, kInvalid,
                         fileName))
    goto done;
  if (pixels) {
    const JDIMENSION width = decode->info.output_width;
    const int components = decode->info.output_components;
    decode->row = static_cast<JSAMPLE*>(std::malloc(size_t{width} * components));
    if (!decode->row) {
      PictureRefuse(result, "out of memory reading %s\n", fileName);
      goto done;
    }
    while (decode->info.output_scanline < decode->info.output_height) {
      uint32_t* out = pixels + int64_t{decode->info.output_scanline} * width;
      JSAMPROW rows[1] = {decode->row};
      if (jpeg_read_scanlines(&decode->info, rows, 1) != 1) {
        PictureRefuse(result, kInvalid, fileName);
        goto done;
      }
      const JSAMPLE* in = decode->row;
      if (components == 1) {
        for (JDIMENSION x = 0; x < width; x++) out[x] = PixelRgb(in[x], in[x], in[x]);
      } else if (components == 3) {
        for (JDIMENSION x = 0; x < width; x++) out[x] = PixelRgb(in[x * 3], in[x * 3 + 1], in[x * 3 + 2]);
      }
    }
    if (components != 1 && components != 3) PictureLeaveUndecoded(result, fileName);
    jpeg_finish_decompress(&decode->info);
  }
  ok = 1;
done:
  jpeg_destroy_decompress(&decode->info);
  std::free(decode->row);
  std::free(decode);
  return ok;
}
