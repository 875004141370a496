// The JPEG 2000 code streams of data representation template 5.40, decoded
// by OpenJPEG from memory: the first component's samples are the packed
// numbers.
#include "grib/unpack.h"

#include <cstring>
#include <openjpeg.h>

namespace grib {

namespace {

struct Source {
    const std::uint8_t* data;
    std::size_t size, pos;
};

OPJ_SIZE_T read_source(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* s = static_cast<Source*>(user);
    if (s->pos >= s->size) return static_cast<OPJ_SIZE_T>(-1);
    if (n > s->size - s->pos) n = s->size - s->pos;
    std::memcpy(buffer, s->data + s->pos, n);
    s->pos += n;
    return n;
}

OPJ_OFF_T skip_source(OPJ_OFF_T n, void* user) {
    auto* s = static_cast<Source*>(user);
    if (n < 0) n = -static_cast<OPJ_OFF_T>(s->pos) > n ? -static_cast<OPJ_OFF_T>(s->pos) : n;
    if (n > 0 && static_cast<std::size_t>(n) > s->size - s->pos)
        n = static_cast<OPJ_OFF_T>(s->size - s->pos);
    s->pos = static_cast<std::size_t>(static_cast<OPJ_OFF_T>(s->pos) + n);
    return n;
}

OPJ_BOOL seek_source(OPJ_OFF_T n, void* user) {
    auto* s = static_cast<Source*>(user);
    if (n < 0 || static_cast<std::size_t>(n) > s->size) return OPJ_FALSE;
    s->pos = static_cast<std::size_t>(n);
    return OPJ_TRUE;
}

void quiet(const char*, void*) {}

// The codec, stream and image of one decoding, released together.
struct Decoding {
    opj_codec_t* codec = nullptr;
    opj_stream_t* stream = nullptr;
    opj_image_t* image = nullptr;
    ~Decoding() {
        if (image) opj_image_destroy(image);
        if (stream) opj_stream_destroy(stream);
        if (codec) opj_destroy_codec(codec);
    }
};

} // namespace

bool jpeg2000_values(const std::uint8_t* data, std::size_t size, std::size_t n,
                     std::vector<std::uint32_t>& x, const char** error) {
    auto refuse = [&](const char* text) {
        *error = text;
        return false;
    };
    if (size < 12) return refuse("JPEG 2000 code stream too short.");
    // A bare code stream begins with the SOC marker; a JP2 file with its box.
    static const std::uint8_t jp2[] = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
    const bool is_jp2 = std::memcmp(data, jp2, sizeof jp2) == 0;
    if (!is_jp2 && !(data[0] == 0xff && data[1] == 0x4f))
        return refuse("section 7 is not a JPEG 2000 code stream.");
    Source source{data, size, 0};
    Decoding d;
    d.codec = opj_create_decompress(is_jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    d.stream = opj_stream_default_create(OPJ_TRUE);
    if (!d.codec || !d.stream) return refuse("not enough memory for the JPEG 2000 decoder.");
    opj_set_info_handler(d.codec, quiet, nullptr);
    opj_set_warning_handler(d.codec, quiet, nullptr);
    opj_set_error_handler(d.codec, quiet, nullptr);
    opj_stream_set_read_function(d.stream, read_source);
    opj_stream_set_skip_function(d.stream, skip_source);
    opj_stream_set_seek_function(d.stream, seek_source);
    opj_stream_set_user_data(d.stream, &source, nullptr);
    opj_stream_set_user_data_length(d.stream, size);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(d.codec, &parameters) || !opj_read_header(d.stream, d.codec, &d.image) ||
        !d.image || d.image->numcomps < 1)
        return refuse("broken JPEG 2000 header.");
    const opj_image_comp_t& head = d.image->comps[0];
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(d.image->x1 - d.image->x0) * (d.image->y1 - d.image->y0);
    // An image far larger than the values is garbage, not something to allocate.
    if (pixels < n || pixels > static_cast<std::uint64_t>(n) + 65536 || head.prec > 32 ||
        head.prec < 1)
        return refuse("JPEG 2000 image does not fit the number of values.");
    if (!opj_decode(d.codec, d.stream, d.image) || !opj_end_decompress(d.codec, d.stream))
        return refuse("broken JPEG 2000 code stream.");
    const opj_image_comp_t& c = d.image->comps[0];
    if (!c.data || static_cast<std::uint64_t>(c.w) * c.h < n)
        return refuse("JPEG 2000 image smaller than the number of values.");
    x.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = static_cast<std::uint32_t>(c.data[k]);
    return true;
}

} // namespace grib
