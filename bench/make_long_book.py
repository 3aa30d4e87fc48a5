#!/usr/bin/python3
"""Writes a long EPUB for timing whole-book drawing: DOCUMENTS chapters of
plain paragraphs made from this script's own word list. WORDS is a comma-
separated list of words per document, used in turn; the defaults give 300
documents of 3, 3 and 4 pages of 600 x 800 points at 12 points: 1,000 pages.

Usage: make_long_book.py OUTPUT.epub [DOCUMENTS] [WORDS]
"""

import random
import sys
import zipfile

WORDS = ("the keeper lamp tower island gale harbour boat rope stair glass wick "
         "oil tide rock gull cliff night light beam fog horn log hour week "
         "winter spring summer autumn sea wind rain salt bread kettle door "
         "window brass paint rust rail cottage lantern signal chart ship "
         "master coast north west quiet long short early late slow").split()


def paragraph(rng, words):
    out, sentence = [], []
    for _ in range(words):
        sentence.append(rng.choice(WORDS))
        if len(sentence) > 6 and rng.random() < 0.15:
            out.append(" ".join(sentence).capitalize() + ".")
            sentence = []
    if sentence:
        out.append(" ".join(sentence).capitalize() + ".")
    return "<p>%s</p>" % " ".join(out)


def main():
    path = sys.argv[1]
    documents = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    words = [int(w) for w in (sys.argv[3] if len(sys.argv) > 3 else "1700,1700,2200").split(",")]
    rng = random.Random(7)
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/epub+zip", zipfile.ZIP_STORED)
        z.writestr("META-INF/container.xml",
                   '<?xml version="1.0"?><container version="1.0" '
                   'xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles>'
                   '<rootfile full-path="OEBPS/content.opf" '
                   'media-type="application/oebps-package+xml"/></rootfiles></container>',
                   zipfile.ZIP_DEFLATED)
        items, refs, points = [], [], []
        for i in range(1, documents + 1):
            name = "c%03d.xhtml" % i
            body = "".join(paragraph(rng, 100) for _ in range(words[(i - 1) % len(words)] // 100))
            z.writestr("OEBPS/" + name,
                       '<?xml version="1.0" encoding="UTF-8"?><html xmlns="http://www.w3.org/1999/xhtml">'
                       "<head><title>Chapter %d</title></head><body><h1>Chapter %d</h1>%s</body></html>"
                       % (i, i, body), zipfile.ZIP_DEFLATED)
            items.append('<item id="c%d" href="%s" media-type="application/xhtml+xml"/>' % (i, name))
            refs.append('<itemref idref="c%d"/>' % i)
            points.append('<navPoint id="p%d" playOrder="%d"><navLabel><text>Chapter %d</text>'
                          '</navLabel><content src="%s"/></navPoint>' % (i, i, i, name))
        z.writestr("OEBPS/content.opf",
                   '<?xml version="1.0"?><package xmlns="http://www.idpf.org/2007/opf" version="2.0" '
                   'unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">'
                   '<dc:identifier id="id">urn:x-bench:long</dc:identifier><dc:title>Long book'
                   '</dc:title><dc:language>en</dc:language></metadata><manifest>'
                   '<item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>%s'
                   '</manifest><spine toc="ncx">%s</spine></package>' % ("".join(items), "".join(refs)),
                   zipfile.ZIP_DEFLATED)
        z.writestr("OEBPS/toc.ncx",
                   '<?xml version="1.0"?><ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" '
                   'version="2005-1"><head><meta name="dtb:uid" content="urn:x-bench:long"/></head>'
                   '<docTitle><text>Long book</text></docTitle><navMap>%s</navMap></ncx>'
                   % "".join(points), zipfile.ZIP_DEFLATED)


if __name__ == "__main__":
    main()
