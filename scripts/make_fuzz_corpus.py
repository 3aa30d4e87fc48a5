#!/usr/bin/python3
"""Writes the fuzz targets' seed corpora into a folder, one subfolder per
target (xml, decode, container, opf, ncx, open, exports, mupdf, book, zip), from the
test publications of make_fixtures.py (generated afresh into a temporary
folder) and a few small documents of its own, in the input layouts the
targets in fuzz/ expect:

- xml: a document's bytes (widened one to one), or FF FE and UTF-16LE;
- decode: one settings byte, then a file's bytes;
- container, opf, ncx: the file's bytes;
- open: mimetype, container, OPF, NCX, a content document, joined by the
  separator 00 40 40 00;
- exports: the same five parts, then a byte program of export calls;
- mupdf: an XHTML document, a style sheet, an image, a font and a byte
  program of renderer calls, joined the same way;
- book, zip: a whole .epub file: the test publications, and small books
  made to hurt (lying zip sizes, entity bombs, deep tables of contents,
  long words, many references to missing or shared resources).

Usage: /usr/bin/python3 make_fuzz_corpus.py OUTPUT_FOLDER
"""

import hashlib
import io
import os
import re
import struct
import sys
import tempfile
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_fixtures  # noqa: E402

SEPARATOR = b"\x00@@\x00"

CONTAINER = (b'<?xml version="1.0"?><container version="1.0"><rootfiles>'
             b'<rootfile full-path="OEBPS/content.opf" '
             b'media-type="application/oebps-package+xml"/></rootfiles></container>')

OPF = ('<?xml version="1.0" encoding="UTF-8"?><package version="2.0" '
       'unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">'
       '<dc:title>T &amp; U</dc:title><dc:creator>Ann</dc:creator>'
       '<dc:identifier id="id">u</dc:identifier><dc:identifier>isbn</dc:identifier>'
       '<meta name="cover" content="c"/><dc:date opf:event="creation">2001</dc:date>'
       '</metadata><manifest>'
       '<item id="a" href="text/a.xhtml" media-type="application/xhtml+xml"/>'
       '<item id="b" href="b%20c.xhtml" media-type="application/xhtml+xml"/>'
       '<item id="n" href="toc.ncx" media-type="application/x-dtbncx+xml"/></manifest>'
       '<spine toc="n"><itemref idref="a"/><itemref idref="b" linear="no"/>'
       '<itemref idref="a"/><itemref idref="z"/></spine>'
       '<guide><reference type="text" href="text/a.xhtml#x" title="Start"/></guide>'
       '</package>').encode()

NCX = ('<?xml version="1.0"?><!DOCTYPE ncx PUBLIC "-//NISO//DTD ncx 2005-1//EN" '
       '"http://www.daisy.org/z3986/2005/ncx-2005-1.dtd"><ncx version="2005-1">'
       '<head><meta name="dtb:uid" content="u"/><meta name="dtb:depth" content="2"/></head>'
       '<docTitle><text>T</text></docTitle><docAuthor><text>A</text></docAuthor>'
       '<navMap><navLabel><text>L</text></navLabel>'
       '<navPoint id="p1" playOrder="1" class="chapter"><navLabel><text>One</text></navLabel>'
       '<content src="text/a.xhtml#x"/><navPoint id="p2" playOrder="2">'
       '<navLabel><text>Two &#x263A;</text></navLabel><content src="b%20c.xhtml"/>'
       '</navPoint></navPoint><navPoint id="p3"/></navMap>'
       '<navInfo><text>I</text></navInfo></ncx>').encode()

CONTENT = ('<?xml version="1.0" encoding="utf-8"?><!DOCTYPE html>'
           '<html xmlns="http://www.w3.org/1999/xhtml"><head><title>A</title>'
           '<link rel="stylesheet" type="text/css" href="style.css"/></head>'
           '<body><h1 id="x">Chapter</h1><p>Some <em>text</em> &amp; a '
           '<a href="b%20c.xhtml#y">link</a>.</p><p><img src="pic.png" alt="p"/></p>'
           '<pre>  kept   </pre><![CDATA[<raw>]]><!-- note --></body></html>').encode()

# Containers the reader must tell apart: a second rootfile of another type
# first, no media type, a UTF-16 container, no rootfile at all.
CONTAINERS = [
    b'<container><rootfiles><rootfile full-path="a.pdf" media-type="application/pdf"/>'
    b'<rootfile full-path="b/c.opf" media-type="application/oebps-package+xml"/>'
    b'</rootfiles></container>',
    b'<container><rootfiles><rootfile full-path="c.opf"/></rootfiles></container>',
    b'\xff\xfe' + CONTAINER.decode().encode("utf-16-le"),
    b'<container><rootfiles/></container>',
]

# Small documents that pin the XML reader's rules (clear sections,
# declarations, entities, errors).
XML_TEXTS = [
    b'<?xml version="1.0"?><a b="1" c><d/>text<e>more</e></a>',
    b'<a><!-- c --><![CDATA[x<y]]><!DOCTYPE a [<!ENTITY e "v">]><pre> <b> </pre></a>',
    b'<a>&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&#0;&#xD800;&bogus;</a>',
    b'<a><b></a></b>',
    b'</a>',
    b'<?xml?><?pi data?><a/><b/>',
    b'<a x="1" x="2" y=\'3\' z=4/>',
    b'<a' + b'<b>' * 40 + b'</a>',
    b'<A><B:c d:e="f"/></a>',
    b'\xef\xbb\xbf<a>\xc3\xa9</a>',
]

STYLE = (b'body { font-family: serif; margin: 1em } h1 { font-size: 2em; color: #336 }\n'
         b'p { text-indent: 1.5em; line-height: 1.4 } em { font-style: italic }\n'
         b'@font-face { font-family: X; src: url(font.ttf) } img { width: 50% }\n')

# A document the MuPDF renderer prepares before MuPDF parses it: an object
# image, @import in <style>, background images from a sheet, a <style> and a
# style attribute.
PREPARED = (b'<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml"><head>'
            b'<link rel="stylesheet" href="style.css"/><style>@import "style.css"; div '
            b'{ background: #eee url(pic.png) no-repeat; background-size: cover }</style></head>'
            b'<body><div style="background-image: url(pic.svg); padding: 1em"><p>text</p>'
            b'<object data="pic.png" type="image/png">fallback</object></div></body></html>')
BACKGROUND_STYLE = STYLE + b'p { background: url(pic.gif) repeat-x; background-repeat: repeat }\n'


def png(width, height):
    """A small RGB PNG, written by hand (zlib only)."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    rows = b"".join(
        b"\x00" + b"".join(bytes((x * 40 % 256, y * 60 % 256, 128)) for x in range(width))
        for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def gif():
    """A 1x1 GIF."""
    return (b"GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
            b",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;")


SVG = (b'<svg xmlns="http://www.w3.org/2000/svg" width="20" height="10">'
       b'<rect width="20" height="10" fill="red"/></svg>')


def write(folder, target, data):
    path = os.path.join(folder, target)
    os.makedirs(path, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


# The test publications' .epub files, as publications() found them.
BOOKS = []


def publications():
    """(mimetype, container, opf, ncx, [content documents]) of every test
    publication, and one assembled from the texts above."""
    found = [(b"application/epub+zip", CONTAINER, OPF, NCX, [CONTENT])]
    with tempfile.TemporaryDirectory() as folder:
        global BOOKS
        make_fixtures.make_plain(folder)
        make_fixtures.make_deep(folder)
        make_fixtures.make_handmade(folder)
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".epub"):
                continue
            with open(os.path.join(folder, name), "rb") as f:
                BOOKS.append(f.read())
            with zipfile.ZipFile(os.path.join(folder, name)) as z:
                names = z.namelist()
                container = z.read("META-INF/container.xml")
                opf_name = next(n.decode() for n in re.findall(rb'full-path="([^"]+)"', container)
                                if n.decode() in names)
                ncx = [n for n in names if n.endswith(".ncx")]
                content = [z.read(n) for n in names if n.endswith((".xhtml", ".html"))]
                found.append((z.read("mimetype"), container, z.read(opf_name),
                              z.read(ncx[0]) if ncx else b"", content))
    return found


def epub_file(files, lie=None):
    """An .epub of (name, bytes) pairs after the mimetype, deflated; `lie`
    names an entry whose central directory claims 2 GB inflated."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        z.writestr("mimetype", "application/epub+zip", zipfile.ZIP_STORED)
        z.writestr("META-INF/container.xml", CONTAINER, zipfile.ZIP_DEFLATED)
        for name, data in files:
            z.writestr(name, data, zipfile.ZIP_DEFLATED)
    data = buffer.getvalue()
    if lie:
        # The central directory record naming it: uncompressed size at 24.
        at = data.index(b"PK\x01\x02")
        while data[at + 46:at + 46 + len(lie)] != lie.encode():
            at = data.index(b"PK\x01\x02", at + 4)
        data = data[:at + 24] + struct.pack("<I", 0x7FFFFFFF) + data[at + 28:]
    return data


def chapter(body):
    return ('<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml"><head>'
            '<title>t</title></head><body>' + body + '</body></html>').encode()


def hostile_books():
    """Small books made to hurt the zip host, the engine and the renderer."""
    def book(body, extra=(), opf=OPF, lie=None):
        files = {"OEBPS/content.opf": opf, "OEBPS/toc.ncx": NCX,
                 "OEBPS/text/a.xhtml": chapter(body)}
        files.update(extra)
        return epub_file(files.items(), lie)
    deep_ncx = ('<ncx><navMap>' + '<navPoint><navLabel><text>x</text></navLabel>'
                '<content src="text/a.xhtml"/>' * 3000 + '</navPoint>' * 3000 +
                '</navMap></ncx>').encode()
    laughs = OPF.replace(b'<package', b'<!DOCTYPE package [<!ENTITY a "aaaaaaaaaa">'
                         b'<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">'
                         b'<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">]><package', 1)
    laughs = laughs.replace(b"<dc:title>T &amp; U", b"<dc:title>&c;")
    use = ('<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
           'width="100" height="100"><defs><rect id="l0" width="1" height="1"/>' +
           ''.join('<g id="l%d">' % (k + 1) + ''.join('<use xlink:href="#l%d"/>' % k
                                                      for _ in range(10)) + '</g>'
                   for k in range(3)) + '</defs><use xlink:href="#l3"/></svg>')
    return [
        # Scaled down to what a fuzz run takes in its stride: the fuzzer
        # grows them.
        book("<p>" + "w" * 2000 + "</p>"),
        book("<p>" + "word " * 5000 + "</p>"),
        book("".join('<img src="../missing/%d.png"/>' % k for k in range(300))),
        book('<img src="../pic.png"/>' * 1000, [("OEBPS/pic.png", png(8, 8))]),
        book('<link rel="stylesheet" href="s.css"/>' * 500 + "<p>t</p>",
             [("OEBPS/text/s.css", STYLE)]),
        book(use + "<p>t</p>"),
        book("<div>" * 300 + "t" + "</div>" * 300),
        book("<p>t</p>", [("OEBPS/toc.ncx", deep_ncx)]),
        book("<p>t</p>", opf=laughs),
        book("<p>" + "t " * 2000 + "</p>", lie="OEBPS/text/a.xhtml"),
        # A converter's chapter and cover: sections, a figure, an inline SVG
        # naming an SVG file that names itself.
        book('<section><h1>t</h1><figure><svg xmlns="http://www.w3.org/2000/svg" '
             'xmlns:xlink="http://www.w3.org/1999/xlink" viewBox="0 0 9 9"><image width="9" '
             'height="9" xlink:href="../c.svg"/></svg><figcaption>c</figcaption></figure>'
             '</section>', [("OEBPS/c.svg", ('<svg xmlns="http://www.w3.org/2000/svg" '
                             'xmlns:xlink="http://www.w3.org/1999/xlink" viewBox="0 0 9 9">'
                             '<image width="9" height="9" xlink:href="c.svg"/><rect width="4" '
                             'height="4"/></svg>').encode())]),
    ]


def programs():
    """Export programs (see fuzz/fuzz_exports.cpp): every operation once
    with small arguments, a reading session, layout changes, frees in the
    middle, scraps and search, failing reads, and extreme numbers."""
    every = b"".join(bytes([op, 3, 1, 2, 1]) for op in range(48))
    reading = bytes([0] + [x for page in range(6) for x in (10, page, 5, page, 1, 15, page, page,
                                                             45, 3, page, 1, 16 * page)])
    layout = bytes([0, 16, 1, 0, 45, 3, 1, 2, 9, 17, 2, 45, 4, 2, 1, 40, 18, 3, 1, 0,
                    19, 4, 2, 20, 3, 1, 2, 45, 3, 1, 2, 9])
    freeing = bytes([0, 10, 1, 40, 10, 1, 5, 0, 0, 39, 41, 0, 5, 2, 0, 40, 40, 41, 42, 43, 39])
    scraps = bytes([0, 21, 3, 9, 24, 3, 9, 22, 3, 12, 26, 3, 12, 23, 3, 12, 25,
                    27, 3, 1, 4, 30, 3, 1, 4, 33, 1, 2, 3, 34, 3, 1, 2, 3, 35, 3, 0, 0])
    failing = bytes([0, 2, 3, 44, 0, 45, 3, 0, 1, 0, 1, 3, 44, 0, 17, 1, 45, 3, 1, 1, 16,
                     16, 2, 0, 45, 4, 3, 0, 40])
    extremes = bytes([0, 5, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 1, 45, 3, 0xFF, 0x80, 0, 0, 0, 1,
                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 8, 3, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF])
    return [every, reading, layout, freeing, scraps, failing, extremes]


def mupdf_programs():
    """Renderer programs (see fuzz/fuzz_mupdf.cpp)."""
    return [bytes(range(16)) * 2, bytes([0, 1, 2, 3, 0, 1, 2, 3, 8, 9, 10, 11]), b""]


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    pubs = publications()

    package_files = []
    for mimetype, container, opf, ncx, content in pubs:
        write(out, "container", container)
        write(out, "opf", opf)
        if ncx:
            write(out, "ncx", ncx)
        package_files += [container, opf, ncx]
        for document in content[:3]:
            package_files.append(document)
        write(out, "open", SEPARATOR.join([mimetype, container, opf, ncx, content[0]]))
        for program in programs():
            write(out, "exports",
                  SEPARATOR.join([mimetype, container, opf, ncx, content[0], program]))
    for program in programs():
        write(out, "exports", program)  # over the target's built-in publication

    for text in CONTAINERS:
        write(out, "container", text)
    write(out, "opf", b"\xff\xfe" + OPF.decode().encode("utf-16-le"))
    write(out, "opf", OPF.replace(b"<package", b"<PACKAGE").replace(b"</package", b"</PACKAGE"))
    write(out, "ncx", NCX.decode().encode("cp1252"))
    write(out, "ncx", b'<ncx><head/><navMap/></ncx>')

    for text in XML_TEXTS + [f for f in package_files if f]:
        write(out, "xml", text)
    for text in XML_TEXTS[:4] + [CONTAINER, OPF, NCX]:
        write(out, "xml", b"\xff\xfe" + text.decode("utf-8").encode("utf-16-le"))

    # Decoding: each file as it is, and re-encoded with and without marks
    # and declarations, under a few settings bytes.
    samples = [f for f in package_files if f]
    unicode_text = '<?xml version="1.0"?><p>Ça coûte €5 — 日本語 한국어 😀</p>'
    samples += [b"\xef\xbb\xbf" + unicode_text.encode("utf-8"),
                b"\xff\xfe" + unicode_text.encode("utf-16-le"),
                b"\xfe\xff" + unicode_text.encode("utf-16-be"),
                unicode_text.encode("utf-16-le"),
                b"\xff\xfe\x00\x00" + unicode_text.encode("utf-32-le"),
                '<?xml version="1.0" encoding="windows-1252"?><p>Ça coûte €5</p>'.encode("cp1252"),
                '<?xml version="1.0" encoding="Shift_JIS"?><p>日本語</p>'.encode("shift_jis"),
                '<html><head><meta charset="euc-kr"/></head><p>한국어</p></html>'.encode("euc-kr"),
                '<html><head><meta http-equiv="Content-Type" content="text/html; charset=big5"/>'
                '</head><p>中文</p></html>'.encode("big5"),
                b"plain bytes \xe9\xe8 \xff\xfe"]
    for i, sample in enumerate(samples):
        for settings in (0, 1, 2 + (2 << 2), 0x40 | (i % 4)):
            write(out, "decode", bytes([settings]) + sample)

    # MuPDF: a content document, its style sheet, an image (PNG, GIF, SVG)
    # and a program; fonts are not generated (the dictionary has their
    # signatures).
    documents = [CONTENT] + [c for p in pubs for c in p[4][:2]]
    images = [png(4, 3), gif(), SVG]
    for i, document in enumerate(documents):
        for j, program in enumerate(mupdf_programs()):
            image = images[(i + j) % len(images)]
            write(out, "mupdf", SEPARATOR.join([document, STYLE, image, b"", program]))
    for image in images:
        write(out, "mupdf", SEPARATOR.join([PREPARED, BACKGROUND_STYLE, image, b"",
                                            mupdf_programs()[1]]))

    # Whole books: the test publications under 64 KB, and the hostile ones.
    for data in [b for b in BOOKS if len(b) <= 65536] + hostile_books():
        write(out, "book", data)
        write(out, "zip", data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
