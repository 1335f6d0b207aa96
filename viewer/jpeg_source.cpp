// jpeg_source.cpp -- see jpeg_source.h.
#include "jpeg_source.h"

namespace {

// Shared by all decompressions: the library only reads it.
const JOCTET kEndMarker[2] = {0xFF, JPEG_EOI};

JpegMemorySource* SourceOf(j_decompress_ptr cinfo) {
    return reinterpret_cast<JpegMemorySource*>(cinfo->src);
}

}  // namespace

void SetJpegMemorySource(j_decompress_ptr cinfo, const uint8_t* data, uint32_t size) {
    // A source of another kind cannot be reused as ours.
    if (!cinfo->src || cinfo->src->init_source != InitMemorySource) {
        void* record = (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo),
                                                  JPOOL_PERMANENT, sizeof(JpegMemorySource));
        cinfo->src = static_cast<jpeg_source_mgr*>(record);
    }
    JpegMemorySource* source = SourceOf(cinfo);
    source->data = data;
    source->size = size;
    source->buffer = nullptr;
    source->startOfFile = 0;
    source->pub.init_source = InitMemorySource;
    source->pub.fill_input_buffer = FillMemorySource;
    source->pub.skip_input_data = SkipMemorySource;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = TermMemorySource;
    source->pub.bytes_in_buffer = 0;
    source->pub.next_input_byte = nullptr;
}

void InitMemorySource(j_decompress_ptr cinfo) {
    SourceOf(cinfo)->startOfFile = 1;
}

boolean FillMemorySource(j_decompress_ptr cinfo) {
    JpegMemorySource* source = SourceOf(cinfo);
    // The library takes at least one byte from every fill, so an empty entry
    // goes straight to the marker.
    if (source->startOfFile && source->size > 0) {
        source->buffer = source->data;
        source->pub.bytes_in_buffer = source->size;
    } else {
        source->buffer = kEndMarker;
        source->pub.bytes_in_buffer = sizeof kEndMarker;
    }
    source->pub.next_input_byte = source->buffer;
    source->startOfFile = 0;
    return TRUE;
}

void SkipMemorySource(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* pub = cinfo->src;
    while (size_t(count) > pub->bytes_in_buffer) {
        count -= long(pub->bytes_in_buffer);
        FillMemorySource(cinfo);
    }
    pub->next_input_byte += count;
    pub->bytes_in_buffer -= size_t(count);
}

void TermMemorySource(j_decompress_ptr) {}
