#!/usr/bin/python3
"""The fidelity gallery: each pattern of scripts/fidelity_patterns.py drawn
by the engine (through the epubreader command) and by headless Chromium at
the same page size, side by side, with an automatic comparison of their
structure. Run through scripts/fidelity.sh; see there for the usage.

Both sides use a page of 600 x 800 (points for the engine, CSS pixels for
Chromium, one pixel a point) and the engine's default font size, 12: Chromium
gets a style sheet before the book's own with `html { font-size: 12px;
padding: 48px 36px }`, the padding standing in for the engine's page margins.

What "agree" means (the same rule is written in docs/fidelity/index.md):
- Text is compared as its letters and digits only (NFKC, lower case, every
  other character dropped), so line breaks, hyphens, spaces, punctuation,
  fonts and sizes do not count.
- Chromium's text blocks are the runs of visible text that share the nearest
  ancestor that is not displayed inline (a paragraph, a heading, a list item,
  a table cell, a float); its images are the visible img, svg and object
  elements and the elements with a CSS background image, in document order.
- The engine's words and images are the objects its pages report
  (EpubReader_getContentObjectInfo), in reading order across the document's
  pages.

A pattern agrees when all of these hold:
1. every Chromium text block is found in the engine's text by its first 12
   letters, each after the one before (presence and order);
2. the engine's text is as long as Chromium's to within 5% (or 10 letters):
   nothing large is lost or added;
3. both report as many images, and each image comes after as many text blocks
   on both sides;
4. vertical order: each text block lies above the one before it (by more than
   a line) on both sides or on neither; on the engine's side a block on a
   later page lies below;
5. a block that Chromium's styles break a page before (break-before, or
   break-after on the element before it) begins an engine page;
6. every engine image draws something: its box on its page is not all of one
   colour;
7. a block that Chromium sets in a vertical writing mode, the engine sets
   vertically too: its first word's box is taller than wide;
8. each block's first word lies in the same third of the page's width (left,
   middle or right) on both sides: alignment, indents and direction;
9. ruby text that Chromium shows is set above its base by the engine too:
   the annotation's word is not the base's and ends above the base's middle.
"""

import json
import os
import shutil
import subprocess
import sys
import unicodedata

from PIL import Image, ImageDraw, ImageFont
from selenium import webdriver
from selenium.webdriver.chrome.service import Service

WIDTH, HEIGHT, FONT_SIZE = 600, 800, 12
KEY = 12
THIRDS = ("left", "middle", "right")

BROWSER_CSS = "html { font-size: %dpx; padding: 48px 36px; }" % FONT_SIZE

# Runs in the page: the text blocks and images in document order.
STRUCTURE_JS = r"""
const body = document.body;
const inline = d => d.startsWith('inline') || d.startsWith('ruby') || d === 'contents';
const pageBreak = v => ['page', 'always', 'left', 'right', 'recto', 'verso'].includes(v);
function blockOf(node) {
  for (let e = node.parentElement; e; e = e.parentElement)
    if (e === body || !inline(getComputedStyle(e).display)) return e;
  return body;
}
function breaksBefore(e) {
  for (let x = e; x && x !== body; x = x.parentElement) {
    if (pageBreak(getComputedStyle(x).breakBefore)) return true;
    const prev = x.previousElementSibling;
    if (prev) return pageBreak(getComputedStyle(prev).breakAfter);
  }
  return false;
}
const items = [];
let last = null;
function visit(parent) {
  for (const n of parent.childNodes) {
    if (n.nodeType === Node.TEXT_NODE) {
      const range = document.createRange();
      range.selectNodeContents(n);
      const rects = [...range.getClientRects()].filter(r => r.width > 0 && r.height > 0);
      if (!/\S/.test(n.data) || !rects.length) continue;
      const block = blockOf(n);
      if (last && last.kind === 'text' && last.block === block) last.text += n.data;
      else {
        const word = /\S+/.exec(n.data), first = document.createRange();
        first.setStart(n, word.index);
        first.setEnd(n, word.index + word[0].length);
        const w = first.getBoundingClientRect();
        last = {kind: 'text', block, text: n.data, top: rects[0].top + scrollY,
                middle: (w.left + w.right) / 2,
                height: rects[0].height, breakBefore: breaksBefore(block),
                vertical: getComputedStyle(block).writingMode.startsWith('vertical')};
        items.push(last);
      }
      continue;
    }
    if (n.nodeType !== Node.ELEMENT_NODE) continue;
    const r = n.getBoundingClientRect(), style = getComputedStyle(n);
    const shown = r.width > 0 && r.height > 0 && style.visibility !== 'hidden';
    const image = ['img', 'svg', 'object'].includes(n.localName);
    if (shown && (image || style.backgroundImage.startsWith('url('))) {
      last = {kind: 'image', top: r.top + scrollY, height: r.height};
      items.push(last);
    }
    if (!image) visit(n);
  }
}
visit(body);
for (const rt of body.querySelectorAll('rt')) {
  let base = '';
  for (let x = rt.previousSibling; x && !(x.localName === 'rt'); x = x.previousSibling)
    if (x.localName !== 'rp') base = x.textContent + base;
  const r = rt.getBoundingClientRect();
  if (r.width > 0 && r.height > 0) items.push({kind: 'ruby', base, text: rt.textContent});
}
return items.map(({block, ...rest}) => rest);
"""


def letters(text):
    return "".join(c for c in unicodedata.normalize("NFKC", text).lower() if c.isalnum())


def run(cmd, ok=(0,)):
    done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode not in ok:
        sys.exit("fidelity: %s failed (%d): %s" % (cmd[0], done.returncode, done.stderr.decode()))
    return done.stdout


def engine_side(cli, book, work):
    """Each document's words and images in reading order, and its first page."""
    # Exit status 3: the book draws, with warnings about parts it could not use.
    pages = json.loads(run([cli, "text", book, "--json", "--objects", "--jobs", "1"], (0, 3)))
    out = os.path.join(work, "engine")
    shutil.rmtree(out, ignore_errors=True)
    run([cli, "render", book, "--all", "--jobs", "1", "-o", out], (0, 3))
    files = sorted(os.listdir(out))
    docs = {}
    for page in pages["pages"]:
        doc = docs.setdefault(page["document"], {"objects": [], "image": None})
        if doc["image"] is None:
            doc["image"] = os.path.join(out, files[page["page"] - 1])
        for i, o in enumerate(page["objects"]):
            o["page"], o["first"] = page["page"], i == 0
            o["file"] = os.path.join(out, files[page["page"] - 1])
            doc["objects"].append(o)
    return docs


def browser():
    options = webdriver.ChromeOptions()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
              "--hide-scrollbars", "--force-device-scale-factor=1",
              "--allow-file-access-from-files"):
        options.add_argument(a)
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or
                                              "/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1,
                            "mobile": False})
    return driver


def browser_side(driver, path, shot):
    driver.get("file://" + os.path.abspath(path))
    driver.execute_script("""
const s = document.createElementNS('http://www.w3.org/1999/xhtml', 'style');
s.textContent = arguments[0];
const head = document.head || document.documentElement;
head.insertBefore(s, head.firstChild);
window.scrollTo(0, 0);""", BROWSER_CSS)
    items = driver.execute_script(STRUCTURE_JS)
    driver.save_screenshot(shot)
    return items


def blank(image):
    """Whether an engine image's box on its drawn page is all of one colour."""
    with Image.open(image["file"]) as page:
        box = (image["x"], image["y"], image["x"] + image["width"], image["y"] + image["height"])
        return all(low == high for low, high in page.convert("RGB").crop(box).getextrema())


def compare(ours, theirs):
    """The reasons the two sides disagree; none when they agree."""
    stream, where, images, reasons = "", [], [], []
    for o in ours:
        if o["kind"] == "word":
            t = letters(o.get("text", ""))
            stream += t
            where += [o] * len(t)
        else:
            images.append(len(stream))
            if blank(o):
                reasons.append("an image draws nothing (its box is of one colour)")
    blocks = [b for b in theirs if b["kind"] == "text" and letters(b["text"])]
    total = sum(len(letters(b["text"])) for b in blocks)
    cursor, found = 0, []  # found: (block, offset in stream)
    keys = [letters(b["text"])[:KEY] for b in blocks]
    for i, b in enumerate(blocks):
        at = stream.find(keys[i], cursor)
        # Found only past the next block's text: this one is out of place,
        # and the next ones are looked for from where this one was not.
        ahead = stream.find(keys[i + 1], cursor, max(at, cursor)) if i + 1 < len(keys) else -1
        if at < 0 or ahead >= 0:
            earlier = stream.find(keys[i])
            reasons.append("%r %s" % (b["text"].strip()[:30],
                                      "comes elsewhere in the engine's order" if earlier >= 0
                                      else "is missing from the engine's text"))
            continue
        found.append((b, at))
        cursor = at + len(keys[i])
    if abs(len(stream) - total) > max(10, total // 20):
        reasons.append("text length %d letters, Chromium %d" % (len(stream), total))
    # Images: as many, each after as many text blocks.
    theirs_images, seen = [], 0
    for item in theirs:
        if item["kind"] == "image":
            theirs_images.append(seen)
        elif item["kind"] == "text" and letters(item["text"]):
            seen += 1
    if len(images) != len(theirs_images):
        reasons.append("the engine reports %d images, Chromium %d" % (len(images),
                                                                     len(theirs_images)))
    else:
        ours_after = [sum(1 for _, at in found if at < offset) for offset in images]
        if ours_after != theirs_images:
            reasons.append("the images come after %s text blocks, in Chromium after %s" % (
                ours_after, theirs_images))
    # Vertical order of consecutive blocks, and page breaks.
    for (a, at_a), (b, at_b) in zip(found, found[1:]):
        oa, ob = where[at_a], where[at_b]
        ours_up = ob["page"] == oa["page"] and ob["y"] < oa["y"] - max(oa["height"], 1)
        theirs_up = b["top"] < a["top"] - max(a["height"], 1)
        if ob["page"] < oa["page"]:
            ours_up = True
        if ours_up != theirs_up:
            reasons.append("%r is %s the block before it, in Chromium %s" % (
                b["text"].strip()[:30], "above" if ours_up else "not above",
                "above" if theirs_up else "not above"))
    for b, at in found:
        if b["breakBefore"] and not where[at]["first"]:
            reasons.append("no page break before %r" % b["text"].strip()[:30])
        word = where[at]
        ours_third = int(3 * (word["x"] + word["width"] / 2) // WIDTH)
        theirs_third = int(3 * b["middle"] // WIDTH)
        if ours_third != theirs_third:
            reasons.append("%r begins at the %s, in Chromium at the %s" % (
                b["text"].strip()[:30], THIRDS[min(max(ours_third, 0), 2)],
                THIRDS[min(max(theirs_third, 0), 2)]))
        if b["vertical"] and word["height"] <= word["width"]:
            reasons.append("%r is set horizontally, in Chromium vertically" %
                           b["text"].strip()[:30])
    # Ruby: the annotation above its base, not in the line after it.
    for r in (item for item in theirs if item["kind"] == "ruby"):
        base, note = letters(r["base"]), letters(r["text"])
        at = stream.find(base + note) if base and note else -1
        if at < 0:
            continue  # missing text is told above
        b, n = where[at + len(base) - 1], where[at + len(base)]
        if n is b or n["y"] + n["height"] > b["y"] + b["height"] / 2:
            reasons.append("ruby %r is not set above its base %r" % (r["text"], r["base"]))
    return reasons


def side_by_side(ours_png, theirs_png, out):
    a = Image.open(ours_png).convert("RGB") if ours_png else Image.new("RGB", (WIDTH, HEIGHT),
                                                                        "white")
    b = Image.open(theirs_png).convert("RGB")
    both = Image.new("RGB", (2 * WIDTH + 8, HEIGHT), (128, 128, 128))
    both.paste(a.crop((0, 0, WIDTH, HEIGHT)), (0, 0))
    both.paste(b.crop((0, 0, WIDTH, HEIGHT)), (WIDTH + 8, 0))
    draw = ImageDraw.Draw(both)
    try:
        font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 22)
    except OSError:
        font = ImageFont.load_default()
    for x, label in ((4, "engine"), (WIDTH + 12, "Chromium")):
        box = draw.textbbox((x + 4, 4), label, font=font)
        draw.rectangle((x, 2, box[2] + 4, box[3] + 4), fill=(255, 240, 160))
        draw.text((x + 4, 4), label, fill=(0, 0, 0), font=font)
    small = both.resize((both.width // 2, both.height // 2), Image.LANCZOS)
    small.quantize(colors=64, method=Image.Quantize.MEDIANCUT).save(out, optimize=True)


RULE = __doc__[__doc__.index('What "agree" means'):].split("\n", 1)[1]


def gallery(results, agree, folder):
    lines = ["# Fidelity gallery", "",
             "Each pattern from real books is drawn by the engine (left, through `epubreader`)",
             "and by headless Chromium (right), at 600 x 800 with font size 12, and their",
             "structure compared. Written by `scripts/fidelity.sh`; do not edit by hand.", "",
             "**%d of %d patterns agree.**" % (agree, len(results)), "",
             "## What agree means", "", RULE.strip(), "",
             "## Patterns", "", "| pattern | shows | result | reason |", "|---|---|---|---|"]
    for r in results:
        lines.append("| [%s](#%s) | %s | %s | %s |" % (
            r["name"], r["name"], r["what"],
            "agree" if not r["reasons"] else "**disagree**",
            "; ".join(r["reasons"]).replace("|", "/") or "-"))
    lines.append("")
    for r in results:
        lines += ["### %s" % r["name"], "",
                  "%s: %s." % ("Agree" if not r["reasons"] else "Disagree", r["what"]), ""]
        if r["reasons"]:
            lines += ["Why: %s." % "; ".join(r["reasons"]), ""]
        lines += ["![%s](%s.png)" % (r["name"], r["name"]), ""]
    with open(os.path.join(folder, "index.md"), "w") as f:
        f.write("\n".join(lines))


def main():
    cli, work, folder = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    here = os.path.dirname(os.path.abspath(__file__))
    run([sys.executable, os.path.join(here, "fidelity_patterns.py"), work])
    with open(os.path.join(work, "patterns.json")) as f:
        patterns = json.load(f)
    docs = engine_side(cli, os.path.join(work, "fidelity.epub"), work)
    for old in os.listdir(folder) if os.path.isdir(folder) else []:
        if old.endswith(".png"):
            os.remove(os.path.join(folder, old))
    os.makedirs(folder, exist_ok=True)
    driver = browser()
    results = []
    try:
        for p in patterns:
            shot = os.path.join(work, "chromium-%s.png" % p["name"])
            theirs = browser_side(driver, os.path.join(work, "book", p["path"]), shot)
            doc = docs.get(p["document"], {"objects": [], "image": None})
            reasons = compare(doc["objects"], theirs)
            side_by_side(doc["image"], shot, os.path.join(folder, p["name"] + ".png"))
            if len(reasons) > 4:
                reasons = reasons[:4] + ["and %d more" % (len(reasons) - 4)]
            results.append(dict(p, reasons=reasons))
            print("%-24s %s" % (p["name"], "agree" if not reasons else "disagree: " +
                                "; ".join(reasons)))
    finally:
        driver.quit()
    agree = sum(1 for r in results if not r["reasons"])
    gallery(results, agree, folder)
    figure = "%d of %d patterns agree" % (agree, len(results))
    with open(os.path.join(folder, "agreement.txt"), "w") as f:
        f.write(figure + "\n")
    print(figure)
    with open(os.path.join(folder, "floor.txt")) as f:
        floor = int(f.read().split()[0])
    if agree < floor:
        print("fidelity: %d is below the floor of %d (docs/fidelity/floor.txt)" % (agree, floor))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
