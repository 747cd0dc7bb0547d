#!/usr/bin/python3
"""Writes the fuzz targets' seed corpus into fuzz/corpus/<target>/.

Small, varied, valid files (and a few damaged ones): every PNG colour type
and depth, interlaced or not, with the ancillary chunks the reader knows;
BMP files of every depth, header version, bit-field and run-length kind;
JPEG files of the usual kinds (through Pillow); WebP files (Pillow) and
AVIF files (libavif's avifenc) of each kind; zlib streams of every
level, strategy and window size; capture lists and form files. Run it
again after changing it; the output is the same each time.
"""

import io
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def pattern(w, h, channels, maxval, seed=1):
    """Rows of samples: gradients with a little noise, deterministic."""
    x = seed
    rows = []
    for y in range(h):
        row = []
        for i in range(w):
            for c in range(channels):
                x = (x * 1103515245 + 12345) & 0x7FFFFFFF
                v = ((i * 37 + y * 11 + c * 71) + (x >> 16) % 5) % (maxval + 1)
                row.append(v)
        rows.append(row)
    return rows


# ---------------------------------------------------------------- PNG

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def pack_row(samples, depth):
    if depth == 8:
        return bytes(samples)
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    out, acc, bits = bytearray(), 0, 0
    for s in samples:
        acc = (acc << depth) | s
        bits += depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_rows(rows, bpp):
    """Each row with the filter type y % 5 (all five appear)."""
    out = bytearray()
    prior = bytes(len(rows[0])) if rows else b""
    for y, row in enumerate(rows):
        t = y % 5
        f = bytearray()
        for i, v in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prior[i]
            c = prior[i - bpp] if i >= bpp else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][t]
            f.append((v - pred) & 0xFF)
        out.append(t)
        out += f
        prior = row
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (0, 4, 8, 8), (4, 0, 8, 4), (0, 2, 4, 4), (2, 0, 4, 2), (0, 1, 2, 2),
         (1, 0, 2, 1)]


def png(w, h, colour, depth, interlace=False, extra_before=b"", extra_after=b"",
        palette=None, split=1, level=9, seed=1):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    maxval = (1 << depth) - 1
    if colour == 3:
        maxval = min(maxval, len(palette) // 3 - 1)
    samples = pattern(w, h, channels, maxval, seed)
    bpp = max(1, channels * depth // 8)
    if interlace:
        raw = b""
        for r0, c0, rs, cs in ADAM7:
            sub = [samples[y][c * channels:(c + 1) * channels]
                   for y in range(r0, h, rs) for c in range(c0, w, cs)]
            pw = len(range(c0, w, cs))
            if pw == 0 or r0 >= h:
                continue
            rows = [pack_row(sum(sub[k * pw:(k + 1) * pw], []), depth)
                    for k in range(len(range(r0, h, rs)))]
            raw += filter_rows(rows, bpp)
    else:
        raw = filter_rows([pack_row(r, depth) for r in samples], bpp)
    data = zlib.compress(raw, level)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0, int(interlace)))
    out += extra_before
    if palette is not None:
        out += chunk(b"PLTE", bytes(palette))
    step = (len(data) + split - 1) // split
    for i in range(0, len(data), max(step, 1)):
        out += chunk(b"IDAT", data[i:i + step])
    out += extra_after
    out += chunk(b"IEND", b"")
    return out


def make_png():
    t = "png_image"
    pal = [v for i in range(16) for v in ((i * 17) & 255, (i * 90) & 255, (255 - i * 16) & 255)]
    for colour, depths in ((0, (1, 2, 4, 8, 16)), (2, (8, 16)), (3, (1, 2, 4, 8)), (4, (8, 16)),
                           (6, (8, 16))):
        for depth in depths:
            p = pal[:3 * min(16, 1 << depth)] if colour == 3 else None
            write(t, "c%d_d%d.png" % (colour, depth), png(9, 7, colour, depth, palette=p))
            write(t, "c%d_d%d_adam7.png" % (colour, depth),
                  png(11, 10, colour, depth, interlace=True, palette=p, seed=2))
    gama = chunk(b"gAMA", struct.pack(">I", 45455))
    text = chunk(b"tEXt", b"Title\0fuzz seed")
    ztxt = chunk(b"zTXt", b"Comment\0\0" + zlib.compress(b"a compressed comment"))
    time = chunk(b"tIME", struct.pack(">HBBBBB", 2020, 2, 29, 23, 59, 60))
    unknown = chunk(b"prVt", b"private ancillary data")
    write(t, "rgb_gama_text.png", png(6, 4, 2, 8, extra_before=gama + text + unknown,
                                      extra_after=time + ztxt))
    write(t, "grey_gama.png", png(5, 5, 0, 4, extra_before=gama))
    trns_pal = chunk(b"tRNS", bytes([0, 128, 255]))
    # tRNS goes after PLTE: build by hand.
    body = png(8, 8, 3, 4, palette=pal[:48], split=3, level=1)
    i = body.index(b"IDAT") - 4
    write(t, "palette_trns_split.png", body[:i] + trns_pal + body[i:])
    write(t, "rgb_trns.png", png(4, 4, 2, 16, extra_before=chunk(b"tRNS", b"\0\1\0\2\0\3")))
    write(t, "grey_trns.png", png(4, 4, 0, 8, extra_before=chunk(b"tRNS", b"\0\7")))
    write(t, "one_pixel.png", png(1, 1, 6, 8, level=0))
    write(t, "wide_row.png", png(300, 1, 0, 1))
    good = png(5, 4, 2, 8)
    write(t, "truncated.png", good[:len(good) - 20])
    bad_crc = bytearray(good)
    bad_crc[30] ^= 0xFF
    write(t, "bad_crc.png", bytes(bad_crc))


# ---------------------------------------------------------------- BMP

def bmp_file(info, table, pixels, extra=b""):
    off = 14 + len(info) + len(extra) + len(table)
    return (b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + info + extra + table +
            pixels)


def info_header(size, w, h, bits, compression=0, image_size=0, colours=0, masks=None):
    base = struct.pack("<IiiHHIIiiII", size, w, h, 1, bits, compression, image_size, 2835, 2835,
                       colours, 0)
    if size == 40:
        return base
    m = masks or (0, 0, 0, 0)
    rest = struct.pack("<IIII", *m)
    if size >= 108:
        rest += b"sRGB" + bytes(36) + bytes(12)
    if size >= 124:
        rest += struct.pack("<IIII", 4, 0, 0, 0)
    return base + rest[:size - 40]


def bmp_rows(w, h, bits, seed):
    samples = pattern(w, h, 1, (1 << min(bits, 8)) - 1, seed)
    rows = []
    for r in samples:
        if bits <= 8:
            row = pack_row(r, bits)
        elif bits == 16:
            row = b"".join(struct.pack("<H", (v * 997) & 0xFFFF) for v in r)
        elif bits == 24:
            row = b"".join(bytes(((v * 3) & 255, (v * 5) & 255, (v * 7) & 255)) for v in r)
        else:
            row = b"".join(struct.pack("<I", (v * 0x01030507) & 0xFFFFFFFF) for v in r)
        rows.append(row + bytes(-len(row) % 4))
    return rows


def colour_table(n, entry=4):
    return b"".join(bytes(((i * 29) & 255, (i * 53) & 255, (i * 97) & 255)) + b"\0" * (entry - 3)
                    for i in range(n))


def rle8(rows_of_indices):
    out = bytearray()
    for row in rows_of_indices:
        i = 0
        while i < len(row):
            j = i
            while j < len(row) and row[j] == row[i] and j - i < 255:
                j += 1
            if j - i >= 3:
                out += bytes((j - i, row[i]))
                i = j
            else:
                lit = row[i:i + min(5, len(row) - i)]
                if len(lit) >= 3:
                    out += bytes((0, len(lit))) + bytes(lit) + bytes(len(lit) & 1)
                else:
                    for v in lit:
                        out += bytes((1, v))
                i += len(lit)
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


def rle4(rows_of_indices):
    out = bytearray()
    for row in rows_of_indices:
        i = 0
        while i < len(row):
            n = min(6, len(row) - i)
            if n >= 3:
                lit = row[i:i + n]
                packed = pack_row(lit, 4)
                out += bytes((0, n)) + packed + bytes(len(packed) & 1)
            else:
                out += bytes((n, (row[i] << 4) | row[i + 1 if n > 1 else i]))
            i += n
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


def make_bmp():
    t = "bmp_picture"
    w, h = 7, 5
    for bits in (1, 4, 8, 16, 24, 32):
        rows = bmp_rows(w, h, bits, bits)
        table = colour_table(1 << bits) if bits <= 8 else b""
        pixels = b"".join(reversed(rows))
        write(t, "v3_%dbit.bmp" % bits, bmp_file(info_header(40, w, h, bits), table, pixels))
        write(t, "v3_%dbit_topdown.bmp" % bits,
              bmp_file(info_header(40, w, -h, bits), table, b"".join(rows)))
    # Core header with 3-byte colour entries.
    rows = bmp_rows(w, h, 8, 3)
    core = struct.pack("<IHHHH", 12, w, h, 1, 8)
    write(t, "core_8bit.bmp", bmp_file(core, colour_table(256, 3), b"".join(rows)))
    # Fewer colours than the depth allows, and a gap before the pixels.
    rows = bmp_rows(w, h, 4, 4)
    write(t, "v3_4bit_6colours_gap.bmp",
          bmp_file(info_header(40, w, h, 4, colours=6), colour_table(6) + bytes(10),
                   b"".join(rows)))
    # Bit fields: 5-6-5, odd masks (decoded to 24 bits), and in v4/v5 headers.
    for name, masks, bits in (("565", (0xF800, 0x07E0, 0x001F), 16),
                              ("444", (0x0F00, 0x00F0, 0x000F), 16),
                              ("10_10_10", (0x3FF00000, 0x000FFC00, 0x000003FF), 32)):
        rows = b"".join(bmp_rows(w, h, bits, 5))
        write(t, "bitfields_%s.bmp" % name,
              bmp_file(info_header(40, w, h, bits, 3), b"", rows, struct.pack("<III", *masks)))
    rows = b"".join(bmp_rows(w, h, 32, 6))
    write(t, "v4_bitfields_32.bmp",
          bmp_file(info_header(108, w, h, 32, 3, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)), b"",
                   rows))
    write(t, "v5_24bit.bmp",
          bmp_file(info_header(124, w, h, 24), b"", b"".join(bmp_rows(w, h, 24, 7))))
    # Run-length data, with a delta move in the 8-bit one.
    idx = pattern(13, 6, 1, 15, 9)
    idx = [[v if x % 4 else 3 for x, v in enumerate(r)] for r in idx]
    data = rle8(idx)
    write(t, "rle8.bmp", bmp_file(info_header(40, 13, 6, 8, 1, len(data)), colour_table(16), data))
    delta = b"\x03\x05\0\x02\x02\x01\x04\x07\0\0\x02\x09\0\1"
    write(t, "rle8_delta.bmp",
          bmp_file(info_header(40, 13, 6, 8, 1, len(delta)), colour_table(16), delta))
    data = rle4(idx)
    write(t, "rle4.bmp", bmp_file(info_header(40, 13, 6, 4, 2, len(data)), colour_table(16), data))
    good = bmp_file(info_header(40, w, h, 24), b"", b"".join(bmp_rows(w, h, 24, 8)))
    write(t, "truncated.bmp", good[:len(good) - 9])


# ---------------------------------------------------------------- JPEG

def make_jpeg():
    try:
        from PIL import Image
    except ImportError:
        sys.exit("Pillow (python3-pil) is needed for the JPEG seeds")
    t = "jpeg_picture"
    w, h = 24, 17
    rgb = Image.new("RGB", (w, h))
    rgb.putdata([((x * 10) & 255, (y * 15) & 255, ((x + y) * 7) & 255)
                 for y in range(h) for x in range(w)])

    def save(name, image, **kw):
        buf = io.BytesIO()
        image.save(buf, "JPEG", **kw)
        write(t, name, buf.getvalue())

    save("baseline_420.jpg", rgb, quality=50)
    save("baseline_444.jpg", rgb, quality=80, subsampling=0)
    save("baseline_422.jpg", rgb, quality=30, subsampling=1)
    save("progressive.jpg", rgb, quality=60, progressive=True)
    save("optimized.jpg", rgb, quality=70, optimize=True)
    save("grey.jpg", rgb.convert("L"), quality=60)
    save("grey_progressive.jpg", rgb.convert("L"), quality=60, progressive=True)
    save("cmyk.jpg", rgb.convert("CMYK"), quality=60)
    save("one_pixel.jpg", Image.new("RGB", (1, 1), (200, 30, 90)))
    buf = io.BytesIO()
    rgb.save(buf, "JPEG", quality=50)
    write(t, "truncated.jpg", buf.getvalue()[:-40])


# ---------------------------------------------------------------- WebP, AVIF

def seed_image(alpha=False):
    from PIL import Image
    w, h = 24, 17
    im = Image.new("RGBA" if alpha else "RGB", (w, h))
    im.putdata([((x * 10) & 255, (y * 15) & 255, ((x + y) * 7) & 255, (x * y * 3) & 255)[:4 if alpha else 3]
                for y in range(h) for x in range(w)])
    return im


def make_webp():
    try:
        from PIL import Image
    except ImportError:
        sys.exit("Pillow (python3-pil) is needed for the WebP seeds")
    t = "webp_picture"

    def save(name, image, **kw):
        buf = io.BytesIO()
        image.save(buf, "WEBP", **kw)
        write(t, name, buf.getvalue())
        return buf.getvalue()

    lossy = save("lossy.webp", seed_image(), quality=70)
    save("lossless.webp", seed_image(), lossless=True)
    save("alpha_lossy.webp", seed_image(True), quality=60)
    save("alpha_lossless.webp", seed_image(True), lossless=True, exact=True)
    save("one_pixel.webp", Image.new("RGB", (1, 1), (200, 30, 90)), lossless=True)
    save("animated.webp", seed_image(), save_all=True,
         append_images=[Image.new("RGB", (24, 17), (0, 90, 0))])
    write(t, "truncated.webp", lossy[:len(lossy) - 30])
    # A lossless header of 16384 x 16384 pixels and nothing behind it.
    bits = 16383 | 16383 << 14
    body = b"VP8L" + struct.pack("<I", 10) + b"\x2f" + struct.pack("<I", bits) + bytes(5)
    write(t, "huge_header.webp", b"RIFF" + struct.pack("<I", 4 + len(body)) + b"WEBP" + body)


def make_avif():
    import shutil
    import subprocess
    import tempfile
    if not shutil.which("avifenc"):
        sys.exit("avifenc (libavif-bin) is needed for the AVIF seeds")
    t = "avif_picture"
    with tempfile.TemporaryDirectory() as tmp:
        rgb, rgba = os.path.join(tmp, "rgb.png"), os.path.join(tmp, "rgba.png")
        seed_image().save(rgb)
        seed_image(True).save(rgba)
        files = {}
        for name, src, options in (
                ("444.avif", rgb, ["-y", "444", "--min", "20", "--max", "20"]),
                ("420.avif", rgb, ["-y", "420", "--min", "30", "--max", "30"]),
                ("10bit.avif", rgb, ["-d", "10", "--min", "20", "--max", "20"]),
                ("lossless.avif", rgb, ["-l"]),
                ("alpha.avif", rgba, ["--min", "20", "--max", "20"])):
            out = os.path.join(tmp, name)
            subprocess.run(["avifenc", "-s", "9", "-j", "1"] + options + [src, out],
                           check=True, stdout=subprocess.DEVNULL)
            with open(out, "rb") as f:
                files[name] = f.read()
            write(t, name, files[name])
    good = files["444.avif"]
    write(t, "truncated.avif", good[:len(good) - 30])
    # The declared size, ispe, made 16384 x 16384.
    at = good.find(b"ispe") + 8
    write(t, "huge_ispe.avif", good[:at] + struct.pack(">II", 16384, 16384) + good[at + 8:])


# ---------------------------------------------------------------- zlib

def make_zlib():
    t = "zstream"
    text = b"".join(b"line %d of a text that repeats itself now and then\n" % (i % 7)
                    for i in range(40))
    noise = bytes(pattern(64, 4, 1, 255, 3)[0] * 4)
    for level in (0, 1, 6, 9):
        write(t, "text_level%d.z" % level, zlib.compress(text, level))
    write(t, "noise.z", zlib.compress(noise, 6))
    write(t, "empty.z", zlib.compress(b""))
    for name, strategy in (("huffman", zlib.Z_HUFFMAN_ONLY), ("rle", zlib.Z_RLE),
                           ("fixed", zlib.Z_FIXED), ("filtered", zlib.Z_FILTERED)):
        c = zlib.compressobj(6, zlib.DEFLATED, 15, 8, strategy)
        write(t, "text_%s.z" % name, c.compress(text) + c.flush())
    for wbits in (9, 12):
        c = zlib.compressobj(9, zlib.DEFLATED, wbits)
        write(t, "window%d.z" % wbits, c.compress(text) + c.flush())
    # Flushed in the middle: stored empty blocks inside the stream.
    c = zlib.compressobj(6)
    write(t, "sync_flush.z", c.compress(text[:300]) + c.flush(zlib.Z_SYNC_FLUSH) +
          c.compress(text[300:]) + c.flush())
    c = zlib.compressobj(6, zlib.DEFLATED, 15, 8, zlib.Z_DEFAULT_STRATEGY, zdict=b"line of a text")
    write(t, "dictionary.z", c.compress(text) + c.flush())
    whole = zlib.compress(text, 6)
    write(t, "truncated.z", whole[:len(whole) // 2])
    write(t, "trailing_bytes.z", whole + b"after the end")
    bad = bytearray(whole)
    bad[-1] ^= 1
    write(t, "bad_adler.z", bytes(bad))
    # A run of zeros: about a thousand bytes out per byte in.
    write(t, "zeros.z", zlib.compress(bytes(1 << 18), 9))


# ---------------------------------------------------------------- text

def make_batch_list():
    """Capture lists; the first byte is the shard count and --format."""
    t = "batch_list"

    def control(shards, fmt):
        return bytes([(shards - 1) + 4 * fmt])

    plain = (b"# pages to capture\n"
             b"https://example.org/\n"
             b"\n"
             b"http://127.0.0.1:8080/a?b=c#d front.png\n"
             b"file:///tmp/page.html\tpage.JPEG\n"
             b"about:blank blank.bmp\n"
             b"data:text/html,<p>hi</p> data.jpe\n")
    write(t, "plain.txt", control(1, 0) + plain)
    write(t, "sharded_jpg.txt", control(3, 2) + plain)
    write(t, "crlf.txt", control(2, 1) + plain.replace(b"\n", b"\r\n"))
    write(t, "bad_lines.txt", control(1, 0) +
          b"data:text/html,<p>hi there</p>\n"
          b"http://a/ ../x.png\n"
          b"http://a/ pic.gif\n"
          b"ftp://a/ f.png\n"
          b"http://exa mple/ y.png\n"
          b"http://[::1/ z.png\n"
          b"no-such-file.html\n"
          b"http://a/ - \n")
    write(t, "clashes.txt", control(2, 3) +
          b"http://a/ a.bmp\nhttp://b/\nhttp://c/ a.bmp\nhttp://d/ 0002-b.bmp\n")
    write(t, "names_and_formats.txt", control(1, 1) +
          b"http://a/ x\nhttp://a/ y.JPG\nhttp://a/ .hidden.png\nhttp://a/ two words.png\n")


def make_form_file():
    t = "form_file"
    write(t, "controls_and_timer.form",
          b"object Form1: TForm\n"
          b"  Left = 100\n"
          b"  Top = $50\n"
          b"  Width = 640\n"
          b"  Height = 480\n"
          b"  Caption = 'Pages'#13#10'and ''more'''\n"
          b"  object Panel1: TCustomPanel\n"
          b"    Left = 8\n"
          b"    Top = 8\n"
          b"    Width = 320\n"
          b"    Height = 240\n"
          b"    Align = alClient\n"
          b"    object Inner: TWinControl\n"
          b"      Left = -5\n"
          b"      Top = 0\n"
          b"      Width = 10\n"
          b"      Height = 10\n"
          b"    end\n"
          b"  end\n"
          b"  object Timer1: TTimer\n"
          b"    Enabled = False\n"
          b"    Interval = 500\n"
          b"  end\n"
          b"end\n")
    write(t, "empty_form.form", b"object F: TForm\nend\n")
    write(t, "sets_and_idents.form",
          b"object F: TForm\n  Caption = #65#66'c'\n  Tag = [a, b]\n  X = nil\nend\n")
    write(t, "unknown_class.form", b"object F: TForm\n  object S: TSitelens\n  end\nend\n")
    write(t, "cut_short.form", b"object F: TForm\n  object T: TTimer\n    Interval = 5\n")
    write(t, "handler.form",
          b"object F: TForm\n  object T: TTimer\n    OnTimer = TTimer1Timer\n  end\nend\n")


def main():
    make_png()
    make_bmp()
    make_jpeg()
    make_webp()
    make_avif()
    make_zlib()
    make_batch_list()
    make_form_file()


if __name__ == "__main__":
    main()
