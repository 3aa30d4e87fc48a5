// serve: the web reader, a local HTTP server on cpp-httplib.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <thread>

#include "commands.h"
#include "library.h"
#include "serve_api.h"

namespace epubreader {

namespace {

// Ends the server on SIGINT or SIGTERM. The signals are blocked in every
// thread and taken here, so no handler runs inside the server's code.
class StopOnSignal {
 public:
  explicit StopOnSignal(httplib::Server& server) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    thread_ = std::thread([this, &server] {
      int signal = 0;
      sigwait(&signals_, &signal);
      if (!done_) server.stop();
    });
  }
  ~StopOnSignal() {
    done_ = true;
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
  }
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

 private:
  sigset_t signals_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace

int runServe(const Arguments& args) {
  const int port = int(parseBounded("--port", args.value("--port").value_or("8080"), 0, 65535));
  const std::string host = args.value("--host").value_or("127.0.0.1");
  if (host.empty()) throw UsageError{"--host needs an address"};
  Library library(bookArgument(args, 1));

  httplib::Server server;
  // Bounded requests: a small body (highlights travel as parameters), few
  // parameters, short waits for slow clients, a fixed pool of threads.
  server.set_payload_max_length(4096);
  server.set_read_timeout(5);
  server.set_write_timeout(10);
  server.set_keep_alive_max_count(100);
  server.set_keep_alive_timeout(2);
  server.new_task_queue = [] { return new httplib::ThreadPool(12); };
  addRoutes(server, library);

  StopOnSignal stopper(server);
  const int bound = port == 0                         ? server.bind_to_any_port(host)
                    : server.bind_to_port(host, port) ? port
                                                      : -1;
  if (bound < 0)
    throw Failure{"cannot listen on " + host + " port " + std::to_string(port) +
                  " (in use? try --port 0)"};
  const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  printUtf8("epubreader: serving " + library.description() + " at http://" + shown + ":" +
            std::to_string(bound) + "/\n");
  std::fflush(stdout);
  if (!server.listen_after_bind()) throw Failure{"the server stopped: " + host};
  return kDone;
}

}  // namespace epubreader
