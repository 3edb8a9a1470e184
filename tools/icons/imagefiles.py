"""Writers for the two file formats the generator produces: Windows .ico (32-bit BGRA images
with an AND mask, one per size; a 256-pixel image as PNG, as Windows stores that size) and PNG
(also for looking at the result)."""

import struct
import zlib

# Pixels at least this transparent are marked transparent in the AND mask, which only
# displays without alpha blending look at.
MASK_ALPHA_THRESHOLD = 128
# Images this large go in compressed: 256 x 256 as a bitmap would take 260 KB.
PNG_SIZE = 256


def ico_bytes(images):
    """images: list of (size, pixels) with pixels as rows of RGBA tuples, top row first."""
    header = struct.pack("<HHH", 0, 1, len(images))
    directory = b""
    payload = b""
    offset = len(header) + 16 * len(images)
    for size, pixels in images:
        if size >= PNG_SIZE:
            rows = [pixels[row * size : (row + 1) * size] for row in range(size)]
            entry = png_bytes(size, size, rows)
        else:
            entry = _dib_entry(size, pixels)
        directory += struct.pack(
            "<BBBBHHII",
            size if size < 256 else 0,
            size if size < 256 else 0,
            0,  # no palette
            0,
            1,  # planes
            32,  # bits per pixel
            len(entry),
            offset + len(payload),
        )
        payload += entry
    return header + directory + payload


def _dib_entry(size, pixels):
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    # A DIB stores its rows bottom-up.
    for row in reversed(range(size)):
        mask_row = bytearray(mask_stride)
        for col in range(size):
            r, g, b, a = pixels[row * size + col]
            colour += bytes((b, g, r, a))
            if a < MASK_ALPHA_THRESHOLD:
                mask_row[col // 8] |= 0x80 >> (col % 8)
        mask += mask_row
    info = struct.pack(
        "<IiiHHIIiiII",
        40,  # BITMAPINFOHEADER
        size,
        size * 2,  # colour image and mask stacked
        1,
        32,
        0,  # BI_RGB
        len(colour) + len(mask),
        0,
        0,
        0,
        0,
    )
    return info + bytes(colour) + bytes(mask)


def png_bytes(width, height, rgba_rows):
    """rgba_rows: list of rows, each a list of RGBA tuples."""
    raw = bytearray()
    for row in rgba_rows:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        + chunk(b"IEND", b"")
    )
