// The library page: each book's cover (its first page, drawn by the
// engine), title and author; a book that cannot be opened says why.
"use strict";

fetch("/api/books").then((r) => r.json()).then((books) => {
  const list = document.getElementById("books");
  for (const book of books) {
    const item = document.createElement("li");
    const link = document.createElement(book.error ? "div" : "a");
    if (!book.error) link.href = "/read/" + book.id;
    if (!book.error) {
      const cover = document.createElement("img");
      cover.src = "/api/books/" + book.id + "/cover.png";
      cover.alt = "";
      link.append(cover);
    }
    const title = document.createElement("strong");
    title.textContent = book.title || book.file;
    const author = document.createElement("span");
    author.textContent = book.error ? book.error : book.author;
    if (book.error) item.className = "broken";
    link.append(title, author);
    item.append(link);
    list.append(item);
  }
});
