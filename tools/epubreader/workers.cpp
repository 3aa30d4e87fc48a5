#include "workers.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace epubreader {

namespace {
constexpr long long kMostJobs = 64;
}  // namespace

unsigned jobsOption(const Arguments& args, Session& main) {
  long long jobs = std::max(1u, std::thread::hardware_concurrency());
  if (auto v = args.value("--jobs")) jobs = parseBounded("--jobs", *v, 1, kMostJobs);
  if (main.repeats() || main.book().name() == "(standard input)") return 1;
  return unsigned(std::min<long long>(jobs, std::max<size_t>(main.spine().size(), 1)));
}

struct Workers::Worker {
  std::unique_ptr<Session> session;
  std::vector<size_t> docs;  // the documents it laid out, in reading order
  // Damage met while laying out each document, and whether it was left out.
  std::vector<std::vector<std::string>> notes;
  std::vector<std::string> leftOut;
  std::exception_ptr failure;
};

Workers::Workers(const std::optional<std::string>& path, Session& main, unsigned jobs)
    : main_(main) {
#if defined(__GLIBC__)
  // Laying a document out allocates and frees megabytes at a time, on each
  // worker's heap. By default the C library hands the top of a heap back
  // to the kernel after each such free and takes it again, page fault by
  // page fault, for the next document: a tenth of the time of a search.
  // Heaps grown and kept in larger steps cost no more at the peak of a
  // whole book.
  mallopt(M_TOP_PAD, 8 << 20);
  mallopt(M_TRIM_THRESHOLD, 32 << 20);
#endif
  for (unsigned k = 0; k < jobs; ++k) workers_.push_back(std::make_unique<Worker>());
  // Opened at once: `main` has opened the book before them, and with it
  // the first archive, which sets the C library's time zone.
  run([&](Worker& w) {
    w.session = std::make_unique<Session>(path, main.layout(), true);
    w.session->countObjects = main.countObjects;
  });
}

Workers::~Workers() = default;

void Workers::run(const std::function<void(Worker&)>& work) {
  std::vector<std::thread> threads;
  for (auto& w : workers_)
    threads.emplace_back([&work, &w] {
      try {
        work(*w);
      } catch (...) {
        w->failure = std::current_exception();
      }
    });
  for (auto& t : threads) t.join();
  for (auto& w : workers_)
    if (w->failure) std::rethrow_exception(std::exchange(w->failure, nullptr));
}

int32_t Workers::layOut(const std::function<void(Session&, size_t)>& each) {
  Progress bar("loading");
  const uint32_t count = uint32_t(main_.spine().size());
  // Each worker takes the next document of the reading order when it is
  // done with one, so that none waits while another has long documents
  // left. Which worker lays a document out changes nothing it gives: every
  // layout is of one document alone, and the damage is told in reading
  // order below.
  std::atomic<uint32_t> next{0}, done{0};
  std::mutex barMutex;
  run([&](Worker& w) {
    Session& s = *w.session;
    w.docs.clear();
    w.notes.clear();
    w.leftOut.clear();
    for (size_t d; (d = next++) < count;) {
      const size_t k = w.docs.size();
      w.docs.push_back(d);
      w.notes.emplace_back();
      w.leftOut.emplace_back();
      const size_t before = s.book().damages().size();
      s.layOutAlone(d, [&] {
        if (each) each(s, d);
      });
      const auto& damages = s.book().damages();
      w.notes[k].assign(damages.begin() + long(before), damages.end());
      const SpineDoc& doc = s.spine()[d];
      if (doc.pages == 0 && !s.book().wasDamaged(doc.path))
        w.leftOut[k] = doc.path + (s.book().missing(doc.path)
                                       ? " is in the reading order but not in the archive: left out"
                                       : " could not be laid out by the renderer: left out");
      std::lock_guard lock(barMutex);
      bar.show(++done, count);
    }
  });
  bar.finish();
  // The warnings as one session laying the book out in order gives them:
  // what the documents' reading met, a resource once (for the first
  // document that needs it), then the documents left out.
  std::vector<SpineDoc> measured(main_.spine().size());
  std::vector<const std::vector<std::string>*> notes(measured.size());
  std::vector<const std::string*> leftOut(measured.size());
  for (auto& w : workers_)
    for (size_t k = 0; k < w->docs.size(); ++k) {
      measured[w->docs[k]] = w->session->spine()[w->docs[k]];
      notes[w->docs[k]] = &w->notes[k];
      leftOut[w->docs[k]] = &w->leftOut[k];
    }
  std::set<std::string> told;
  for (const auto* list : notes)
    for (const auto& what : *list)
      if (told.insert(what.substr(0, what.find(", needed by "))).second) main_.book().damage(what);
  for (const auto* what : leftOut)
    if (!what->empty()) main_.book().damage(*what);
  main_.adopt(measured);
  return main_.pages();
}

void Workers::forEachDocument(const std::function<void(Session&, size_t)>& work) {
  run([&](Worker& w) {
    for (size_t d : w.docs) work(*w.session, d);
  });
}

void Workers::forEachWorker(const std::function<void(Session&)>& work) {
  run([&](Worker& w) { work(*w.session); });
}

}  // namespace epubreader
