// The conversion of decoded samples to 16-bit PCM: eight frames at a time in SSE2 registers for
// mono and stereo, the rest one sample at a time.
#include "companion/pcm16.h"

#include <algorithm>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

void ToPcm16Scalar(const float* const* Channels, int ChannelCount, int64_t From, int64_t To, uint8_t* Out) {
    for (int64_t frame = From; frame < To; ++frame) {
        for (int c = 0; c < ChannelCount; ++c) {
            // Rounded in the current mode, as the conversion instructions round.
            const float scaled = std::nearbyint(Channels[c][frame] * 32768.f);
            const int32_t value = scaled >= -2147483648.f && scaled < 2147483648.f
                                      ? std::clamp(int32_t(scaled), -32768, 32767)
                                      : -32768;
            const int64_t at = (frame * ChannelCount + c) * 2;
            Out[at] = uint8_t(value);
            Out[at + 1] = uint8_t(value >> 8);
        }
    }
}

void ToPcm16(const float* const* Channels, int ChannelCount, int64_t Frames, uint8_t* Out) {
    int64_t frame = 0;
#ifdef __SSE2__
    if (ChannelCount == 1 || ChannelCount == 2) {
        const __m128 scale = _mm_set1_ps(32768.f);
        // Eight samples of a channel; the conversion answers 0x80000000 for what it cannot hold,
        // and the pack saturates.
        const auto eight = [&](const float* Samples) {
            return _mm_packs_epi32(_mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(Samples), scale)),
                                   _mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(Samples + 4), scale)));
        };
        for (; frame + 8 <= Frames; frame += 8) {
            auto* out = reinterpret_cast<__m128i*>(Out + frame * ChannelCount * 2);
            const __m128i left = eight(Channels[0] + frame);
            if (ChannelCount == 1) {
                _mm_storeu_si128(out, left);
                continue;
            }
            const __m128i right = eight(Channels[1] + frame);
            _mm_storeu_si128(out, _mm_unpacklo_epi16(left, right));
            _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(left, right));
        }
    }
#endif
    ToPcm16Scalar(Channels, ChannelCount, frame, Frames, Out);
}
