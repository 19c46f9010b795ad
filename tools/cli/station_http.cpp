#include "tools/cli/station_http.h"

// Limits compiled into the HTTP library: the longest request line and header line, the
// system's queue of connections not yet accepted.
#define CPPHTTPLIB_REQUEST_URI_MAX_LENGTH 1024
#define CPPHTTPLIB_HEADER_MAX_LENGTH 4096
#define CPPHTTPLIB_LISTEN_BACKLOG 16

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "tools/cli/http_socket.h"
#include "tools/cli/station_status.h"

#ifdef _WIN32
#include <winsock2.h>  // ::recv, before the library's own recv below
#else
#include <sys/socket.h>
#endif

namespace {

constexpr int kWorkers = 8;     // connections served at once
constexpr size_t kWaiting = 8;  // accepted connections waiting for a worker
constexpr auto kMaxAge = std::chrono::seconds(3);
constexpr long long kMaxReceived = 64 * 1024;

using Clock = std::chrono::steady_clock;

// The connection a server thread serves: when it was accepted and what it has received.
struct Connection {
    Clock::time_point accepted;
    long long received = 0;
};
thread_local Connection t_connection;
std::atomic<bool> g_closing{false};  // the server stops: every read ends at once

}  // namespace

// cpp-httplib 0.11.4 bounds each read by a time-out and each header line by its length, but
// not the number of header lines nor a whole request's time: a client that trickles its
// request (slow-loris) or sends header lines without end would hold a thread for hours or
// grow its memory without bound. Every byte the library reads comes through an unqualified
// recv() in its namespace httplib::detail, so this recv, declared there before the library,
// is the one it calls: past kMaxAge from the connection's acceptance or kMaxReceived bytes,
// it reports the end of the connection, as a client that hung up.
namespace httplib {
namespace detail {
template <typename Socket, typename Buffer, typename Size>
auto recv(Socket sock, Buffer* buffer, Size size, int flags)
    -> decltype(::recv(sock, buffer, size, flags)) {
    Connection& c = t_connection;
    if (g_closing || Clock::now() - c.accepted > kMaxAge || c.received > kMaxReceived) return 0;
    const auto n = ::recv(sock, buffer, size, flags);
    if (n > 0) c.received += n;
    return n;
}
}  // namespace detail
}  // namespace httplib

#include <httplib.h>

extern const char STATION_Page[];  // station_page.cpp

namespace {

// The server's threads: kWorkers serve the accepted connections in turn, each from the time
// it was accepted (see recv above); when kWaiting wait, the accepting thread waits too and
// the system's listen queue takes the rest.
class BoundedPool : public httplib::TaskQueue {
  public:
    BoundedPool() {
        for (int i = 0; i < kWorkers; ++i) m_workers.emplace_back([this] { Work(); });
    }

    ~BoundedPool() override { shutdown(); }

    void enqueue(std::function<void()> fn) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_room.wait(lock, [this] { return m_jobs.size() < kWaiting || m_shutdown; });
        m_jobs.emplace_back(Clock::now(), std::move(fn));
        m_work.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_shutdown = true;
        }
        m_work.notify_all();
        for (std::thread& t : m_workers) t.join();  // each ends once the waiting jobs ran
        m_workers.clear();
    }

  private:
    void Work() {
        for (;;) {
            std::pair<Clock::time_point, std::function<void()>> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_work.wait(lock, [this] { return !m_jobs.empty() || m_shutdown; });
                if (m_jobs.empty()) return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            m_room.notify_one();
            t_connection = Connection{job.first, 0};
            job.second();  // serves the connection and closes it
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work, m_room;
    std::deque<std::pair<Clock::time_point, std::function<void()>>> m_jobs;
    bool m_shutdown = false;
    std::vector<std::thread> m_workers;  // the accepting thread's only
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
    http.new_task_queue = [] { return new BoundedPool(); };
    server->url = "http://" + where + "/";
    g_closing = false;
    server->thread = std::thread([&http] { http.listen_after_bind(); });
    m_server = std::move(server);
    return true;
}

std::string StationHttp::Url() const { return m_server ? m_server->url : ""; }

void StationHttp::Stop() {
    if (!m_server) return;
    g_closing = true;
    m_server->http.stop();
    m_server->thread.join();
    m_server.reset();
}
