// The station's read-only web view: / (a live status page), /status.json and /metrics
// (Prometheus), served by cpp-httplib on threads of its own. The station's thread only
// publishes into a StationStatus; a request reads a copy of it and never waits for the
// station, nor the station for a request.
//
// Bounds, so that a slow or hostile client costs the station nothing: eight connections are
// served at once and eight more wait (beyond that the system's listen queue holds 16, and
// then refuses); a request line of 1 KiB, header lines of 4 KiB, no body; a read gives up
// after 1 s, a write after 2 s; one request per connection; a connection is cut after 3 s
// or 64 KiB received from its acceptance, whichever comes first.
#pragma once

#include <memory>
#include <string>

class StationStatus;

class StationHttp {
  public:
    StationHttp();
    ~StationHttp();

    // Binds host:port (port 0: a free one) and serves status from a thread of its own.
    // False with *error naming the address and the reason.
    bool Start(const std::string& host, int port, const StationStatus* status, std::string* error);

    // http://host:port/ as bound; empty before Start.
    std::string Url() const;

    // Stops serving and waits for the server's threads. Safe to call more than once.
    void Stop();

  private:
    struct Server;
    std::unique_ptr<Server> m_server;
};
