#!/usr/bin/python3
"""Writes the test publications into a folder: a few .epub files built from
text this script owns, and beside each a .facts file saying what the
generator was told (title, authors, language, identifier, spine hrefs in
order, table-of-contents labels with their depths in pre-order, OPF path).

Two publications are written with ebooklib (OPF in a subfolder, one of them
with a table of contents nested five levels deep); one is assembled by hand
with zipfile, its OPF at the container root, to carry what ebooklib would
not write: a UTF-16 OPF, a Windows-1252 NCX, percent-encoded hrefs, a spine
entry missing from the manifest and a container with two rootfiles.

Usage: /usr/bin/python3 make_fixtures.py OUTPUT_FOLDER
"""

import os
import sys
import zipfile

from ebooklib import epub


def chapter_html(title, paragraphs):
    body = "".join("<p>%s</p>" % p for p in paragraphs)
    return "<html><head><title>%s</title></head><body><h1>%s</h1>%s</body></html>" % (
        title, title, body)


def write_facts(folder, name, facts):
    """Writes the facts as UTF-8 lines "key<TAB>value": a list gives one line
    per item, a table-of-contents entry "toc<TAB>depth<TAB>label<TAB>src"."""
    lines = []
    for key, value in facts.items():
        items = value if isinstance(value, list) else [value]
        for item in items:
            if isinstance(item, dict):
                item = "%d\t%s\t%s" % (item["depth"], item["label"], item["src"])
            assert "\n" not in item and (key == "toc" or "\t" not in item)
            lines.append("%s\t%s\n" % (key, item))
    with open(os.path.join(folder, name + ".facts"), "w", encoding="utf-8") as f:
        f.writelines(lines)



def write_ebooklib_facts(folder, name, title, authors, language, identifier, chapters, toc):
    """Facts of a publication that ebooklib wrote (its OPF and NCX sit in EPUB/)."""
    write_facts(folder, name, {
        "file": name + ".epub",
        "opf_path": "EPUB/content.opf",
        "ncx_path": "EPUB/toc.ncx",
        "title": title,
        "authors": authors,
        "ncx_authors": [],
        "language": language,
        "identifier": identifier,
        "spine_idrefs": [c.id for c in chapters],
        "spine": [c.file_name for c in chapters],
        "toc": toc,
    })

def ebooklib_book(identifier, title, language, authors):
    book = epub.EpubBook()
    book.set_identifier(identifier)
    book.set_title(title)
    book.set_language(language)
    for k, author in enumerate(authors):
        book.add_author(author, uid="creator%d" % k)
    return book


def make_plain(folder):
    """Three chapters, a flat table of contents, OPF in EPUB/."""
    name = "plain"
    identifier = "urn:uuid:6f1c2a52-0c1e-4b8e-9d55-0a4b7e7f0001"
    title = "Caf\u00e9 Stories \u2014 Volume One"
    authors = ["Ada Quill", "B\u00e9la Marsh"]
    book = ebooklib_book(identifier, title, "fr", authors)

    chapters = []
    texts = [
        ("Arrival", ["The tram stopped twice before the square."]),
        ("The Long Table", ["Nobody remembered who had ordered the soup."]),
        ("Departure", ["Rain, then the sound of shutters."]),
    ]
    for k, (label, paragraphs) in enumerate(texts):
        item = epub.EpubHtml(title=label, file_name="text/chapter%d.xhtml" % (k + 1),
                             lang="fr", uid="chapter%d" % (k + 1))
        item.content = chapter_html(label, paragraphs)
        book.add_item(item)
        chapters.append(item)

    book.toc = [epub.Link(c.file_name, c.title, c.id) for c in chapters]
    book.add_item(epub.EpubNcx())
    book.add_item(epub.EpubNav())
    book.spine = chapters
    epub.write_epub(os.path.join(folder, name + ".epub"), book, {})

    write_ebooklib_facts(folder, name, title, authors, "fr", identifier, chapters,
                         [{"label": c.title, "depth": 0, "src": c.file_name} for c in chapters])


def make_deep(folder):
    """A table of contents nested five levels deep, OPF in EPUB/."""
    name = "deep"
    identifier = "urn:isbn:9780000000002"
    title = "Nested Atlas"
    authors = ["Cora Vance"]
    book = ebooklib_book(identifier, title, "en", authors)

    chapters = []
    for k in range(1, 5):
        label = "Part %d" % k
        item = epub.EpubHtml(title=label, file_name="parts/part%d.xhtml" % k, lang="en",
                             uid="part%d" % k)
        item.content = chapter_html(label, ["Section text %d." % k] * 3)
        book.add_item(item)
        chapters.append(item)

    # Pre-order list of (label, depth, src) as the table of contents holds it.
    toc_facts = []
    link_count = [0]

    def link(label, href, depth):
        link_count[0] += 1
        toc_facts.append({"label": label, "depth": depth, "src": href})
        return epub.Link(href, label, "link%d" % link_count[0])

    def section(label, href, depth, children):
        toc_facts.append({"label": label, "depth": depth, "src": href})
        built = [child(depth + 1) for child in children]
        return (epub.Section(label, href), built)

    # Part 1 holds a chain five levels deep; part 2 two siblings with
    # children; parts 3 and 4 are plain entries.
    p1 = chapters[0].file_name
    p2 = chapters[1].file_name
    toc = [
        section("Book One", p1, 0, [
            lambda d: section("Chapter 1.1", p1 + "#c1", d, [
                lambda d: section("Section 1.1.1", p1 + "#s111", d, [
                    lambda d: section("Passage 1.1.1.1", p1 + "#p1111", d, [
                        lambda d: link("Line 1.1.1.1.1", p1 + "#l11111", d),
                        lambda d: link("Line 1.1.1.1.2", p1 + "#l11112", d),
                    ]),
                ]),
                lambda d: link("Section 1.1.2", p1 + "#s112", d),
            ]),
        ]),
        section("Book Two", p2, 0, [
            lambda d: section("Chapter 2.1", p2 + "#c1", d, [
                lambda d: link("Section 2.1.1", p2 + "#s211", d),
            ]),
            lambda d: link("Chapter 2.2", p2 + "#c2", d),
        ]),
        link("Part 3", chapters[2].file_name, 0),
        link("Part 4", chapters[3].file_name, 0),
    ]
    book.toc = toc
    book.add_item(epub.EpubNcx())
    book.add_item(epub.EpubNav())
    book.spine = chapters
    epub.write_epub(os.path.join(folder, name + ".epub"), book,
                    {"play_order": {"enabled": True, "start_from": 1}})

    write_ebooklib_facts(folder, name, title, authors, "en", identifier, chapters, toc_facts)


def xml_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace('"', "&quot;")


def make_handmade(folder):
    """Written byte by byte: OPF at the root in UTF-16LE with a mark, NCX in
    Windows-1252, percent-encoded hrefs, a spine entry with no manifest item,
    and a container whose first rootfile is not the package."""
    name = "handmade"
    identifier = "urn:uuid:0c7e5c1d-1111-4a4a-8888-handmade0003"
    isbn = "978-0-00-000000-3"
    title = "Smith & Sons: Na\u00efve Letters"
    authors = ["Dora Smith", "Eli Smith"]
    ncx_authors = ["Dora Smith", "\u00c9li Smith"]

    # (manifest id, file name in the zip, href as written in the OPF)
    chapters = [
        ("c1", "Text/chapter one.xhtml", "Text/chapter%20one.xhtml"),
        ("c2", "Text/caf\u00e9.xhtml", "Text/caf%C3%A9.xhtml"),
        ("c3", "Text/plain.xhtml", "Text/plain.xhtml"),
    ]
    spine_idrefs = ["c1", "ghost", "c2", "c3", "c1"]
    by_id = {cid: file_name for cid, file_name, _ in chapters}

    container = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">\n'
        ' <rootfiles>\n'
        '  <rootfile full-path="print/edition.pdf" media-type="application/pdf"/>\n'
        '  <rootfile full-path="content.opf" media-type="application/oebps-package+xml"/>\n'
        ' </rootfiles>\n'
        '</container>\n')

    manifest = "".join(
        '  <item id="%s" href="%s" media-type="application/xhtml+xml"/>\n' % (cid, href)
        for cid, _, href in chapters)
    opf = (
        '<?xml version="1.0" encoding="UTF-16"?>\n'
        '<package xmlns="http://www.idpf.org/2007/opf" version="2.0" '
        'unique-identifier="pub-id">\n'
        ' <metadata xmlns:dc="http://purl.org/dc/elements/1.1/" '
        'xmlns:opf="http://www.idpf.org/2007/opf">\n'
        '  <dc:title>%s</dc:title>\n'
        '%s'
        '  <dc:language>de</dc:language>\n'
        '  <dc:identifier opf:scheme="ISBN">%s</dc:identifier>\n'
        '  <dc:identifier id="pub-id">%s</dc:identifier>\n'
        '  <dc:date opf:event="creation">2001-02-03</dc:date>\n'
        '  <meta name="cover" content="c3"/>\n'
        ' </metadata>\n'
        ' <manifest>\n'
        '%s'
        '  <item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>\n'
        ' </manifest>\n'
        ' <spine toc="ncx">\n'
        '%s'
        ' </spine>\n'
        ' <guide>\n'
        '  <reference type="text" title="Start" href="Text/chapter%%20one.xhtml"/>\n'
        ' </guide>\n'
        '</package>\n') % (
            xml_escape(title),
            "".join('  <dc:creator opf:role="aut">%s</dc:creator>\n' % xml_escape(a)
                    for a in authors),
            isbn, identifier, manifest,
            "".join('  <itemref idref="%s"/>\n' % i for i in spine_idrefs))

    # The NCX: labels with characters that Windows-1252 has at 0x80-0x9F.
    toc = [
        ("\u00c9t\u00e9 \u2014 the first \u2018letter\u2019", 0, "Text/chapter%20one.xhtml"),
        ("Postscript \u20ac5", 1, "Text/chapter%20one.xhtml#ps"),
        ("Caf\u00e9", 0, "Text/caf%C3%A9.xhtml"),
        ("Plain", 0, "Text/plain.xhtml"),
    ]
    points = []
    play = 0
    k = 0
    while k < len(toc):
        label, depth, src = toc[k]
        play += 1
        inner = ""
        if k + 1 < len(toc) and toc[k + 1][1] == 1:
            child_label, _, child_src = toc[k + 1]
            inner = ('   <navPoint id="np%d" playOrder="%d"><navLabel><text>%s</text></navLabel>'
                     '<content src="%s"/></navPoint>\n') % (
                         play + 1, play + 1, xml_escape(child_label), child_src)
            k += 1
        points.append(('  <navPoint id="np%d" playOrder="%d">\n'
                       '   <navLabel><text>%s</text></navLabel>\n'
                       '   <content src="%s"/>\n%s  </navPoint>\n') % (
                           play, play, xml_escape(label), src, inner))
        if inner:
            play += 1
        k += 1
    ncx = (
        '<?xml version="1.0" encoding="windows-1252"?>\n'
        '<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1">\n'
        ' <head><meta name="dtb:uid" content="%s"/><meta name="dtb:depth" content="2"/></head>\n'
        ' <docTitle><text>%s</text></docTitle>\n'
        '%s'
        ' <navMap>\n%s </navMap>\n'
        '</ncx>\n') % (
            identifier, xml_escape(title),
            "".join(' <docAuthor><text>%s</text></docAuthor>\n' % xml_escape(a)
                    for a in ncx_authors),
            "".join(points))

    path = os.path.join(folder, name + ".epub")
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/epub+zip", zipfile.ZIP_STORED)
        z.writestr("META-INF/container.xml", container.encode("utf-8"), zipfile.ZIP_DEFLATED)
        z.writestr("content.opf", b"\xff\xfe" + opf.encode("utf-16-le"), zipfile.ZIP_DEFLATED)
        z.writestr("toc.ncx", ncx.encode("windows-1252"), zipfile.ZIP_DEFLATED)
        for cid, file_name, _ in chapters:
            z.writestr(file_name, chapter_html(cid, ["Dear reader,", "yours."]).encode("utf-8"),
                       zipfile.ZIP_DEFLATED)

    write_facts(folder, name, {
        "file": name + ".epub",
        "opf_path": "content.opf",
        "ncx_path": "toc.ncx",
        "title": title,
        "authors": authors,
        "ncx_authors": ncx_authors,
        "language": "de",
        "identifier": identifier,
        "other_identifier": isbn,
        "spine_idrefs": spine_idrefs,
        "spine": [by_id[i] for i in spine_idrefs if i in by_id],
        "toc": [{"label": label, "depth": depth, "src": src} for label, depth, src in toc],
    })


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    make_plain(folder)
    make_deep(folder)
    make_handmade(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
