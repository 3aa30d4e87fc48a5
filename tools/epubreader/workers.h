// Whole-book work on several threads (--jobs): each worker opens the book
// again, with its own Book, Reader handle and so its own renderer, and lays
// out only the documents dealt to it. The main session keeps the command's
// output: warnings in reading order, pages in page order.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session.h"

namespace epubreader {

// --jobs N, by default the number of cores; 1 when the book comes from
// standard input (it cannot be opened twice) or names a document twice.
unsigned jobsOption(const Arguments& args, Session& main);

class Workers {
 public:
  // Opens `jobs` workers on the book at `path` (the built-in sample
  // without one), which `main` has open.
  Workers(const std::optional<std::string>& path, Session& main, unsigned jobs);
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  // Lays every document out in its worker, in parallel, and hands the
  // counts to `main` (Session::adopt); the damage met is told by `main`,
  // in reading order. Returns the page count. `each(session, doc)` runs on
  // the worker's thread after each of its documents is laid out, while the
  // worker's book still holds the document's bytes.
  int32_t layOut(const std::function<void(Session&, size_t)>& each = {});
  // Runs work(session, doc) on every worker's thread for each of its
  // documents in reading order, after layOut.
  void forEachDocument(const std::function<void(Session&, size_t)>& work);
  // Runs work(session) once on every worker's thread.
  void forEachWorker(const std::function<void(Session&)>& work);

 private:
  struct Worker;
  void run(const std::function<void(Worker&)>& work);

  Session& main_;
  std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace epubreader
