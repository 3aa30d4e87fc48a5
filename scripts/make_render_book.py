#!/usr/bin/python3
"""Writes the book bench/render draws: an EPUB of many short XHTML documents
in the shape a documentation converter produces (headings, paragraphs with
inline code and links, code blocks, lists, tables, a few PNG figures and
SVG diagrams, text in several scripts), with one shared style sheet. The
text is made from a fixed seed, so every run writes the same book.

Usage: /usr/bin/python3 make_render_book.py [--backgrounds] OUTPUT.epub [DOCUMENTS]
(DOCUMENTS defaults to 340; at 600 x 800 points and em 12 that is over
1,000 pages.) --backgrounds adds CSS background images to the style sheet
(on every heading and API name), so every document takes the renderer's
markup preparation and draws them.
"""

import random
import struct
import sys
import zipfile
import zlib

WORDS = ("the of and to in is that for it as with was on be by this are or from at which an "
         "buffer stream event module callback promise object function returns value string "
         "options server request response socket file path error handle listener encoding "
         "process child worker thread timer crypto hash cipher readable writable emitter "
         "default argument property method instance class signal integer array length").split()
SCRIPTS = ["αβγ δέλτα λόγος", "пример строка поток", "例子 文本 流", "نص مثال", "טקסט דוגמה"]

CSS = """body { font-family: serif; margin: 0 1em; }
h1 { font-size: 1.6em; border-bottom: 1px solid #888; }
h2 { font-size: 1.3em; margin-top: 1.2em; }
h3 { font-size: 1.1em; }
code { font-family: monospace; background: #eee; }
pre { font-family: monospace; font-size: 0.85em; background: #f4f4f4; padding: 0.5em; }
table { border-collapse: collapse; }
td, th { border: 1px solid #999; padding: 2px 4px; }
.api { color: #245; }
"""

BACKGROUNDS = """h1 { background: url(../images/fig0.png) no-repeat; background-size: contain; }
.api { background-image: url(../images/fig1.png); }
"""


def png(width, height, seed):
    rows = b""
    for y in range(height):
        rows += b"\0" + bytes(((x * 7 + y * 3 + seed) % 256) for x in range(width * 3))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def svg(seed):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="200" height="80">'
            '<rect x="2" y="2" width="90" height="60" fill="#%06x"/>'
            '<circle cx="150" cy="40" r="30" fill="#%06x"/></svg>' % (seed * 2654435 % 0xFFFFFF,
                                                                     seed * 40503 % 0xFFFFFF))


def sentence(rng, n):
    words = [rng.choice(WORDS) for _ in range(n)]
    for i in range(len(words)):
        r = rng.random()
        if r < 0.05:
            words[i] = "<code>%s()</code>" % words[i]
        elif r < 0.07:
            words[i] = '<a href="#s%d">%s</a>' % (rng.randrange(4), words[i])
        elif r < 0.09:
            words[i] = "<em>%s</em>" % words[i]
        elif r < 0.095:
            words[i] = rng.choice(SCRIPTS)
    return " ".join(words).capitalize() + "."


def document(rng, number, figures):
    title = "Module %d: %s %s" % (number, rng.choice(WORDS), rng.choice(WORDS))
    parts = ['<h1 id="top">%s</h1>' % title]
    for s in range(rng.randint(3, 6)):
        parts.append('<h2 id="s%d">%s %s</h2>' % (s, rng.choice(WORDS), rng.choice(WORDS)))
        for _ in range(rng.randint(3, 6)):
            kind = rng.random()
            if kind < 0.55:
                parts.append("<p>%s</p>" % " ".join(sentence(rng, rng.randint(8, 24))
                                                   for _ in range(rng.randint(2, 6))))
            elif kind < 0.7:
                lines = ["%s.%s(%s);" % (rng.choice(WORDS), rng.choice(WORDS), rng.choice(WORDS))
                         for _ in range(rng.randint(3, 12))]
                parts.append("<pre><code>%s</code></pre>" % "\n".join(lines))
            elif kind < 0.8:
                items = "".join("<li>%s</li>" % sentence(rng, rng.randint(4, 12))
                                for _ in range(rng.randint(2, 6)))
                parts.append("<ul>%s</ul>" % items)
            elif kind < 0.9:
                rows = "".join("<tr><td><code>%s</code></td><td>%s</td></tr>" % (
                    rng.choice(WORDS), sentence(rng, rng.randint(3, 9))) for _ in range(rng.randint(2, 6)))
                parts.append("<table><tr><th>Name</th><th>Description</th></tr>%s</table>" % rows)
            else:
                parts.append('<h3 class="api">%s.%s(%s)</h3>' % (rng.choice(WORDS), rng.choice(WORDS),
                                                                 rng.choice(WORDS)))
        if number % 8 == 0 and s == 0:
            parts.append('<p><img src="../images/%s" alt="figure"/></p>' % rng.choice(figures))
    return title, ('<?xml version="1.0" encoding="utf-8"?>\n'
                   '<html xmlns="http://www.w3.org/1999/xhtml"><head><title>%s</title>'
                   '<link rel="stylesheet" type="text/css" href="../styles/book.css"/></head>'
                   "<body>%s</body></html>" % (title, "\n".join(parts)))


def main():
    args = sys.argv[1:]
    backgrounds = args[:1] == ["--backgrounds"]
    if backgrounds:
        args = args[1:]
    if len(args) not in (1, 2):
        sys.exit(__doc__)
    count = int(args[1]) if len(args) == 2 else 340
    rng = random.Random(20261206)
    figures = ["fig%d.png" % i for i in range(6)] + ["diagram%d.svg" % i for i in range(4)]
    with zipfile.ZipFile(args[0], "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/epub+zip", zipfile.ZIP_STORED)
        z.writestr("META-INF/container.xml",
                   '<?xml version="1.0"?><container version="1.0" '
                   'xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles>'
                   '<rootfile full-path="OEBPS/content.opf" '
                   'media-type="application/oebps-package+xml"/></rootfiles></container>',
                   zipfile.ZIP_DEFLATED)
        z.writestr("OEBPS/styles/book.css", CSS + (BACKGROUNDS if backgrounds else ""),
                   zipfile.ZIP_DEFLATED)
        for i, name in enumerate(figures):
            data = png(160, 90, i) if name.endswith(".png") else svg(i).encode()
            z.writestr("OEBPS/images/" + name, data, zipfile.ZIP_DEFLATED)
        manifest, spine, nav = [], [], []
        for n in range(count):
            title, text = document(rng, n, figures)
            name = "text/ch%03d.xhtml" % n
            z.writestr("OEBPS/" + name, text, zipfile.ZIP_DEFLATED)
            manifest.append('<item id="c%d" href="%s" media-type="application/xhtml+xml"/>' % (n, name))
            spine.append('<itemref idref="c%d"/>' % n)
            nav.append('<navPoint id="n%d" playOrder="%d"><navLabel><text>%s</text></navLabel>'
                       '<content src="%s"/></navPoint>' % (n, n + 1, title, name))
        manifest.append('<item id="css" href="styles/book.css" media-type="text/css"/>')
        manifest.append('<item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>')
        for i, name in enumerate(figures):
            kind = "image/png" if name.endswith(".png") else "image/svg+xml"
            manifest.append('<item id="f%d" href="images/%s" media-type="%s"/>' % (i, name, kind))
        z.writestr("OEBPS/content.opf",
                   '<?xml version="1.0" encoding="utf-8"?><package xmlns="http://www.idpf.org/2007/opf" '
                   'version="2.0" unique-identifier="id"><metadata '
                   'xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>Render bench book</dc:title>'
                   '<dc:identifier id="id">render-bench</dc:identifier><dc:language>en</dc:language>'
                   '</metadata><manifest>%s</manifest><spine toc="ncx">%s</spine></package>'
                   % ("".join(manifest), "".join(spine)), zipfile.ZIP_DEFLATED)
        z.writestr("OEBPS/toc.ncx",
                   '<?xml version="1.0" encoding="utf-8"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" '
                   'version="2005-1"><head><meta name="dtb:uid" content="render-bench"/></head>'
                   '<docTitle><text>Render bench book</text></docTitle><navMap>%s</navMap></ncx>'
                   % "".join(nav), zipfile.ZIP_DEFLATED)


if __name__ == "__main__":
    main()
