#!/usr/bin/python3
"""Writes the fidelity gallery's book: one short XHTML document per pattern
found in real books (converter and word-processor chapter shapes, covers,
figures, drop caps, poetry, notes, lists, tables, page breaks, right-to-left
and vertical text), packed as an EPUB and also left unpacked, so that a
browser can open each document as it stands in the book.

Usage: /usr/bin/python3 fidelity_patterns.py OUTPUT_FOLDER
Writes OUTPUT_FOLDER/fidelity.epub, OUTPUT_FOLDER/book/ (the same files,
unpacked) and OUTPUT_FOLDER/patterns.json (each pattern's name, document
path inside book/ and what it shows).
"""

import json
import os
import struct
import sys
import zipfile
import zlib

XHTML = """<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE html>
<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops"{attrs}>
<head>
<meta charset="UTF-8"/>
<title>{title}</title>
<link rel="stylesheet" type="text/css" href="../styles/base.css"/>
<style type="text/css">
{css}
</style>
</head>
<body{body_attrs}>
{body}
</body>
</html>
"""

BASE_CSS = "body { font-family: serif; }\nimg { max-width: 100%; }\n"

LOREM = ("The river ran quietly past the mill while the miller counted his sacks of grain "
         "and wondered whether the winter would be long or short this year.")
LOREM2 = ("Nobody in the village remembered a colder morning, and the children ran to the "
          "frozen pond before their parents could call them back to breakfast.")


def png(width, height, color):
    """A PNG of one colour with a darker frame, so its edges show."""
    dark = tuple(c // 2 for c in color)
    rows = b""
    for y in range(height):
        row = bytearray(b"\0")
        for x in range(width):
            edge = x < 4 or y < 4 or x >= width - 4 or y >= height - 4
            row += bytes(dark if edge else color)
        rows += bytes(row)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


COVER_SVG = """<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="600" height="800" viewBox="0 0 600 800">
<rect x="0" y="0" width="600" height="800" fill="#2a4d69"/>
<rect x="40" y="40" width="520" height="720" fill="none" stroke="#e0c070" stroke-width="8"/>
<circle cx="300" cy="420" r="140" fill="#e0c070"/>
</svg>
"""

IMAGES = {
    "images/cover.png": png(300, 400, (70, 130, 180)),
    "images/photo.png": png(240, 160, (200, 120, 60)),
    "images/small.png": png(120, 120, (90, 160, 90)),
    "images/icon.png": png(24, 24, (180, 40, 40)),
    "images/cover.svg": COVER_SVG.encode(),
}


def para(text, cls=None):
    return '<p class="%s">%s</p>' % (cls, text) if cls else "<p>%s</p>" % text


# Each pattern: name, what it shows, body, extra CSS, attributes of <html>, of <body>.
PATTERNS = [
    ("pandoc_section", "a converter chapter: sections with level classes and ids",
     """<section id="the-mill" class="level1">
<h1>The Mill</h1>
<p>%s</p>
<section id="winter" class="level2">
<h2>Winter</h2>
<p>%s</p>
</section>
</section>""" % (LOREM, LOREM2), "", "", ""),
    ("pandoc_figure", "a converter figure: figure, img and figcaption",
     """<section id="pictures" class="level1">
<h1>Pictures</h1>
<p>%s</p>
<figure>
<img src="../images/photo.png" alt="The mill at dawn"/>
<figcaption aria-hidden="true">The mill at dawn</figcaption>
</figure>
<p>%s</p>
</section>""" % (LOREM, LOREM2), "figure { text-align: center; }", "", ""),
    ("pandoc_footnotes", "converter notes: noteref links and a footnotes section at the end",
     """<section id="notes-chapter" class="level1">
<h1>Notes</h1>
<p>The miller kept a ledger<a href="#fn1" class="footnote-ref" id="fnref1"
epub:type="noteref" role="doc-noteref"><sup>1</sup></a> of every sack he sold.</p>
<p>%s</p>
</section>
<section id="footnotes" class="footnotes footnotes-end-of-document" epub:type="footnotes"
role="doc-endnotes">
<hr/>
<ol>
<li id="fn1"><p>The ledger survives in the parish archive.<a href="#fnref1"
class="footnote-back" role="doc-backlink">back</a></p></li>
</ol>
</section>""" % LOREM, "", "", ""),
    ("aside_footnote", "a footnote as an aside with epub:type footnote after the paragraph",
     """<h1>Asides</h1>
<p>She opened the letter<a epub:type="noteref" href="#n1">*</a> at once.</p>
<aside epub:type="footnote" id="n1"><p>Written in the spring of that year.</p></aside>
<p>%s</p>""" % LOREM, "", "", ""),
    ("endnotes", "endnotes: superscript noterefs and a closing ordered list of notes",
     """<h1>Endnotes</h1>
<p>First claim.<sup><a epub:type="noteref" href="#en1">1</a></sup> Second
claim.<sup><a epub:type="noteref" href="#en2">2</a></sup></p>
<p>%s</p>
<section epub:type="endnotes">
<h2>Notes</h2>
<ol>
<li id="en1" epub:type="endnote"><p>See the first letter.</p></li>
<li id="en2" epub:type="endnote"><p>See the second letter.</p></li>
</ol>
</section>""" % LOREM, "", "", ""),
    ("word_export", "word-processor export: class MsoNormal paragraphs and styled spans",
     """<div class="WordSection1">
<p class="MsoTitle"><span lang="EN-GB">Chapter One</span></p>
<p class="MsoNormal"><span style="font-size:14.0pt;font-family:'Times New Roman'">%s</span></p>
<p class="MsoNormal"><b><span lang="EN-GB">Bold start.</span></b><span lang="EN-GB"> %s</span></p>
<p class="MsoNormal"><span lang="EN-GB">&#160;</span></p>
</div>""" % (LOREM, LOREM2),
     """.MsoTitle { font-size: 20pt; text-align: center; margin-bottom: 12pt; }
.MsoNormal { margin: 0 0 8pt 0; line-height: 107%; }""", "", ""),
    ("word_divs", "word-processor export: every paragraph a div with a class, text in spans",
     """<div class="chapter">
<div class="heading1"><span class="bold">The Letter</span></div>
<div class="body"><span class="c1">%s</span></div>
<div class="body"><span class="c1">%s</span><span class="c2"> And then it snowed.</span></div>
</div>""" % (LOREM, LOREM2),
     """.heading1 { font-size: 1.5em; margin: 1em 0; }
.bold { font-weight: bold; }
.body { text-indent: 1.5em; margin: 0; }
.c2 { font-style: italic; }""", "", ""),
    ("converter_classes", "e-book converter output: numbered classes on every element",
     """<div class="calibre1">
<h2 class="calibre3" id="calibre_toc_1">Chapter Two</h2>
<p class="calibre4">%s</p>
<p class="calibre4"><span class="italic">%s</span></p>
<p class="calibre5">&#8212; end of part &#8212;</p>
</div>""" % (LOREM, LOREM2),
     """.calibre3 { font-size: 1.4em; text-align: center; margin: 1em 0; }
.calibre4 { text-indent: 1.2em; margin: 0; text-align: justify; }
.calibre5 { text-align: center; margin-top: 1em; }
.italic { font-style: italic; }""", "", ""),
    ("editor_chapter", "e-book editor shape: chapter div, heading with a toc id, first paragraph "
     "without indent",
     """<div class="chapter" id="chapter-3">
<h2 class="chapter-title" id="toc_3">Three</h2>
<p class="first">%s</p>
<p>%s</p>
<hr class="scene"/>
<p class="first">%s</p>
</div>""" % (LOREM, LOREM2, LOREM),
     """p { text-indent: 1.5em; margin: 0; }
p.first { text-indent: 0; }
hr.scene { width: 30%; margin: 1em auto; }""", "", ""),
    ("html5_article", "HTML5 sectioning: header, article, nav and footer",
     """<header><h1>The Almanac</h1><p class="sub">A year in the village</p></header>
<nav><ol><li><a href="#spring">Spring</a></li><li><a href="#summer">Summer</a></li></ol></nav>
<article id="spring"><h2>Spring</h2><p>%s</p></article>
<article id="summer"><h2>Summer</h2><p>%s</p></article>
<footer><p>Printed in the village.</p></footer>""" % (LOREM, LOREM2),
     ".sub { font-style: italic; }", "", ""),
    ("cover_svg_raster", "cover: inline SVG holding a raster image",
     """<div class="cover"><svg xmlns="http://www.w3.org/2000/svg"
xmlns:xlink="http://www.w3.org/1999/xlink" version="1.1" width="100%" height="100%"
viewBox="0 0 300 400" preserveAspectRatio="xMidYMid meet">
<image width="300" height="400" xlink:href="../images/cover.png"/>
</svg></div>""", ".cover { height: 700px; margin: 0; }", "", ""),
    ("cover_svg_svg", "cover: inline SVG holding an SVG image",
     """<div class="cover"><svg xmlns="http://www.w3.org/2000/svg"
xmlns:xlink="http://www.w3.org/1999/xlink" version="1.1" width="100%" height="100%"
viewBox="0 0 600 800" preserveAspectRatio="xMidYMid meet">
<image width="600" height="800" xlink:href="../images/cover.svg"/>
</svg></div>""", ".cover { height: 700px; margin: 0; }", "", ""),
    ("cover_img_svg", "cover: an img of an SVG file",
     """<div class="cover"><img src="../images/cover.svg" alt="Cover"/></div>""",
     ".cover { text-align: center; } .cover img { height: 680px; }", "", ""),
    ("cover_img_raster", "cover: an img of a PNG, centred, with the title below",
     """<div class="cover"><img src="../images/cover.png" alt="Cover"/>
<p class="title">The Miller's Year</p></div>""",
     ".cover { text-align: center; } .title { font-size: 1.6em; }", "", ""),
    ("cover_background", "cover: a div with a background image and the title over it",
     """<div class="cover"><p class="title">The Miller's Year</p></div>""",
     """.cover { height: 680px; background-image: url(../images/cover.png);
background-size: cover; background-repeat: no-repeat; }
.title { font-size: 2em; color: white; text-align: center; padding-top: 200px; margin: 0; }""",
     "", ""),
    ("figure_float_right", "a figure floated right with a caption, text flowing round it",
     """<h2>The Pond</h2>
<div class="figure"><img src="../images/small.png" alt=""/><p class="caption">The pond</p></div>
<p>%s %s</p>
<p>%s</p>""" % (LOREM, LOREM2, LOREM),
     """.figure { float: right; width: 130px; margin: 0 0 0.5em 1em; text-align: center; }
.caption { font-size: 0.8em; margin: 0; }""", "", ""),
    ("figure_float_left", "an image floated left inside a paragraph",
     """<h2>The Orchard</h2>
<p><img class="left" src="../images/small.png" alt=""/>%s %s</p>
<p>%s</p>""" % (LOREM, LOREM2, LOREM),
     ".left { float: left; width: 100px; margin: 0 1em 0.5em 0; }", "", ""),
    ("inline_images", "small images inside a line of text",
     """<p>Press <img class="icon" src="../images/icon.png" alt="stop"/> to stop and
<img class="icon" src="../images/icon.png" alt="go"/> to go on. %s</p>""" % LOREM,
     ".icon { height: 1em; vertical-align: middle; }", "", ""),
    ("drop_cap_span", "a drop cap: first letter in a floated, enlarged span",
     """<h2>Four</h2>
<p class="first"><span class="dropcap">T</span>he river ran quietly past the mill while
the miller counted his sacks of grain. %s</p>
<p>%s</p>""" % (LOREM2, LOREM),
     """.dropcap { float: left; font-size: 3.2em; line-height: 0.9; margin: 0.05em 0.1em 0 0; }
p { margin: 0; text-indent: 1.2em; } p.first { text-indent: 0; }""", "", ""),
    ("drop_cap_first_letter", "a drop cap made with ::first-letter and a small-caps first line",
     """<h2>Five</h2>
<p class="open">%s %s</p>""" % (LOREM, LOREM2),
     """p.open::first-letter { float: left; font-size: 3em; line-height: 1; padding-right: 4px; }
p.open::first-line { font-variant: small-caps; }""", "", ""),
    ("small_caps", "small capitals: font-variant and a span class",
     """<p><span class="sc">Chapter the first,</span> in which the miller is introduced.</p>
<p class="allsc">A note on the calendar</p>
<p>%s</p>""" % LOREM,
     ".sc { font-variant: small-caps; } .allsc { font-variant: small-caps; letter-spacing: 0.1em; }",
     "", ""),
    ("poetry", "poetry: stanzas of line paragraphs with indented lines",
     """<div class="poem">
<h3>The Mill Wheel</h3>
<div class="stanza">
<p class="line">The wheel goes round, the water falls,</p>
<p class="line indent">the miller sings within his walls;</p>
<p class="line">the grain comes in, the flour goes out,</p>
<p class="line indent">and no one hears the heron shout.</p>
</div>
<div class="stanza">
<p class="line">When frost has stilled the turning stone,</p>
<p class="line indent">the miller sits and waits alone.</p>
</div>
</div>""",
     """.poem { margin: 1em 2em; } .stanza { margin-bottom: 1em; }
.line { margin: 0; padding-left: 2em; text-indent: -2em; } .indent { margin-left: 1.5em; }""",
     "", ""),
    ("poetry_br", "poetry set as one paragraph with line breaks",
     """<h3>Winter Song</h3>
<p class="verse">Snow on the roof and snow on the hill,<br/>
snow on the wheel of the silent mill,<br/>
snow in the lane where the children ran,<br/>
snow on the hat of the old post man.</p>""", ".verse { margin-left: 3em; }", "", ""),
    ("hanging_indent", "hanging indents: a bibliography of negative text-indent entries",
     """<h2>Sources</h2>
<p class="bib">Archer, Mary. <i>The Mills of the Valley.</i> Second edition. Printed for the
society by the county press, with maps and plates.</p>
<p class="bib">Baker, Thomas. <i>Grain and Weather.</i> A study of twenty harvests and of the
prices paid for wheat at the autumn fairs.</p>
<p class="bib">Carter, Anne. <i>Parish Ledgers.</i> Notes on the accounts kept by millers and
their clerks over two centuries.</p>""",
     ".bib { margin: 0 0 0.5em 2em; text-indent: -2em; }", "", ""),
    ("blockquote", "a block quotation with an attribution line",
     """<p>%s</p>
<blockquote><p>Grind while the wind blows, for the calm will come soon enough.</p>
<p class="attr">&#8212; an old saying</p></blockquote>
<p>%s</p>""" % (LOREM, LOREM2),
     """blockquote { margin: 1em 2em; font-style: italic; }
.attr { text-align: right; font-style: normal; }""", "", ""),
    ("epigraph", "an epigraph: a right-aligned narrow block before the first paragraph",
     """<h2>Six</h2>
<div class="epigraph"><p>All things flow.</p><p class="src">Heraclitus</p></div>
<p>%s</p>""" % LOREM,
     """.epigraph { margin: 1em 0 2em 40%; font-style: italic; }
.epigraph p { margin: 0; } .src { text-align: right; }""", "", ""),
    ("sidebar", "a boxed sidebar aside between paragraphs",
     """<p>%s</p>
<aside class="sidebar"><h4>Did you know?</h4><p>Windmills were once used to drain the low
fields as well as to grind corn.</p></aside>
<p>%s</p>""" % (LOREM, LOREM2),
     ".sidebar { border: 1px solid #444; padding: 0.5em 1em; margin: 1em 2em; background: #eee; }",
     "", ""),
    ("lists", "lists: nested unordered and ordered lists and a definition list",
     """<h2>Lists</h2>
<ul><li>Wheat<ul><li>Winter wheat</li><li>Spring wheat</li></ul></li><li>Barley</li></ul>
<ol start="3"><li>Sow the field</li><li>Reap the grain</li></ol>
<dl><dt>Quern</dt><dd>A stone for grinding by hand.</dd>
<dt>Hopper</dt><dd>The funnel that feeds the stones.</dd></dl>""", "", "", ""),
    ("table", "a table with caption, header row, a spanning cell and borders",
     """<h2>Prices</h2>
<table>
<caption>Prices at the autumn fair</caption>
<thead><tr><th>Grain</th><th>Year one</th><th>Year two</th></tr></thead>
<tbody>
<tr><td>Wheat</td><td>12</td><td>14</td></tr>
<tr><td>Barley</td><td colspan="2">nine in both years</td></tr>
<tr><td>Oats</td><td>7</td><td>8</td></tr>
</tbody>
</table>
<p>%s</p>""" % LOREM,
     """table { border-collapse: collapse; margin: 1em auto; }
td, th { border: 1px solid #555; padding: 2px 8px; }""", "", ""),
    ("table_word_export", "word-processor export table: border, cellpadding and cellspacing "
     "attributes, cell widths, paragraphs in cells",
     """<p class="MsoNormal">The miller kept a ledger of the year.</p>
<table border="1" cellspacing="0" cellpadding="4" width="100%%">
<tr><td width="30%%" valign="top"><p class="MsoNormal"><b>Month</b></p></td>
<td width="70%%" valign="top"><p class="MsoNormal"><b>What was ground</b></p></td></tr>
<tr><td width="30%%" valign="top"><p class="MsoNormal">March</p></td>
<td width="70%%" valign="top"><p class="MsoNormal">Wheat from the low fields, and a little
barley that had been kept dry through the winter in the loft above the wheel.</p></td></tr>
<tr><td width="30%%" valign="top"><p class="MsoNormal">April</p></td>
<td width="70%%" valign="top"><p class="MsoNormal">Oats.</p></td></tr>
</table>
<p class="MsoNormal">%s</p>""" % LOREM,
     "p.MsoNormal { margin: 0; }", "", ""),
    ("table_colgroup", "converter table: colgroup widths, header row, aligned cells",
     """<p>The sacks weighed at the door:</p>
<table style="width:90%%;">
<colgroup><col style="width: 20%%" /><col style="width: 50%%" /><col style="width: 30%%" /></colgroup>
<thead><tr class="header"><th style="text-align: left;">Day</th>
<th style="text-align: left;">Grain</th><th style="text-align: right;">Sacks</th></tr></thead>
<tbody><tr class="odd"><td style="text-align: left;">Monday</td>
<td style="text-align: left;">Wheat, the first of the harvest</td>
<td style="text-align: right;">14</td></tr>
<tr class="even"><td style="text-align: left;">Tuesday</td>
<td style="text-align: left;">Barley</td><td style="text-align: right;">9</td></tr></tbody>
</table>
<p>%s</p>""" % LOREM,
     "table { margin: 0 auto; border-top: 1px solid black; border-bottom: 1px solid black; }",
     "", ""),
    ("code_block", "a code block with long lines and inline code in the text",
     """<h2>Counting sacks</h2>
<p>The function <code>count_sacks</code> adds the day's sacks.</p>
<pre><code>def count_sacks(days):
    total = 0
    for day in days:
        total += day.sacks  # every sack weighed at the door of the mill
    return total
</code></pre>
<p>%s</p>""" % LOREM,
     "pre { background: #f0f0f0; padding: 0.5em; font-size: 0.9em; } code { font-family: monospace; }",
     "", ""),
    ("page_break_before", "page-break-before: always on the second heading",
     """<h2>Part One</h2>
<p>%s</p>
<h2 class="newpage">Part Two</h2>
<p>%s</p>""" % (LOREM, LOREM2), ".newpage { page-break-before: always; }", "", ""),
    ("break_after", "break-after: page on a title block, then the text",
     """<div class="titlepage"><h1>Book Two</h1><p class="sub">The Frost</p></div>
<p>%s</p>
<p>%s</p>""" % (LOREM, LOREM2),
     """.titlepage { break-after: page; page-break-after: always; text-align: center; }
.sub { font-style: italic; }""", "", ""),
    ("break_inside_avoid", "page-break-inside: avoid on a block that would straddle the page",
     """<h2>Keeping together</h2>
<div class="spacer"></div>
<div class="keep"><p>%s</p><p>%s</p></div>""" % (LOREM, LOREM2),
     """.spacer { height: 640px; }
.keep { page-break-inside: avoid; break-inside: avoid; border: 1px solid #999; }""", "", ""),
    ("arabic_rtl", "right-to-left Arabic paragraphs with dir and lang",
     """<h2 dir="rtl" lang="ar">الفصل الأول</h2>
<p dir="rtl" lang="ar">كان النهر يجري بهدوء قرب الطاحونة بينما كان الطحان يعد أكياس القمح.</p>
<p dir="rtl" lang="ar">لم يتذكر أحد في القرية صباحا أبرد من ذلك الصباح.</p>
<p>An English line after the Arabic.</p>""", "", "", ""),
    ("hebrew_rtl", "a Hebrew document: dir=rtl on the root element",
     """<h2>פרק ראשון</h2>
<p>הנהר זרם בשקט ליד הטחנה בזמן שהטוחן ספר את שקי החיטה.</p>
<p>איש בכפר לא זכר בוקר קר יותר.</p>""", "", ' lang="he" dir="rtl"', ""),
    ("ruby", "ruby annotations over Japanese and English text",
     """<p lang="ja"><ruby>漢<rp>(</rp><rt>かん</rt><rp>)</rp>字<rp>(</rp><rt>じ</rt><rp>)</rp></ruby>を
読む。<ruby>東京<rt>とうきょう</rt></ruby>に行く。</p>
<p><ruby>mill<rt>a building</rt></ruby> and river.</p>""", "rt { font-size: 0.5em; }", "", ""),
    ("vertical_rl", "a Japanese page in writing-mode: vertical-rl",
     """<h2>第一章</h2>
<p>川は水車小屋のそばを静かに流れ、粉屋は麦の袋を数えていた。</p>
<p>村の誰も、これほど寒い朝を覚えていなかった。</p>""",
     "html { writing-mode: vertical-rl; -epub-writing-mode: vertical-rl; }", ' lang="ja"', ""),
    ("center_headings", "a title page: centred headings, a rule and a small print block",
     """<div class="title"><h1>The Miller's Year</h1><h3>a novel</h3><hr/>
<p class="small">First published in the valley</p></div>""",
     """.title { text-align: center; margin-top: 150px; }
.small { font-size: 0.75em; }""", "", ""),
]


def document(name, body, css, attrs, body_attrs):
    return XHTML.format(title=name.replace("_", " "), css=css, body=body, attrs=attrs,
                        body_attrs=body_attrs)


def opf(names):
    items = ['<item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" '
             'properties="nav"/>',
             '<item id="css" href="styles/base.css" media-type="text/css"/>']
    for i, path in enumerate(IMAGES):
        kind = "image/svg+xml" if path.endswith(".svg") else "image/png"
        extra = ' properties="cover-image"' if path == "images/cover.png" else ""
        items.append('<item id="img%d" href="%s" media-type="%s"%s/>' % (i, path, kind, extra))
    spine = []
    for i, name in enumerate(names):
        svg = ' properties="svg"' if name.startswith("cover_svg") else ""
        items.append('<item id="d%d" href="text/%s.xhtml" media-type="application/xhtml+xml"%s/>'
                     % (i, name, svg))
        spine.append('<itemref idref="d%d"/>' % i)
    return ("""<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="id">
<metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
<dc:identifier id="id">urn:uuid:6b1f2a4e-fide-lity-0000-000000000001</dc:identifier>
<dc:title>Fidelity patterns</dc:title>
<dc:language>en</dc:language>
<meta property="dcterms:modified">2026-01-01T00:00:00Z</meta>
</metadata>
<manifest>
%s
</manifest>
<spine>
%s
</spine>
</package>
""" % ("\n".join(items), "\n".join(spine)))


def nav(names):
    links = "\n".join('<li><a href="text/%s.xhtml">%s</a></li>' % (n, n) for n in names)
    return ("""<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops">
<head><title>Contents</title></head>
<body><nav epub:type="toc"><ol>
%s
</ol></nav></body>
</html>
""" % links)


CONTAINER = """<?xml version="1.0" encoding="UTF-8"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>
</rootfiles>
</container>
"""


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    names = [p[0] for p in PATTERNS]
    files = {"META-INF/container.xml": CONTAINER.encode(),
             "OEBPS/content.opf": opf(names).encode(),
             "OEBPS/nav.xhtml": nav(names).encode(),
             "OEBPS/styles/base.css": BASE_CSS.encode()}
    for path, data in IMAGES.items():
        files["OEBPS/" + path] = data
    listing = []
    for name, what, body, css, attrs, body_attrs in PATTERNS:
        path = "OEBPS/text/%s.xhtml" % name
        files[path] = document(name, body, css, attrs, body_attrs).encode()
        listing.append({"name": name, "document": "text/%s.xhtml" % name, "path": path,
                        "what": what})
    for path, data in files.items():
        full = os.path.join(out, "book", path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
    with zipfile.ZipFile(os.path.join(out, "fidelity.epub"), "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype", (2026, 1, 1, 0, 0, 0)), "application/epub+zip",
                   compress_type=zipfile.ZIP_STORED)
        for path, data in files.items():
            z.writestr(zipfile.ZipInfo(path, (2026, 1, 1, 0, 0, 0)), data,
                       compress_type=zipfile.ZIP_DEFLATED)
    with open(os.path.join(out, "patterns.json"), "w") as f:
        json.dump(listing, f, indent=1)


if __name__ == "__main__":
    main()
