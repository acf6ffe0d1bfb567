"""Pictures for the end-to-end checks: the game's screenshots (8-bit RGB PNG) and window
captures made with xwd (32-bit ZPixmap), both read as a Picture of RGB rows, top first."""
import struct
import zlib


class Picture:
    def __init__(self, width, height, rows):
        self.width, self.height, self.rows = width, height, rows

    def pixel(self, x, y):
        return tuple(self.rows[y][3 * x:3 * x + 3])

    def scaled(self, factor):
        """Each pixel as a factor x factor block."""
        rows = []
        for row in self.rows:
            wide = bytearray()
            for x in range(self.width):
                wide += row[3 * x:3 * x + 3] * factor
            rows += [wide] * factor
        return Picture(self.width * factor, self.height * factor, rows)

    def differing(self, other, tolerance=0, reach=0):
        """How many pixels differ by more than tolerance in any channel from the other
        picture's pixel at the same place, or from every one within reach of it."""
        assert (self.width, self.height) == (other.width, other.height), \
            "%dx%d against %dx%d" % (self.width, self.height, other.width, other.height)

        def close(a, ox, oy):
            if not (0 <= ox < other.width and 0 <= oy < other.height):
                return False
            b = other.rows[oy]
            return all(abs(a[c] - b[3 * ox + c]) <= tolerance for c in range(3))

        count = 0
        for y, (a, b) in enumerate(zip(self.rows, other.rows)):
            if a == b:
                continue
            for x in range(self.width):
                here = a[3 * x:3 * x + 3]
                if close(here, x, y):
                    continue
                if not any(close(here, x + dx, y + dy) for dy in range(-reach, reach + 1)
                           for dx in range(-reach, reach + 1)):
                    count += 1
        return count


def read_png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "%s: not a PNG" % path
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    assert (depth, colour) == (8, 2), "%s: not 8-bit RGB" % path
    idat, pos = b"", 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], prev[i - 3] if i >= 3 else 0
            p = a + b - c
            paeth = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
            line[i] = (line[i] + [0, a, b, (a + b) // 2, paeth][kind]) & 255
        rows.append(line)
        prev = line
    return Picture(width, height, rows)


def read_xwd(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, version, pixmap_format = fields[0], fields[1], fields[2]
    width, height, byte_order, bits_per_pixel, bytes_per_line = fields[4], fields[5], fields[7], fields[11], fields[12]
    masks, ncolours = fields[14:17], fields[19]
    assert version == 7 and pixmap_format == 2 and bits_per_pixel == 32, "%s: not a 32-bit ZPixmap" % path
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    start = header_size + 12 * ncolours
    order = "<" if byte_order == 0 else ">"
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + 4 * width]
        row = bytearray()
        for (value,) in struct.iter_unpack(order + "I", line):
            row += bytes(((value & m) >> s) & 255 for m, s in zip(masks, shifts))
        rows.append(row)
    return Picture(width, height, rows)
