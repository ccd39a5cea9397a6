// The conversion of the Ogg decoder's float samples to 16-bit PCM: the bytes ov_read makes of
// the same samples, eight frames at a time or one sample at a time.
#include "companion/pcm16.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// Frames of Left (and Right) converted at Offset into a buffer of guard bytes.
std::string Converted(const std::vector<float>& Left, const std::vector<float>* Right, bool Scalar, size_t Offset = 0) {
    const float* channels[2] = {Left.data(), Right ? Right->data() : nullptr};
    const int count = Right ? 2 : 1;
    const auto frames = int64_t(Left.size());
    std::string out(Offset + size_t(frames * count * 2) + 16, '\x5a');
    auto* at = reinterpret_cast<uint8_t*>(out.data()) + Offset;
    if (Scalar) ToPcm16Scalar(channels, count, 0, frames, at);
    else ToPcm16(channels, count, frames, at);
    return out;
}

std::string Pcm16(const std::vector<int16_t>& Samples) {
    std::string out;
    for (int16_t s : Samples) out += {char(s & 0xff), char(s >> 8 & 0xff)};
    return out + std::string(16, '\x5a');
}

}  // namespace

TEST(Pcm16, BlocksAndSingleSamplesRoundHalvesToEvenAndClipAsOvRead) {
    constexpr float inf = std::numeric_limits<float>::infinity(), lsb = 1.f / 32768;
    // What is too large for 32 bits, NaN too, converts to the least 32-bit value: -32768.
    const std::vector<std::pair<float, int16_t>> cases = {
        {0.f, 0},         {-0.f, 0},          {0.5f * lsb, 0},    {1.5f * lsb, 2},         {2.5f * lsb, 2},
        {-0.5f * lsb, 0}, {-1.5f * lsb, -2},  {-2.5f * lsb, -2},  {0.49f * lsb, 0},        {-0.51f * lsb, -1},
        {1.f, 32767},     {-1.f, -32768},     {1.f - lsb, 32767}, {-1.f - lsb, -32768},    {60000.f, 32767},
        {-60000.f, -32768}, {70000.f, -32768}, {-70000.f, -32768}, {inf, -32768},          {-inf, -32768},
        {std::nanf(""), -32768}};
    // Each value turns up in the eight-frame blocks and in the tail, in either channel, written
    // at even and odd addresses.
    for (size_t turn = 0; turn < cases.size(); ++turn) {
        std::vector<float> left, right;
        std::vector<int16_t> mono, stereo;
        for (size_t i = 0; i < cases.size(); ++i) {
            const auto& [l, lpcm] = cases[(i + turn) % cases.size()];
            const auto& [r, rpcm] = cases[cases.size() - 1 - i];
            left.push_back(l), right.push_back(r);
            mono.push_back(lpcm), stereo.insert(stereo.end(), {lpcm, rpcm});
        }
        for (bool scalar : {false, true}) {
            SCOPED_TRACE(testing::Message() << "turn " << turn << (scalar ? " one at a time" : " in blocks"));
            EXPECT_EQ(Converted(left, nullptr, scalar, turn % 2), std::string(turn % 2, '\x5a') + Pcm16(mono));
            EXPECT_EQ(Converted(left, &right, scalar, turn % 2), std::string(turn % 2, '\x5a') + Pcm16(stereo));
        }
    }
}
