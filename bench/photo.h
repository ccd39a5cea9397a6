#pragma once
// The photo-like picture that the image benchmarks work on: gradients, 40 overlapping discs and
// noise from a fixed seed, with an opacity that each disc lowers. Red, green, blue and alpha
// bytes per pixel, top row first.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

inline std::vector<uint8_t> MakePhotoRGBA(int Width, int Height) {
    std::vector<uint8_t> rgba(size_t(Width) * size_t(Height) * 4);
    std::mt19937 random(20261207);
    struct TDisc {
        int X, Y, R;
        uint8_t Red, Green, Blue;
    };
    std::vector<TDisc> discs(40);
    for (TDisc& d : discs)
        d = {int(random() % unsigned(Width)), int(random() % unsigned(Height)), int(20 + random() % 120),
             uint8_t(random()), uint8_t(random()), uint8_t(random())};
    uint8_t* p = rgba.data();
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x, p += 4) {
            int red = x * 255 / Width, green = y * 255 / Height, blue = int(128 + 127 * std::sin((x + 2 * y) / 60.0));
            int opacity = 255;
            for (const TDisc& d : discs)
                if ((x - d.X) * (x - d.X) + (y - d.Y) * (y - d.Y) < d.R * d.R)
                    red = (red + d.Red) / 2, green = (green + d.Green) / 2, blue = (blue + d.Blue) / 2, opacity -= 40;
            const auto noisy = [&](int V) { return uint8_t(std::clamp(V + int(random() % 17) - 8, 0, 255)); };
            p[2] = noisy(blue), p[1] = noisy(green), p[0] = noisy(red);
            p[3] = uint8_t(std::max(opacity, 0));
        }
    return rgba;
}
