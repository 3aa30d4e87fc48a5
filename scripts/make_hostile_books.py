#!/usr/bin/python3
"""Writes the hostile books that attack the renderer's budgets, one EPUB each,
into a folder: markup nested far deeper than any book, a chapter that
inflates past the host's per-entry budget, a huge text node, single words of
100 KB and 1 MB, an SVG whose <use> elements expand exponentially, a PNG
referenced 100,000 times, five images of 64 megapixels each, 200,000
distinct missing images and 50,000 links to one style sheet. Each is written in a few seconds at most; the largest
entries are compressed by streaming, so nothing large is held at once.

Usage: /usr/bin/python3 make_hostile_books.py OUTPUT_DIR [NAME ...]
(every book unless names are given; --list prints the names.)
"""

import os
import struct
import sys
import zipfile
import zlib

HEAD = ('<?xml version="1.0" encoding="utf-8"?>\n'
        '<html xmlns="http://www.w3.org/1999/xhtml"><head><title>t</title>%s</head><body>')
TAIL = "</body></html>\n"


def png(width, height):
    """A PNG of pseudo-random pixels (it compresses badly, so it is large)."""
    seed, rows = 12345, bytearray()
    for _ in range(height):
        rows.append(0)
        for _ in range(width * 3):
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            rows.append(seed >> 16 & 0xFF)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(rows))) + chunk(b"IEND", b""))


def gray_png(side, shade):
    """A side x side PNG of one gray shade: 64 megapixels compress to 64 KB."""
    row = b"\0" + bytes([shade]) * side
    packer = zlib.compressobj(9)
    data = b"".join(packer.compress(row) for _ in range(side)) + packer.flush()

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", data) + chunk(b"IEND", b""))


def svg_use_bomb(levels=10, fan=10):
    """levels of groups, each drawing the one below fan times: fan**levels shapes."""
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink"'
             ' width="100" height="100"><defs><rect id="g0" width="1" height="1"/>']
    for level in range(1, levels + 1):
        uses = "".join('<use xlink:href="#g%d"/>' % (level - 1) for _ in range(fan))
        parts.append('<g id="g%d">%s</g>' % (level, uses))
    parts.append('</defs><use xlink:href="#g%d"/></svg>' % levels)
    return "".join(parts)


def nested(depth):
    yield HEAD % ""
    yield "<div>" * depth
    yield "x"
    yield "</div>" * depth
    yield TAIL


def repeated(head, piece, count, chunk=4096):
    """A document of `piece` `count` times, in chunks."""
    yield HEAD % head
    while count > 0:
        n = min(chunk, count)
        yield piece * n
        count -= n
    yield TAIL


def numbered(template, count):
    yield HEAD % ""
    for start in range(0, count, 4096):
        yield "".join(template % i for i in range(start, min(start + 4096, count)))
    yield TAIL


# Each book: its chapter (text pieces, written in turn) and other files.
BOOKS = {
    "nest-8000": lambda: (nested(8000), {}),
    "nest-100000": lambda: (nested(100000), {}),
    # 300 MiB inflated: past the host's 256 MiB per-entry budget.
    "inflate-300mb": lambda: (repeated("", "<p>" + "a" * 1017 + "</p>\n", 300 << 10, 1024), {}),
    "text-100mb": lambda: (repeated("", "lorem ipsum dolor sit amet ", (100 << 20) // 27), {}),
    "word-100kb": lambda: (repeated("", "w", 100 << 10, 100 << 10), {}),
    "word-1mb": lambda: (repeated("", "w", 1 << 20, 1 << 20), {}),
    "svg-use": lambda: (iter([HEAD % "", '<p><img src="bomb.svg" alt="bomb"/></p>', TAIL]),
                        {"bomb.svg": svg_use_bomb().encode()}),
    "svg-use-inline": lambda: (iter([HEAD % "", "<p>", svg_use_bomb(), "</p>", TAIL]), {}),
    "img-100k-one": lambda: (repeated("", '<img src="one.png" alt="i"/>', 100000),
                             {"one.png": png(100, 68)}),
    "img-200k-missing": lambda: (numbered('<img src="missing/%d.png" alt="m"/>', 200000), {}),
    # Five distinct 64-megapixel images: 320 megapixels, past the
    # document's 256; each alone is within the per-image limit.
    "img-pixels": lambda: (iter([HEAD % "", "".join('<p><img src="g%d.png" alt="g"/></p>' % i
                                                    for i in range(5)), TAIL]),
                           {"g%d.png" % i: gray_png(8192, 40 * i) for i in range(5)}),
    "link-50k": lambda: (repeated('<link rel="stylesheet" type="text/css" href="one.css"/>' * 50000,
                                  "<p>styled</p>", 1), {"one.css": b"p { color: #333; }\n"}),
}

CONTAINER = """<?xml version="1.0"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/></rootfiles>
</container>
"""

OPF = """<?xml version="1.0" encoding="utf-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="id">
<metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:identifier id="id">hostile-%s</dc:identifier>
<dc:title>%s</dc:title><dc:language>en</dc:language></metadata>
<manifest><item id="c" href="chapter.xhtml" media-type="application/xhtml+xml"/>%s</manifest>
<spine><itemref idref="c"/></spine>
</package>
"""


def write(folder, name):
    chapter, files = BOOKS[name]()
    path = os.path.join(folder, name + ".epub")
    with zipfile.ZipFile(path, "w", compresslevel=1) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/epub+zip", zipfile.ZIP_STORED)
        z.writestr("META-INF/container.xml", CONTAINER, zipfile.ZIP_DEFLATED)
        items = "".join('<item id="f%d" href="%s" media-type="%s"/>' % (
            i, f, {"svg": "image/svg+xml", "png": "image/png", "css": "text/css"}[f.rsplit(".", 1)[1]])
            for i, f in enumerate(files))
        z.writestr("OEBPS/content.opf", OPF % (name, name, items), zipfile.ZIP_DEFLATED)
        for file, data in files.items():
            z.writestr("OEBPS/" + file, data, zipfile.ZIP_DEFLATED)
        info = zipfile.ZipInfo("OEBPS/chapter.xhtml")
        info.compress_type = zipfile.ZIP_DEFLATED
        with z.open(info, "w") as out:
            for piece in chapter:
                out.write(piece.encode())
    return path


def main():
    args = sys.argv[1:]
    if args == ["--list"]:
        print("\n".join(BOOKS))
        return
    if not args or any(n not in BOOKS for n in args[1:]):
        sys.exit(__doc__.strip())
    os.makedirs(args[0], exist_ok=True)
    for name in args[1:] or BOOKS:
        print(write(args[0], name))


if __name__ == "__main__":
    main()
