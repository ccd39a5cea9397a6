"""Rows of device-independent bitmaps as BMP and cursor files store them."""


def pack_row(values, bits):
    """One row of pixel values at 1, 4, 8, 16, 24 or 32 bits, padded to four bytes."""
    out = bytearray()
    if bits >= 8:
        for v in values:
            out += v.to_bytes(bits // 8, "little")
    else:
        per = 8 // bits
        for i in range(0, len(values), per):
            byte = 0
            for j, v in enumerate(values[i:i + per]):
                byte |= v << (8 - bits * (j + 1))
            out.append(byte)
    return bytes(out) + b"\0" * (-len(out) % 4)
