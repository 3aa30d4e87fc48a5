#!/usr/bin/python3
"""The web reader of `epubreader serve` in headless Chromium, driven as a
person would: on the built-in sample it turns pages with the keyboard and by
clicking, follows the contents and a link in the text, searches and opens a
hit, drags a highlight, changes the font size and the window size (the words
at the top of the page stay on screen), reloads (the highlight and the place
are kept) and reads in a second tab; then `serve BOOK --port N` on a
generated book shows its first page. Screenshots go to OUT_DIR.

Usage: serve_browser.py EPUBREADER OUT_DIR
"""

import contextlib
import os
import socket
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

# Scrap colours of the server, multiplied over white paper.
HIGHLIGHT = (255, 228, 92)
SEARCH_HIT = (255, 165, 79)

# Counts the pixels of the page image near a colour (any non-white one when
# no colour is given), read back through a canvas.
COUNT_PIXELS = """
const [colour] = arguments;
const image = document.getElementById("image");
const canvas = document.createElement("canvas");
canvas.width = image.naturalWidth;
canvas.height = image.naturalHeight;
const context = canvas.getContext("2d");
context.drawImage(image, 0, 0);
const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
let count = 0;
for (let i = 0; i < data.length; i += 4) {
  const [r, g, b] = [data[i], data[i + 1], data[i + 2]];
  if (colour ? Math.abs(r - colour[0]) < 12 && Math.abs(g - colour[1]) < 12 && Math.abs(b - colour[2]) < 12
             : r < 200 || g < 200 || b < 200) count++;
}
return count;
"""


class Reader:
    def __init__(self, driver, out_dir):
        self.driver = driver
        self.out_dir = out_dir
        self.shots = 0

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait(self, what, condition, seconds=30):
        try:
            return WebDriverWait(self.driver, seconds, poll_frequency=0.05).until(lambda d: condition())
        except Exception:
            self.shot("failed")
            s = self.state()
            raise AssertionError("timed out waiting for %s (page %s of %s, view %s, anchor %s, notice %r)" % (
                what, s["page"], s["pages"], s["view"], s["anchor"], self.js(
                    "return document.getElementById('notice').textContent")))

    def state(self):
        return self.js("const s = window.readerState, b = document.body.dataset;"
                       "return {page: Number(b.page), first: Number(b.first), last: Number(b.last),"
                       " ready: b.ready === '1' && document.getElementById('image').complete,"
                       " anchor: s.anchor, font: s.view.font, view: s.view, zoom: s.zoom,"
                       " objects: s.objects, pages: s.pages, image: document.getElementById('image').src};")

    def settled(self, page=None):
        """Waits until the page shown is `page` (any page when None), drawn and loaded."""
        def done():
            s = self.state()
            return s["ready"] and s["objects"] is not None and (page is None or s["page"] == page) and s
        return self.wait("page %s" % page, done)

    def stable(self):
        """Waits until the page and its layout have stayed the same for 0.6 s (a new
        window may be resized once more after it opens)."""
        seen = {"key": None, "since": 0}

        def done():
            s = self.state()
            key = (s["page"], str(s["view"]), s["ready"] and s["objects"] is not None)
            if key != seen["key"]:
                seen.update(key=key, since=time.monotonic())
            return key[2] and time.monotonic() - seen["since"] > 0.6 and s
        return self.wait("a settled page", done)

    def pixels(self, colour=None):
        return self.js(COUNT_PIXELS, colour)

    def shot(self, name):
        self.shots += 1
        path = os.path.join(self.out_dir, "%02d-%s.png" % (self.shots, name))
        self.driver.save_screenshot(path)
        return path

    def key(self, key):
        self.driver.find_element(By.TAG_NAME, "body").send_keys(key)

    def page_offset(self, x, y):
        """The offset from the page element's centre of a point in page points."""
        s = self.state()
        box = self.js("const r = document.getElementById('page').getBoundingClientRect();"
                      "return [r.width, r.height];")
        scale = box[0] / s["view"]["w"]
        return x * scale - box[0] / 2, y * scale - box[1] / 2

    def centre(self, obj):
        return self.page_offset(obj[0] + obj[2] / 2, obj[1] + obj[3] / 2)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def start_browser(size, profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + profile,
                     "--window-size=%d,%d" % size):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def run(reader, url):
    driver = reader.driver
    driver.get(url)
    first = reader.settled(0)
    # The first page is the engine's drawing at the page area's device pixels, and not blank.
    size = reader.js("const i = document.getElementById('image'); return [i.naturalWidth, i.naturalHeight];")
    check(size == [first["view"]["w"] * first["zoom"] // 100, first["view"]["h"] * first["zoom"] // 100],
          "page image %s for view %s" % (size, first["view"]))
    check(reader.pixels() > 2000, "the first page is blank")
    reader.shot("first-page")

    # Page turns: keys forward and back, then clicks in the right and left thirds.
    for key, page in ((Keys.ARROW_RIGHT, 1), (Keys.PAGE_DOWN, 2), (Keys.SPACE, 3), (Keys.ARROW_LEFT, 2),
                      (Keys.PAGE_UP, 1)):
        reader.key(key)
        reader.settled(page)
    ActionChains(driver).move_to_element_with_offset(driver.find_element(By.ID, "page"), *reader.page_offset(
        first["view"]["w"] * 0.9, 20)).click().perform()
    reader.settled(2)
    ActionChains(driver).move_to_element_with_offset(driver.find_element(By.ID, "page"), *reader.page_offset(
        first["view"]["w"] * 0.1, 20)).click().perform()
    reader.settled(1)
    check("page 2 of" in driver.find_element(By.ID, "where").text, "the footer does not say page 2")

    # Contents: an entry leads to its page, which is then marked as the current chapter.
    summer = reader.wait("the contents", lambda: [b for b in driver.find_elements(By.CSS_SELECTOR, "#toc button")
                                                  if b.text == "Summer" and b.get_attribute("data-page")])[0]
    summer.click()
    reader.settled(int(summer.get_attribute("data-page")))
    check("current" in summer.get_attribute("class"), "Summer is not marked as the current chapter")
    reader.shot("contents")

    # A link in the text: chapter three links back to the other chapters.
    driver.find_element(By.XPATH, "//*[@id='toc']//button[text()='Autumn and winter']").click()
    s = reader.settled(int(driver.find_element(By.XPATH, "//*[@id='toc']//button[text()='Autumn and winter']")
                           .get_attribute("data-page")))
    while not [o for o in s["objects"]["objects"] if o[5]]:
        reader.key(Keys.ARROW_RIGHT)
        s = reader.settled(s["page"] + 1)
    link = [o for o in s["objects"]["objects"] if o[5]][0]
    ActionChains(driver).move_to_element_with_offset(driver.find_element(By.ID, "page"),
                                                     *reader.centre(link)).click().perform()
    reader.wait("the link to be followed", lambda: reader.state()["page"] < s["page"])
    reader.settled()

    # Search: the hits are listed with their line; a hit opens its page with the hit marked.
    driver.find_element(By.ID, "query").send_keys("lamp", Keys.ENTER)
    hits = reader.wait("search hits", lambda: driver.find_elements(By.CSS_SELECTOR, "#hits button"))
    check(all("lamp" in h.text.lower() for h in hits), "a hit's line lacks the text")
    hit = hits[3]
    hit_page = int(hit.find_element(By.CLASS_NAME, "hit-page").text.split()[-1]) - 1
    hit.click()
    reader.wait("the marked hit", lambda: reader.settled(hit_page) and reader.pixels(SEARCH_HIT) > 50)
    reader.shot("search-hit")

    # A highlight: dragging from the third word to the seventh of the page.
    s = reader.settled(hit_page)
    words = s["objects"]["objects"]
    page_element = driver.find_element(By.ID, "page")
    ActionChains(driver).move_to_element_with_offset(page_element, *reader.centre(words[2])).click_and_hold() \
        .move_to_element_with_offset(page_element, *reader.centre(words[4])) \
        .move_to_element_with_offset(page_element, *reader.centre(words[6])).release().perform()
    marks = reader.wait("the highlight", lambda: driver.find_elements(By.CSS_SELECTOR, "#highlights li"))
    check(len(marks) == 1, "%d highlights after one drag" % len(marks))
    reader.wait("the highlight drawn", lambda: reader.pixels(HIGHLIGHT) > 200)
    reader.shot("highlight")

    # Font size: larger type, the page's first words still on screen.
    before = reader.settled()
    for _ in range(2):
        driver.find_element(By.ID, "larger").click()
    after = reader.wait("the new layout", lambda: (lambda s: s["ready"] and s["font"] == before["font"] + 4
                                                   and s["view"] == {**before["view"], "font": s["font"]}
                                                   and s["objects"] and s["anchor"] == before["first"]
                                                   and s["first"] <= before["first"] <= s["last"] and s)(
                                                       reader.state()))
    check(after["page"] >= before["page"], "a larger font moved back to page %d" % after["page"])
    reader.shot("larger-font")

    # Reload: the highlight and the place are kept.
    driver.refresh()
    again = reader.settled(after["page"])
    check(again["font"] == after["font"], "the font size was not kept")
    check(again["first"] <= before["first"] <= again["last"], "the place was not kept")
    reader.wait("the kept highlight", lambda: len(driver.find_elements(By.CSS_SELECTOR, "#highlights li")) == 1)
    reader.shot("reloaded")

    # A narrower window lays the book out again around the same words.
    driver.set_window_size(900, 800)
    narrow = reader.wait("the narrower layout", lambda: (lambda s: s["ready"] and s["view"]["w"] < again["view"]["w"]
                                                         and s["first"] <= before["first"] <= s["last"] and s)(
                                                             reader.state()))
    reader.shot("narrow-window")

    # A second tab on the same book reads at the same time.
    first_tab = driver.current_window_handle
    driver.switch_to.new_window("tab")
    driver.get(url)
    other = reader.stable()
    check(other["first"] <= before["first"] <= other["last"], "the second tab is elsewhere")
    reader.key(Keys.ARROW_RIGHT)
    reader.settled(other["page"] + 1)
    driver.switch_to.window(first_tab)
    narrow = reader.stable()
    reader.key(Keys.ARROW_LEFT)
    reader.settled(narrow["page"] - 1)


@contextlib.contextmanager
def serving(program, *args):
    """`epubreader serve ARGS` while the block runs; its address, and exit status 0 after."""
    server = subprocess.Popen([program, "serve", *args], stdout=subprocess.PIPE, text=True)
    try:
        line = server.stdout.readline()
        check(" at http://127.0.0.1:" in line, "the server said: " + line)
        yield line.rsplit(" ", 1)[1].strip()
    finally:
        server.terminate()
        status = server.wait(timeout=60)
    check(status == 0, "the server ended with status %d" % status)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    program, out_dir = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    scratch = tempfile.TemporaryDirectory(prefix="serve_browser_")
    driver = start_browser((1280, 900), os.path.join(scratch.name, "profile"))
    try:
        reader = Reader(driver, out_dir)
        with serving(program, "--port", "0") as url:
            run(reader, url)
        # `serve BOOK --port N`: the page at / shows the book's first page.
        book = os.path.join(scratch.name, "book.epub")
        subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "..", "..", "scripts",
                                                     "make_render_book.py"), book, "12"], check=True)
        port = free_port()
        with serving(program, book, "--port", str(port)) as url:
            check(url == "http://127.0.0.1:%d/" % port, "the server is at " + url)
            driver.get(url)
            reader.settled(0)
            check(reader.pixels() > 2000, "the book's first page is blank")
            reader.shot("book-first-page")
        errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        check(not errors, "the browser reported %s" % errors)
    finally:
        driver.quit()
        scratch.cleanup()
    print("serve_browser: all steps passed; screenshots in " + out_dir)


if __name__ == "__main__":
    main()
