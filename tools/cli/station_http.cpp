#include "tools/cli/station_http.h"

// Limits compiled into the HTTP library: the longest request line and header line, the
// system's queue of connections not yet accepted.
#define CPPHTTPLIB_REQUEST_URI_MAX_LENGTH 1024
#define CPPHTTPLIB_HEADER_MAX_LENGTH 4096
#define CPPHTTPLIB_LISTEN_BACKLOG 16
#include <httplib.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/cli/http_guard.h"
#include "tools/cli/station_status.h"

extern const char STATION_Page[];  // station_page.cpp

namespace {

constexpr int kWorkers = 4;     // connections served at once
constexpr size_t kWaiting = 8;  // accepted connections waiting for a worker
constexpr auto kMaxAge = std::chrono::seconds(3);
constexpr unsigned long long kMaxReceived = 64 * 1024;
constexpr auto kWatchPeriod = std::chrono::milliseconds(50);

// The server's threads: kWorkers serve the accepted connections in turn; when kWaiting wait,
// the accepting thread waits too and the system's listen queue takes the rest. One more
// thread watches the open connections with an HttpGuard, and at shutdown cuts every one
// still open, so that stopping never waits for a slow client.
class GuardedPool : public httplib::TaskQueue {
  public:
    explicit GuardedPool(int port) : m_guard(port) {
        for (int i = 0; i < kWorkers; ++i) m_workers.emplace_back([this] { Work(); });
        m_watcher = std::thread([this] { Watch(); });
    }

    ~GuardedPool() override { shutdown(); }

    void enqueue(std::function<void()> fn) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_room.wait(lock, [this] { return m_jobs.size() < kWaiting || m_shutdown; });
        m_jobs.push_back(std::move(fn));
        ++m_open;
        m_work.notify_one();
        m_watch.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_shutdown && m_workers.empty()) return;
            m_shutdown = true;
        }
        m_work.notify_all();
        m_watch.notify_all();
        for (std::thread& t : m_workers) t.join();  // each ends once the waiting jobs ran
        m_workers.clear();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_watcherEnd = true;
        }
        m_watch.notify_all();
        m_watcher.join();
    }

  private:
    void Work() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_work.wait(lock, [this] { return !m_jobs.empty() || m_shutdown; });
                if (m_jobs.empty()) return;
                fn = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            m_room.notify_one();
            fn();  // serves the connection and closes it
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_open;
        }
    }

    void Watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_watcherEnd) {
            m_watch.wait(lock, [this] { return m_open > 0 || m_shutdown || m_watcherEnd; });
            const bool all = m_shutdown;
            lock.unlock();
            m_guard.Cut(all ? std::chrono::steady_clock::duration::zero() : kMaxAge,
                        all ? 0 : kMaxReceived);
            lock.lock();
            m_watch.wait_for(lock, kWatchPeriod, [this] { return m_watcherEnd; });
        }
    }

    HttpGuard m_guard;  // used by the watcher only
    std::mutex m_mutex;
    std::condition_variable m_work, m_room, m_watch;
    std::deque<std::function<void()>> m_jobs;
    int m_open = 0;  // connections waiting or being served
    bool m_shutdown = false;
    bool m_watcherEnd = false;
    std::vector<std::thread> m_workers;
    std::thread m_watcher;
};

void Reply(httplib::Response& res, const std::string& body, const char* type) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(body, type);
}

}  // namespace

struct StationHttp::Server {
    httplib::Server http;
    std::thread thread;
    std::string url;
};

StationHttp::StationHttp() = default;
StationHttp::~StationHttp() { Stop(); }

bool StationHttp::Start(const std::string& host, int port, const StationStatus* status,
                        std::string* error) {
    auto server = std::make_unique<Server>();
    httplib::Server& http = server->http;
    http.set_read_timeout(1, 0);  // a real client sends its request at once
    http.set_write_timeout(2, 0);
    http.set_keep_alive_max_count(1);
    http.set_payload_max_length(0);
    // In place of the library's own options, which let a second server share the port.
    http.set_socket_options([](socket_t sock) { HTTP_ListenAlone(static_cast<uintptr_t>(sock)); });
    http.Get("/", [](const httplib::Request&, httplib::Response& res) {
        Reply(res, STATION_Page, "text/html; charset=utf-8");
        // The page's own script and style, and requests to this server only.
        res.set_header("Content-Security-Policy",
                       "default-src 'none'; script-src 'unsafe-inline'; "
                       "style-src 'unsafe-inline'; connect-src 'self'; img-src 'self'");
    });
    http.Get("/status.json", [status](const httplib::Request&, httplib::Response& res) {
        Reply(res, status->Json(), "application/json; charset=utf-8");
    });
    http.Get("/metrics", [status](const httplib::Request&, httplib::Response& res) {
        Reply(res, status->Metrics(), "text/plain; version=0.0.4; charset=utf-8");
    });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        Reply(res,
              std::to_string(res.status) + " " + httplib::detail::status_message(res.status) + "\n",
              "text/plain; charset=utf-8");
    });
    errno = 0;
    const int bound = port == 0                       ? http.bind_to_any_port(host)
                      : http.bind_to_port(host, port) ? port
                                                      : -1;
    const std::string where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) +
                              ":" + std::to_string(bound > 0 ? bound : port);
    if (bound <= 0) {
        *error = "cannot serve the status page on " + where + ": " +
                 (errno != 0 ? std::strerror(errno)
                             : "the address is in use, not one of this machine's, or not allowed");
        return false;
    }
    http.new_task_queue = [bound] { return new GuardedPool(bound); };
    server->url = "http://" + where + "/";
    server->thread = std::thread([&http] { http.listen_after_bind(); });
    m_server = std::move(server);
    return true;
}

std::string StationHttp::Url() const { return m_server ? m_server->url : ""; }

void StationHttp::Stop() {
    if (!m_server) return;
    m_server->http.stop();
    m_server->thread.join();
    m_server.reset();
}
