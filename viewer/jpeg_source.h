// jpeg_source.h -- feeds an entry held in memory to libjpeg. When the
// entry's bytes run out, the source hands out end-of-image markers, so a
// stream that is cut short ends as a shorter image instead of a wait for
// more data.
#ifndef CASKWRIGHT_JPEG_SOURCE_H
#define CASKWRIGHT_JPEG_SOURCE_H

#include <stdint.h>
#include <stdio.h>

#include <jpeglib.h>

struct JpegMemorySource {
    jpeg_source_mgr pub;   // the library's fields; must come first
    const JOCTET* data;    // the entry's first byte
    uint32_t size;         // the entry's size
    const JOCTET* buffer;  // the block handed out last: the entry or the marker
    uint8_t startOfFile;   // true until the first fill
};

// Installs a JpegMemorySource on cinfo (reusing the one already installed
// there) that reads size bytes from data; the bytes must outlive the
// decompression. The record lives in the decompressor's permanent pool.
void SetJpegMemorySource(j_decompress_ptr cinfo, const uint8_t* data, uint32_t size);

// The source's callbacks (init_source, fill_input_buffer, skip_input_data,
// term_source).
void InitMemorySource(j_decompress_ptr cinfo);
boolean FillMemorySource(j_decompress_ptr cinfo);
void SkipMemorySource(j_decompress_ptr cinfo, long count);
void TermMemorySource(j_decompress_ptr cinfo);

#endif
