"""Box blur of a picture, by the plain definition: each output pixel is the mean of the source
pixels inside the (2r+1)-square window around it, the window clipped to the picture.

Usage: blur_ref.py BITS RADIUS WIDTH HEIGHT RRGGBB...   (source pixels, top row first)
Prints the raw output value of every pixel at BITS (1, 4, 8, 16 as 5-6-5, 24, 32), one per line:
at 8 bits or fewer the index into the grey table of that depth.
"""
import sys


def blur(bits, radius, width, height, pixels):
    radius = abs(radius)
    out = []
    for y in range(height):
        for x in range(width):
            window = [pixels[wy * width + wx]
                      for wy in range(max(0, y - radius), min(height, y + radius + 1))
                      for wx in range(max(0, x - radius), min(width, x + radius + 1))]
            n = len(window)
            r, g, b = (sum(p[c] for p in window) for c in range(3))
            if bits <= 8:
                grey = (r + g + b) // n // 3
                out.append(int(grey > 127) if bits == 1 else grey >> (8 - bits))
            elif bits == 16:
                out.append((r // n >> 3) << 11 | (g // n >> 2) << 5 | (b // n >> 3))
            else:
                out.append((r // n) << 16 | (g // n) << 8 | (b // n))
    return out


def main():
    bits, radius, width, height = (int(a) for a in sys.argv[1:5])
    pixels = [tuple(int(h[i:i + 2], 16) for i in (0, 2, 4)) for h in sys.argv[5:]]
    for v in blur(bits, radius, width, height, pixels):
        print(v)


if __name__ == "__main__":
    main()
