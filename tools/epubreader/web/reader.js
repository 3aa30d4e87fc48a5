// The reader page. Every page is drawn by the engine on the server as a PNG
// at the page area's device-pixel size; this script turns pages, follows
// links, shows the contents, search hits and highlights, and asks for a new
// layout when the font size or the window changes, staying at the markable
// position of the words at the top of the page.
"use strict";

const bookId = document.body.dataset.book;
const $ = (id) => document.getElementById(id);
const stored = (key) => "epubreader:" + key + ":" + bookId;

const state = {
  view: { w: 600, h: 800, font: Number(localStorage.getItem("epubreader:font")) || 16 },
  zoom: 100,
  page: 0,
  pages: 1,
  complete: false,
  anchor: null, // markable position the reader stays at through new layouts
  objects: null, // {first, objects: [[x, y, w, h, position, anchor], ...]} of the page shown
  mark: null, // {from, to}: the search hit shown
  contents: "",
  revision: 0, // grows when highlights change, so that cached pages are drawn again
};
window.readerState = state; // for the browser test and the console
let showing = 0; // the latest show(): answers to earlier ones are dropped

function query(params) {
  const all = { w: state.view.w, h: state.view.h, font: state.view.font, ...params };
  return new URLSearchParams(all).toString();
}

function apiUrl(path, params = {}) {
  return "/api/books/" + bookId + (path ? "/" + path : "") + "?" + query(params);
}

async function api(path, params = {}, method = "GET") {
  const response = await fetch(apiUrl(path, params), { method });
  const body = await response.json();
  if (!response.ok) throw Object.assign(new Error(body.error || response.statusText), { status: response.status });
  return body;
}

function notice(text) {
  $("notice").textContent = text || "";
  $("notice").hidden = !text;
}

// Pages and their objects, fetched once per layout (and per highlight
// change), so that the page after the current one is ready before it is
// asked for.
const cache = new Map();
function cached(key, load) {
  if (!cache.has(key)) {
    const promise = load();
    promise.catch(() => cache.delete(key));
    cache.set(key, promise);
    while (cache.size > 24) {
      const [oldest, value] = cache.entries().next().value;
      value.then((v) => typeof v === "string" && URL.revokeObjectURL(v), () => {});
      cache.delete(oldest);
    }
  }
  return cache.get(key);
}

function pageImage(page, mark) {
  const params = { n: page, zoom: state.zoom, r: state.revision };
  if (mark) Object.assign(params, { from: mark.from, to: mark.to });
  const url = apiUrl("page.png", params);
  return cached(url, async () => {
    const response = await fetch(url);
    if (!response.ok) throw Object.assign(new Error((await response.json()).error), { status: response.status });
    return URL.createObjectURL(await response.blob());
  });
}

function pageObjects(page) {
  return cached(apiUrl("objects", { n: page }), () => api("objects", { n: page }));
}

function measure() {
  const stage = $("stage");
  const clamp = (v, low, high) => Math.max(low, Math.min(high, Math.floor(v)));
  state.view.w = clamp(stage.clientWidth, 50, 4096);
  state.view.h = clamp(stage.clientHeight, 50, 4096);
  state.zoom = clamp(window.devicePixelRatio * 100, 25, 400);
  while ((state.view.w * state.zoom) / 100 > 8192 || (state.view.h * state.zoom) / 100 > 8192) state.zoom -= 25;
  $("page").style.width = state.view.w + "px";
  $("page").style.height = state.view.h + "px";
  $("font-size").textContent = state.view.font;
}

async function show(page, options = {}) {
  if (page < 0 || (state.complete && page >= state.pages)) return;
  const token = ++showing;
  const mark = options.mark || null;
  let image, objects;
  try {
    [image, objects] = await Promise.all([pageImage(page, mark), pageObjects(page)]);
  } catch (error) {
    if (token === showing && error.status !== 404) notice(error.message);
    return;
  }
  if (token !== showing) return;
  notice("");
  state.page = page;
  state.mark = mark;
  state.objects = objects;
  if (!options.keepAnchor) state.anchor = objects.first;
  localStorage.setItem(stored("position"), state.anchor);
  if ($("image").src !== image) {
    document.body.dataset.ready = "0"; // until the new picture has loaded
    $("image").src = image;
  }
  clearSelection();
  const positions = objects.objects.map((o) => o[4]);
  Object.assign(document.body.dataset, {
    page, first: objects.first, last: positions.length ? Math.max(...positions) : objects.first,
  });
  if (page >= state.pages) state.pages = page + 1;
  showWhere();
  markChapter();
  for (const next of [page + 1, page - 1]) {
    if (next < 0 || (state.complete && next >= state.pages)) continue;
    pageImage(next).catch(() => {});
    pageObjects(next).catch(() => {});
  }
}

function turn(by) {
  show(state.page + by);
}

function showWhere() {
  $("slider").max = Math.max(1, state.pages);
  $("slider").value = state.page + 1;
  $("where").textContent = "page " + (state.page + 1) + " of " + state.pages + (state.complete ? "" : "+");
}

// How far the book is laid out, its contents and damaged parts; asked again
// while the server is still laying it out.
async function refreshStatus() {
  let status;
  try {
    status = await api("");
  } catch (error) {
    return notice(error.message);
  }
  // Laid out in another tab's size just now: ask again later.
  if (!status.current) return setTimeout(refreshStatus, 1000);
  state.pages = status.pages;
  state.complete = status.complete;
  const contents = JSON.stringify(status.contents);
  if (contents !== state.contents) {
    state.contents = contents;
    $("toc").replaceChildren(...status.contents.map(contentsItem));
    markChapter();
  }
  if (status.damaged.length) notice("Parts of this book are damaged and left out: " + status.damaged.join(", "));
  showWhere();
  if (!status.complete) setTimeout(refreshStatus, 400);
}

function contentsItem(entry) {
  const item = document.createElement("li");
  const button = document.createElement("button");
  button.textContent = entry.label;
  button.disabled = entry.page === null;
  if (entry.page !== null) button.dataset.page = entry.page;
  button.addEventListener("click", () => show(entry.page));
  item.append(button);
  if (entry.children) {
    const list = document.createElement("ul");
    list.append(...entry.children.map(contentsItem));
    item.append(list);
  }
  return item;
}

// The current chapter: the last entry that starts at or before the page.
function markChapter() {
  let current = null;
  for (const button of $("toc").querySelectorAll("button[data-page]")) {
    button.classList.remove("current");
    button.removeAttribute("aria-current");
    if (Number(button.dataset.page) <= state.page) current = button;
  }
  if (current) {
    current.classList.add("current");
    current.setAttribute("aria-current", "true");
  }
}

// A new layout (font size or page area): the page that holds the anchor
// position at the new size is shown, and the anchor stays as it was.
async function relayout() {
  const anchor = state.anchor ?? 0;
  measure();
  cache.clear();
  state.complete = false;
  document.body.dataset.ready = "0";
  const mine = ++showing; // a page asked for meanwhile wins
  try {
    const { page } = await api("locate", { pos: anchor });
    if (mine === showing) await show(page, { keepAnchor: true, mark: state.mark });
  } catch (error) {
    notice(error.message);
    document.body.dataset.ready = "1";
  }
  refreshStatus();
}

function setFont(size) {
  state.view.font = Math.max(8, Math.min(48, size));
  localStorage.setItem("epubreader:font", state.view.font);
  relayout();
}

// Points of the page under a pointer event.
function pointOf(event) {
  const box = $("page").getBoundingClientRect();
  return {
    x: ((event.clientX - box.left) * state.view.w) / box.width,
    y: ((event.clientY - box.top) * state.view.h) / box.height,
    share: (event.clientX - box.left) / box.width,
  };
}

function objectAt(point) {
  const list = state.objects ? state.objects.objects : [];
  return list.findIndex(([x, y, w, h]) => point.x >= x && point.x < x + w && point.y >= y && point.y < y + h);
}

function clearSelection() {
  $("selection").replaceChildren();
}

function drawSelection(first, last) {
  const scale = $("page").getBoundingClientRect().width / state.view.w;
  clearSelection();
  for (const [x, y, w, h] of state.objects.objects.slice(first, last + 1)) {
    const box = document.createElement("div");
    Object.assign(box.style, { left: x * scale + "px", top: y * scale + "px", width: w * scale + "px", height: h * scale + "px" });
    $("selection").append(box);
  }
}

let press = null; // {start, index, last, moved} while the pointer is down on the page

function pointerDown(event) {
  if (event.button !== 0) return;
  const start = pointOf(event);
  press = { start, index: objectAt(start), last: -1, moved: false };
  $("page").setPointerCapture(event.pointerId);
}

function pointerMove(event) {
  if (!press) return;
  const point = pointOf(event);
  if (Math.hypot(point.x - press.start.x, point.y - press.start.y) > 4) press.moved = true;
  const index = objectAt(point);
  if (!press.moved || press.index < 0 || index < 0) return;
  press.last = index;
  drawSelection(Math.min(press.index, index), Math.max(press.index, index));
}

async function pointerUp(event) {
  if (!press) return;
  const done = press;
  press = null;
  if (done.moved) {
    if (done.index >= 0 && done.last >= 0) {
      const ends = [done.index, done.last].map((i) => state.objects.objects[i][4]);
      await highlight(Math.min(...ends), Math.max(...ends));
    }
    return clearSelection();
  }
  const index = objectAt(done.start);
  if (index >= 0 && state.objects.objects[index][5]) {
    const { page } = await api("link", { n: state.page, pos: state.objects.objects[index][4] });
    if (page !== null) return show(page);
  }
  if (done.start.share < 1 / 3) turn(-1);
  else if (done.start.share > 2 / 3) turn(1);
}

async function highlight(from, to) {
  try {
    await api("highlights", { from, to }, "POST");
  } catch (error) {
    return notice(error.message);
  }
  state.revision++;
  await listHighlights();
  show(state.page, { keepAnchor: true, mark: state.mark });
}

async function listHighlights() {
  const list = await api("highlights");
  $("highlights").replaceChildren(...list.map((h) => {
    const item = document.createElement("li");
    const go = document.createElement("button");
    go.textContent = h.text || "(" + h.from + "-" + h.to + ")";
    go.addEventListener("click", async () => show((await api("locate", { pos: h.from })).page));
    const remove = document.createElement("button");
    remove.className = "remove";
    remove.title = "Remove this highlight";
    remove.textContent = "\u00d7";
    remove.addEventListener("click", async () => {
      await api("highlights", { from: h.from, to: h.to }, "DELETE");
      state.revision++;
      await listHighlights();
      show(state.page, { keepAnchor: true, mark: state.mark });
    });
    item.append(go, remove);
    return item;
  }));
}

async function search(event) {
  event.preventDefault();
  const text = $("query").value.trim();
  if (!text) return;
  openTab("results");
  $("hit-count").textContent = "Searching\u2026";
  $("hits").replaceChildren();
  let found;
  try {
    found = await api("search", { q: text });
  } catch (error) {
    return ($("hit-count").textContent = error.message);
  }
  $("hit-count").textContent = found.count + (found.count === 1 ? " hit" : " hits");
  $("hits").replaceChildren(...found.hits.map((hit) => {
    const item = document.createElement("li");
    const button = document.createElement("button");
    const where = document.createElement("span");
    where.className = "hit-page";
    where.textContent = "p. " + (hit.page + 1);
    button.append(where, " " + hit.line);
    button.addEventListener("click", () => {
      for (const other of $("hits").querySelectorAll(".chosen")) other.classList.remove("chosen");
      button.classList.add("chosen");
      show(hit.page, { mark: { from: hit.from, to: hit.to } });
    });
    item.append(button);
    return item;
  }));
}

function openTab(name) {
  for (const tab of document.querySelectorAll("[data-tab]")) tab.classList.toggle("active", tab.dataset.tab === name);
  for (const section of document.querySelectorAll(".tab")) section.classList.toggle("active", section.id === name);
}

function keyDown(event) {
  if (event.target.closest("input, textarea") || event.altKey || event.ctrlKey || event.metaKey) return;
  const forward = { ArrowRight: 1, PageDown: 1, ArrowLeft: -1, PageUp: -1 }[event.key];
  const by = forward ?? (event.key === " " ? (event.shiftKey ? -1 : 1) : 0);
  if (!by) return;
  event.preventDefault();
  turn(by);
}

let resizing = 0;
function resized() {
  clearTimeout(resizing);
  resizing = setTimeout(() => {
    const before = JSON.stringify([state.view, state.zoom]);
    measure();
    if (JSON.stringify([state.view, state.zoom]) !== before) relayout();
  }, 250);
}

async function start() {
  document.body.classList.toggle("side-open", window.innerWidth >= 1000);
  measure();
  document.addEventListener("keydown", keyDown);
  window.addEventListener("resize", resized);
  $("page").addEventListener("pointerdown", pointerDown);
  $("page").addEventListener("pointermove", pointerMove);
  $("page").addEventListener("pointerup", pointerUp);
  $("image").addEventListener("load", () => (document.body.dataset.ready = "1"));
  $("search").addEventListener("submit", search);
  $("smaller").addEventListener("click", () => setFont(state.view.font - 2));
  $("larger").addEventListener("click", () => setFont(state.view.font + 2));
  $("toggle").addEventListener("click", () => {
    document.body.classList.toggle("side-open");
    resized();
  });
  for (const tab of document.querySelectorAll("[data-tab]")) tab.addEventListener("click", () => openTab(tab.dataset.tab));
  $("slider").addEventListener("input", () => ($("where").textContent = "page " + $("slider").value + " of " + state.pages));
  $("slider").addEventListener("change", () => show(Number($("slider").value) - 1));

  const saved = localStorage.getItem(stored("position"));
  if (saved !== null && saved !== "" && !Number.isNaN(Number(saved))) {
    state.anchor = Number(saved);
    api("locate", { pos: state.anchor })
      .then(({ page }) => show(page, { keepAnchor: true }))
      .catch(() => show(0));
  } else {
    show(0);
  }
  refreshStatus();
  listHighlights().catch((error) => notice(error.message));
}

start();
