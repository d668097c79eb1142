// The browser edition saves WAV and FLAC only. The sound-file library can
// also write Ogg Vorbis and Opus, and linking it pulls in their encoders
// (about a third of the download). These stand in for the encoders' entry
// points and refuse, so that the encoders are left out; reading Ogg Vorbis
// and Opus files is untouched.
#include <cstdint>

extern "C" {

struct vorbis_info;
struct OpusMSEncoder;

namespace {
constexpr int kVorbisNotImplemented = -130;  // OV_EIMPL
constexpr int kOpusUnimplemented = -5;       // OPUS_UNIMPLEMENTED
}  // namespace

int vorbis_encode_init(vorbis_info*, long, long, long, long, long) { return kVorbisNotImplemented; }
int vorbis_encode_setup_managed(vorbis_info*, long, long, long, long, long) { return kVorbisNotImplemented; }
int vorbis_encode_setup_vbr(vorbis_info*, long, long, float) { return kVorbisNotImplemented; }
int vorbis_encode_init_vbr(vorbis_info*, long, long, float) { return kVorbisNotImplemented; }
int vorbis_encode_setup_init(vorbis_info*) { return kVorbisNotImplemented; }
int vorbis_encode_ctl(vorbis_info*, int, void*) { return kVorbisNotImplemented; }

OpusMSEncoder* opus_multistream_encoder_create(int32_t, int, int, int, const unsigned char*, int, int* error)
{
    if (error != nullptr)
        *error = kOpusUnimplemented;
    return nullptr;
}
OpusMSEncoder* opus_multistream_surround_encoder_create(int32_t, int, int, int*, int*, unsigned char*, int, int* error)
{
    if (error != nullptr)
        *error = kOpusUnimplemented;
    return nullptr;
}
int opus_multistream_encode_float(OpusMSEncoder*, const float*, int, unsigned char*, int32_t)
{
    return kOpusUnimplemented;
}
void opus_multistream_encoder_destroy(OpusMSEncoder*) {}
int opus_multistream_encoder_ctl(OpusMSEncoder*, int, ...) { return kOpusUnimplemented; }

}  // extern "C"
