#pragma once
// Decoded float samples (full scale +-1) as interleaved 16-bit signed little-endian PCM, as
// libvorbisfile's ov_read makes them: each sample times 32768, rounded to nearest (halves to
// even), clipped to 16 bits; a value the 32-bit conversion cannot hold, NaN too, gives -32768.
#include <cstdint>

// Frames frames of ChannelCount channels into Out (2 * ChannelCount bytes a frame, any alignment).
void ToPcm16(const float* const* Channels, int ChannelCount, int64_t Frames, uint8_t* Out);
// The same bytes one sample at a time, for frames From to To of the same Out.
void ToPcm16Scalar(const float* const* Channels, int ChannelCount, int64_t From, int64_t To, uint8_t* Out);
