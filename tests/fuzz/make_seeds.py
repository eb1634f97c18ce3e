#!/usr/bin/env python3
"""Writes the fuzz targets' seed files (tiny, valid pictures of each format).

picture_file/: first byte = extension index of picture_file_fuzz.cpp, then the file.
read_pcx/: 18 bytes of surface size and rectangle, then a PNG file.
Run from this folder; JPEG needs ImageMagick's convert."""
import os
import struct
import subprocess
import tempfile
import zlib

BMP, PNG, JPEG, JPG, PCX, TGA, DDS = range(7)


def png(width, height, colour_type, depth, rows, palette=None, trns=None, interlace=0):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace))
    if palette:
        out += chunk(b"PLTE", palette)
    if trns:
        out += chunk(b"tRNS", trns)
    if interlace:
        # Adam7: seven passes, each a smaller picture with its own rows.
        bpp = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type] * depth // 8
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
        raw = b""
        for x0, y0, dx, dy in passes:
            for y in range(y0, height, dy):
                line = b"".join(rows[y][x * bpp:(x + 1) * bpp] for x in range(x0, width, dx))
                if line:
                    raw += b"\0" + line
        out += chunk(b"IDAT", zlib.compress(raw))
    else:
        out += chunk(b"IDAT", zlib.compress(b"".join(b"\0" + r for r in rows)))
    return out + chunk(b"IEND", b"")


def bmp24(width, height):
    stride = (width * 3 + 3) & ~3
    pixels = b"".join(bytes([20, 40, 220] * width) + b"\0" * (stride - width * 3) for _ in range(height))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(pixels), 0, 0, 54) + header + pixels


def bmp_rle8(width, height):
    palette = b"".join(bytes([i, 255 - i, i // 2, 0]) for i in range(4))
    data = b""
    for y in range(height):
        data += bytes([width, y % 4])  # one run per row
        data += b"\0\0" if y < height - 1 else b"\0\1"  # end of line, of bitmap
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(data), 2835, 2835, 4, 0)
    offset = 14 + 40 + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + header + palette + data


def tga(width, height, rle):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 10 if rle else 2, 0, 0, 0, 0, 0, width, height, 32, 8)
    if rle:
        body = b"".join(bytes([0x80 | (width - 1), 10, 200, 30, 255]) for _ in range(height))
    else:
        body = bytes([10, 200, 30, 128] * width * height)
    return header + body


def pcx(width, height):
    line = (width + 1) // 2 * 2
    header = struct.pack("<BBBBHHHHHH", 10, 5, 1, 8, 0, 0, width - 1, height - 1, 72, 72)
    header += b"\0" * 48 + struct.pack("<BBHHHH", 0, 3, line, 1, 0, 0)
    header += b"\0" * (128 - len(header))
    body = b""
    for y in range(height):
        for plane in range(3):
            body += bytes([0xC0 | line, (plane * 90 + y * 20) & 0xBF])
    return header + body


def dds(width, height, fourcc=None):
    flags = 0x1 | 0x2 | 0x4 | 0x1000 | (0x80000 if fourcc else 0x8)
    pitch = (max(1, (width + 3) // 4) * max(1, (height + 3) // 4) * 8) if fourcc else width * 4
    header = struct.pack("<4sIIIIIII", b"DDS ", 124, flags, height, width, pitch, 0, 0) + b"\0" * 44
    if fourcc:
        header += struct.pack("<II4sIIIII", 32, 0x4, fourcc, 0, 0, 0, 0, 0)
        body = struct.pack("<HHI", 0xF800, 0x001F, 0x1B1B1B1B) * (((width + 3) // 4) * ((height + 3) // 4))
    else:
        header += struct.pack("<II4sIIIII", 32, 0x41, b"\0\0\0\0", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)
        body = bytes([30, 60, 200, 255] * width * height)
    header += struct.pack("<IIIII", 0x1000, 0, 0, 0, 0)
    return header + body


def jpeg(width, height, progressive):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "seed.jpg")
        args = ["convert", "-size", f"{width}x{height}", "gradient:red-blue", "-quality", "60"]
        if progressive:
            args += ["-interlace", "JPEG"]
        subprocess.run(args + ["-strip", path], check=True)
        return open(path, "rb").read()


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


rgb = png(4, 3, 2, 8, [bytes([200, 10, 10] * 4)] * 3)
rgba = png(3, 3, 6, 8, [bytes([10, 200, 10, 100] * 3)] * 3)
palette = png(5, 2, 3, 4, [bytes([0x01, 0x23, 0x40])] * 2, palette=bytes(range(48)), trns=b"\0\x80")
grey16 = png(2, 2, 0, 16, [b"\x12\x34\xff\xff"] * 2)
interlaced = png(9, 9, 2, 8, [bytes([i * 20, 100, 200 - i * 20] * 9) for i in range(9)], interlace=1)

pictures = {
    "bmp24": bytes([BMP]) + bmp24(5, 3),
    "bmp_rle8": bytes([BMP]) + bmp_rle8(6, 4),
    "png_rgb": bytes([PNG]) + rgb,
    "png_rgba": bytes([PNG]) + rgba,
    "png_palette": bytes([PNG]) + palette,
    "png_grey16": bytes([PNG]) + grey16,
    "png_interlaced": bytes([PNG]) + interlaced,
    "jpeg": bytes([JPEG]) + jpeg(8, 8, False),
    "jpg_progressive": bytes([JPG]) + jpeg(16, 8, True),
    "pcx": bytes([PCX]) + pcx(3, 2),
    "tga": bytes([TGA]) + tga(3, 2, False),
    "tga_rle": bytes([TGA]) + tga(4, 3, True),
    "dds_argb": bytes([DDS]) + dds(4, 4),
    "dds_dxt1": bytes([DDS]) + dds(8, 4, b"DXT1"),
}
for name, data in pictures.items():
    write("seeds/picture_file", name, data)

rects = {
    "same_size": (4, 3, 4, 3, 0, 0),
    "stretched": (16, 16, 40, 7, -3, 2),
    "clipped": (8, 8, -5, 100, 6, -40),
    "extremes": (64, 64, 0x7FFFFFFF, 0x7FFFFFFF, -0x80000000, -0x7FFFFFFF),
}
for name, (w, h, dw, dh, dx, dy) in rects.items():
    write("seeds/read_pcx", name, struct.pack("<BBiiii", w, h, dw, dh, dx, dy) + rgb)
write("seeds/read_pcx", "palette", struct.pack("<BBiiii", 10, 10, 10, 10, 0, 0) + palette)
write("seeds/read_pcx", "rgba", struct.pack("<BBiiii", 7, 5, 6, 9, 1, -1) + rgba)


def exif(order, entries, sub_entries):
    """A TIFF directory as an EXIF block carries it: IFD0 with `entries`
    (tag, type, count, value) and, when given, an EXIF sub-directory after it
    that the 0x8769 entry points at."""
    e = "<" if order == b"II" else ">"
    ifd0 = 8
    sub = ifd0 + 2 + 12 * (len(entries) + 1) + 4
    out = order + struct.pack(e + "HI", 42, ifd0)
    out += struct.pack(e + "H", len(entries) + 1)
    for tag, kind, count, value in entries:
        out += struct.pack(e + "HHII", tag, kind, count, value)
    out += struct.pack(e + "HHII", 0x8769, 4, 1, sub) + struct.pack(e + "I", 0)
    out += struct.pack(e + "H", len(sub_entries))
    for tag, kind, count, value in sub_entries:
        out += struct.pack(e + "HHII", tag, kind, count, value)
    text_at = len(out) + 4
    out += struct.pack(e + "I", 0) + b"Camera\0\0"
    # The Make entry's string lies after the directories.
    return out.replace(struct.pack(e + "I", 0xDEADBEEF), struct.pack(e + "I", text_at))


# jpeg_exif/: the TIFF directory of an APP1 block (the target builds the JPEG).
for order, name in ((b"II", "intel"), (b"MM", "motorola")):
    write("seeds/jpeg_exif", name, exif(order,
          [(0x010F, 2, 7, 0xDEADBEEF), (0x0112, 3, 1, 1), (0x011A, 5, 1, 0xDEADBEEF)],
          [(0x9000, 7, 4, 0x31323230), (0xA002, 4, 1, 16), (0xA003, 4, 1, 8)]))
