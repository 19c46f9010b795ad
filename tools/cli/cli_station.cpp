#include "tools/cli/cli_station.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/download.h"
#include "loader/image_transfer.h"
#include "serial/port_directory.h"
#include "serial/port_service.h"
#include "tools/cli/cli_os.h"
#include "tools/cli/cli_window.h"
#include "tools/cli/port_presence.h"
#include "tools/cli/station_http.h"
#include "tools/cli/station_status.h"

namespace {

using Clock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;

constexpr auto kScanPeriod = std::chrono::milliseconds(50);
constexpr auto kPublishPeriod = std::chrono::milliseconds(250);

// UTC with milliseconds, such as 2026-12-07T05:01:02.123Z.
std::string UtcText(WallClock::time_point t) {
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    const std::tm* tm = std::gmtime(&seconds);  // main thread only
    if (tm == nullptr) return std::to_string(ms / 1000);
    char text[96];  // room for any int the fields may hold
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm->tm_year + 1900,
                  tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

// One channel of the station. A channel is free, busy with a terminal's download, or
// finished: its terminal is still plugged in and is not flashed again.
struct Slot {
    enum State { kFree, kBusy, kFinished };
    State state = kFree;
    int port = 0;
    bool unplugged = false;  // the port went away during the download
    WallClock::time_point wallStart;
    Clock::time_point start;
    int settleScan = -1;  // a failed download ends at this scan (see EndFinishedUnits)
};

class Station : public EngineWindow {
  public:
    Station(const CliOptions& options, const SlotChoice* choices, ProgressDisplay* display,
            const std::atomic<bool>* stop, intptr_t log, StationStatus* status)
        : m_options(options),
          m_choices(choices),
          m_display(display),
          m_stop(stop),
          m_log(log),
          m_status(status),
          m_units(CHANNEL_COUNT),
          m_window(CLI_NewWindow(display, &m_units, choices[SLOT_ASIC_DMB].checked, stop)) {
        for (int c = 0; c < CHANNEL_COUNT; ++c) {
            m_display->SetPort(c, 0);
            m_display->SetBar(c, "free", 0, 100);
        }
        UpdateTotals();
    }

    int OnEngineMessage(int message, int code, const void* record) override {
        return m_window->OnEngineMessage(message, code, record);
    }

    // Once per pass of the station's loop: ends the downloads whose workers have finished,
    // then takes the port list's changes (no new terminal once the station is finishing).
    void PumpHostEvents() override {
        m_window->PumpHostEvents();  // a stop request stops every channel here
        EndFinishedUnits();
        if (*m_stop) m_finish = true;
        if (!*m_stop && Clock::now() - m_lastScan >= kScanPeriod) Scan(!m_finish);
        UpdateTotals();
        Publish(false);
    }

    void Run() {
        LeavePresentPortsAlone();
        // Said once the ports present are known: a port that appears from here on arrives.
        m_display->Line("station: waiting for terminals on " + CLI_OS_PortSource() +
                        (m_options.portsGiven ? " (only the --port COM numbers)" : "") +
                        "; Ctrl+C ends");
        const int none[CHANNEL_COUNT] = {};
        IMAGE_TRANSFER_SetReadHook(CLI_AddImageBytes, &m_units);
        m_stationStart = Clock::now();
        const auto wallStart = WallClock::now();
        m_status->SetStart(UtcText(wallStart),
                           std::chrono::duration<double>(wallStart.time_since_epoch()).count());
        Publish(true);
        DOWNLOAD_Start(this, WM_ENGINE_EVENT, none, g_nBaudRate);
        DOWNLOAD_Serve(&m_finish);
        EndFinishedUnits(true);  // those whose worker ended after the last pass
        Publish(true);
        DOWNLOAD_Stop();
        IMAGE_TRANSFER_SetReadHook(nullptr, nullptr);
        m_display->SetFooter("");  // the totals follow once, below the bars left on the screen
        m_display->Finish();
        std::printf("%s\n", TotalsText().c_str());
    }

    bool AnyFailed() const { return m_failed > 0 || m_logFailed; }

  private:
    bool Belongs(int port) const {
        if (!m_options.portsGiven) return true;
        return std::find(m_options.ports, m_options.ports + CHANNEL_COUNT, port) !=
               m_options.ports + CHANNEL_COUNT;
    }

    // Without --port only ports that arrive are terminals: those present at the start (on a
    // PC, built-in, Bluetooth and modem ports among them) are left alone until they go away.
    // A port named with --port is meant, so one present at the start counts as arrived.
    void LeavePresentPortsAlone() {
        if (m_options.portsGiven) return;
        m_leftAlone = CLI_OS_ListPorts();
        for (int n : m_leftAlone)
            m_display->Line("station: COM" + std::to_string(n) +
                            " was there before the station started and is left alone (name it "
                            "with --port to flash it)");
    }

    // Whether the system lists the port now. Read afresh, not from the last scan: a port
    // withdrawn since must free its channel at once, or a terminal plugged back on the same
    // number could look as if it had never left.
    static bool Listed(int port) {
        const std::vector<int> listed = CLI_OS_ListPorts();
        return std::find(listed.begin(), listed.end(), port) != listed.end();
    }

    void Scan(bool takeArrivals) {
        m_lastScan = Clock::now();
        ++m_scans;
        std::vector<PortEntry> reading = PORT_DIRECTORY_Entries(PORT_DIRECTORY_Path());
        reading.erase(std::remove_if(reading.begin(), reading.end(),
                                     [this](const PortEntry& e) { return !Belongs(e.com); }),
                      reading.end());
        const std::vector<int> gone = m_presence.Take(reading);
        // A port left alone that went away (or leads to another device now) is a terminal
        // when it is seen again.
        m_leftAlone.erase(
            std::remove_if(
                m_leftAlone.begin(), m_leftAlone.end(),
                [&gone](int n) { return std::find(gone.begin(), gone.end(), n) != gone.end(); }),
            m_leftAlone.end());
        for (int c = 0; c < CHANNEL_COUNT; ++c) {
            Slot& slot = m_slots[c];
            if (slot.state == Slot::kFree ||
                std::find(gone.begin(), gone.end(), slot.port) == gone.end())
                continue;
            if (slot.state == Slot::kFinished) {
                m_display->Line(Name(c) + " unplugged, the channel is free");
                Free(c);
            } else if (!slot.unplugged) {
                // As the window does for a removed port: only this channel stops.
                slot.unplugged = true;
                m_display->Line(Name(c) + " removed during the download: stopping the channel");
                DOWNLOAD_StopChannel(c);
            }
        }
        if (!takeArrivals) return;
        for (const PortEntry& entry : reading) {  // only a port seen now takes a channel
            const int n = entry.com;
            const bool held = std::any_of(m_slots, m_slots + CHANNEL_COUNT, [n](const Slot& s) {
                return s.state != Slot::kFree && s.port == n;
            });
            if (held || std::find(m_leftAlone.begin(), m_leftAlone.end(), n) != m_leftAlone.end())
                continue;
            const Slot* free = std::find_if(m_slots, m_slots + CHANNEL_COUNT,
                                            [](const Slot& s) { return s.state == Slot::kFree; });
            if (free == m_slots + CHANNEL_COUNT) break;  // taken once a channel is free
            StartUnit(static_cast<int>(free - m_slots), n);
        }
    }

    void StartUnit(int c, int port) {
        ChannelReport& unit = m_units[c];
        unit = ChannelReport{};
        unit.channel = c;
        unit.port = port;
        unit.device = CLI_OS_DevicePath(port);
        unit.images = CLI_SelectedImages(m_choices);
        Slot& slot = m_slots[c];
        slot = Slot{Slot::kBusy, port, false, WallClock::now(), Clock::now()};
        m_display->Line(OPERATOR_DetectLine(port));
        m_display->SetPort(c, port);
        // A thread that cannot be made ends the channel at once; the next pass logs it.
        DOWNLOAD_StartChannel(c, port, g_nBaudRate);
    }

    // A terminal pulled out fails its download at once (its port's writes fail), before the
    // port list may show it gone: a failed download is taken for unplugged when its port
    // counts as gone within the next two scans. `now`: no waiting (the station ends).
    void EndFinishedUnits(bool now = false) {
        for (int c = 0; c < CHANNEL_COUNT; ++c) {
            Slot& slot = m_slots[c];
            if (slot.state != Slot::kBusy || g_nChannelPort[c] != 0) continue;
            ChannelReport& unit = m_units[c];
            const bool gone = SERIAL_PORT_Gone(c);
            if (!unit.done && !slot.unplugged && !gone && !now && !*m_stop) {
                if (slot.settleScan < 0) slot.settleScan = m_scans + 2;
                if (m_scans < slot.settleScan) continue;
            }
            CLI_TakeAcknowledged(&unit);
            // A device that went away is a terminal pulled out. While a system still lists its
            // port, the channel keeps it as a finished one (no download on a dead port); once
            // the port is gone, the channel is free for what arrives on that number next.
            if (gone && !Listed(slot.port)) slot.unplugged = true;
            const char* result = unit.done                ? "done"
                                 : slot.unplugged || gone ? "unplugged"
                                 : *m_stop                ? "stopped"
                                                          : "failed";
            // A pulled-out or stopped terminal ends on the engine's link failure text, which
            // would read as a line fault: say what happened instead.
            if (!unit.done && (slot.unplugged || gone || *m_stop))
                unit.error = slot.unplugged || gone ? "unplugged during the download"
                                                    : "stopped during the download";
            if (!unit.done && unit.error.empty())
                unit.error = unit.lastText.empty() ? "not finished" : unit.lastText;
            const double seconds = std::chrono::duration<double>(Clock::now() - slot.start).count();
            const std::string line = REPORT_UnitLine(unit, result, UtcText(slot.wallStart),
                                                     UtcText(WallClock::now()), seconds);
            // The web view first: whoever reads the log line finds the unit served as well.
            m_status->AddUnit(line, result, unit.port, seconds, SentBytes(unit));
            Log(line);
            m_views[c].last = result;
            m_views[c].lastError = unit.done ? "" : unit.error;
            m_views[c].lastSeconds = seconds;
            (unit.done ? m_done : m_failed) += 1;
            char took[32];
            std::snprintf(took, sizeof took, " in %.1f s", seconds);
            const std::string outcome =
                result + std::string(took) + (unit.done ? "" : ": " + unit.error);
            const std::string name = Name(c);  // before Free forgets the port
            m_display->SetNote(c, "last: " + outcome);
            if (slot.unplugged) {
                Free(c);
            } else {
                slot.state = Slot::kFinished;
                m_display->SetBar(c, "unplug the terminal", unit.done ? 100 : 0, 100);
            }
            UpdateTotals();
            m_display->Line(name + " " + outcome);
            m_display->Line(TotalsText());
            Publish(true);
        }
    }

    static long long SentBytes(const ChannelReport& unit) {
        long long sent = 0;
        for (const ImageReport& img : unit.images)
            if (img.reached) sent += img.doneBytes;
        return sent;
    }

    // The web view's copy of the channels: four times a second, and at once as a terminal
    // ends. The image in progress is the last one the engine has reached.
    void Publish(bool now) {
        if (!now && Clock::now() - m_lastPublish < kPublishPeriod) return;
        m_lastPublish = Clock::now();
        long long inProgress = 0;
        for (int c = 0; c < CHANNEL_COUNT; ++c) {
            const Slot& slot = m_slots[c];
            const ChannelReport& unit = m_units[c];
            ChannelView& view = m_views[c];
            view.port = slot.state == Slot::kFree ? 0 : slot.port;
            view.device = slot.state == Slot::kFree ? "" : unit.device;
            view.state = slot.state == Slot::kFree   ? "free"
                         : slot.state == Slot::kBusy ? "busy"
                                                     : "finished";
            view.text = slot.state == Slot::kFree ? "" : unit.lastText;
            view.slot = -1;
            view.doneBytes = view.totalBytes = 0;
            if (slot.state != Slot::kBusy) continue;
            inProgress += SentBytes(unit);
            for (const ImageReport& img : unit.images) {
                if (!img.reached) continue;
                view.slot = img.slot;
                view.doneBytes = img.doneBytes;
                view.totalBytes = img.totalBytes;
            }
        }
        m_status->SetChannels(m_views, inProgress);
        if (m_finish) m_status->SetEnding();
    }

    void Free(int c) {
        m_slots[c] = Slot{};
        m_display->SetPort(c, 0);
        m_display->SetBar(c, "free", 0, 100);
    }

    // One JSON object per terminal, appended and flushed as it ends. A log that fails takes
    // no further terminal: one not logged could not be traced.
    void Log(const std::string& line) {
        if (m_log < 0 || m_logFailed) return;
        std::string error;
        if (CLI_OS_Append(m_log, line + "\n", &error)) return;
        m_logFailed = true;
        m_finish = true;
        std::fprintf(stderr,
                     "kovirw-cli: cannot write the log %s: %s; the station takes no further "
                     "terminal and ends when the downloads in progress have ended\n",
                     m_options.log.c_str(), error.c_str());
    }

    std::string Name(int c) const {
        return "CH" + std::to_string(c) + " COM" + std::to_string(m_slots[c].port) + ":";
    }

    std::string TotalsText() const {
        const double hours =
            std::chrono::duration<double>(Clock::now() - m_stationStart).count() / 3600;
        char text[128];
        std::snprintf(text, sizeof text, "station: %d done, %d failed", m_done, m_failed);
        // A rate taken over the first minutes, before any terminal has ended, would be
        // thousands per hour or nothing: it is shown once a unit has ended.
        if (m_done + m_failed == 0 || hours <= 0) return text;
        char rate[64];
        std::snprintf(rate, sizeof rate, ", %.0f units per hour", m_done / hours);
        return text + std::string(rate);
    }

    void UpdateTotals() { m_display->SetFooter(TotalsText()); }

    const CliOptions& m_options;
    const SlotChoice* m_choices;
    ProgressDisplay* m_display;
    const std::atomic<bool>* m_stop;
    intptr_t m_log;
    StationStatus* m_status;
    ChannelView m_views[CHANNEL_COUNT];
    Clock::time_point m_lastPublish{};
    std::vector<ChannelReport> m_units;  // the terminal of each channel, as its events tell
    std::unique_ptr<EngineWindow> m_window;
    Slot m_slots[CHANNEL_COUNT];
    std::vector<int> m_leftAlone;  // ports present at the start that have not gone away since
    PortPresence m_presence;
    int m_scans = 0;
    bool m_finish = false;  // no further terminal; the loop ends once every download ended
    bool m_logFailed = false;
    int m_done = 0;
    int m_failed = 0;
    Clock::time_point m_lastScan{};
    Clock::time_point m_stationStart{};
};

}  // namespace

int STATION_Run(const CliOptions& options, const SlotChoice choices[OPERATOR_SLOT_COUNT],
                ProgressDisplay* display, const std::atomic<bool>* stop) {
    // The web view first: an address that cannot be served leaves no trace, not even a log.
    StationStatus status;
    StationHttp http;
    if (options.httpPort >= 0) {
        std::string error;
        if (!http.Start(options.httpHost, options.httpPort, &status, &error)) {
            std::fprintf(stderr, "kovirw-cli: %s; the station does not start\n", error.c_str());
            return 2;
        }
    }
    intptr_t log = -1;
    if (!options.log.empty()) {
        std::string error;
        long long dropped = 0;
        log = CLI_OS_OpenAppend(options.log, &error, &dropped);
        if (log < 0) {
            std::fprintf(stderr,
                         "kovirw-cli: cannot write the log %s; the station does not start\n",
                         error.c_str());
            return 2;
        }
        if (dropped > 0)
            std::fprintf(stderr,
                         "kovirw-cli: the log %s ended in a cut line (a crash or a full disk): "
                         "its %lld bytes were dropped\n",
                         options.log.c_str(), dropped);
    }
    display->Line(OPERATOR_LogStart);
    if (options.httpPort >= 0) display->Line("station: status page on " + http.Url());
    Station station(options, choices, display, stop, log, &status);
    station.Run();
    http.Stop();
    if (log >= 0) CLI_OS_CloseAppend(log);
    return station.AnyFailed() ? 1 : 0;
}
