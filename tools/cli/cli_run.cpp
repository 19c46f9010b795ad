#include "tools/cli/cli_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "console/core/operator_text.h"
#include "console/core/run_check.h"
#include "core/event_record.h"
#include "engine/download.h"
#include "loader/image_file.h"
#include "loader/image_transfer.h"
#include "ports/port_list.h"
#include "ports/port_publisher.h"
#include "serial/port_directory.h"
#include "serial/port_service.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_os.h"
#include "tools/cli/cli_report.h"
#include "tools/cli/cli_station.h"
#include "tools/cli/cli_window.h"
#include "tools/cli/progress_display.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The console's side of a headless run: prints what the window would show.
class CliWindow : public EngineWindow {
  public:
    CliWindow(ProgressDisplay* display, std::vector<ChannelReport>* channels, bool dmbSelected,
              const std::atomic<bool>* stop)
        : m_display(display), m_channels(channels), m_dmbSelected(dmbSelected), m_stop(stop) {}

    int OnEngineMessage(int /*message*/, int code, const void* record) override {
        const auto now = Clock::now();
        EngineEventRecord event;
        if (!ENGINE_EVENT_Read(code, record, &event)) return 0;
        switch (code) {
            case EV_PROGRESS: {
                const ImageEntry* e = event.entry;
                if (ChannelReport* ch = Channel(e->channel)) {
                    ImageReport* img = ch->Image(e->slot);
                    if (img != nullptr) {
                        img->doneBytes = e->doneBytes;
                        img->ackedBytes = e->ackedBytes;
                        img->totalBytes = e->totalBytes;
                        img->seconds = Seconds(ch->imageStart, now);
                        img->reached = true;
                    }
                    if (e->doneBytes == e->totalBytes) ch->imageStart = now;
                }
                m_display->SetBar(e->channel,
                                  OPERATOR_ProgressText(e->slot, e->doneBytes, e->totalBytes),
                                  e->doneBytes, e->totalBytes);
                break;
            }
            case EV_CHANNEL_DONE: {
                const int c = event.channel;
                if (ChannelReport* ch = Channel(c)) ch->done = true;
                m_display->Line(OPERATOR_ChannelDoneLine(c, m_dmbSelected));
                if (m_dmbSelected) m_display->SetBar(c, OPERATOR_DmbWritingBar, 0, 100);
                break;
            }
            case EV_TEXT:
                m_display->Line(event.text);
                break;
            case EV_CHANNEL_TEXT: {
                const std::string text = event.text;
                const int c = event.channel;
                if (text.empty()) break;
                if (ChannelReport* ch = Channel(c)) {
                    if (event.fact == FACT_STARTED) ch->start = ch->imageStart = now;
                    if (event.fact == FACT_FAILED) ch->error = text;
                    ch->lastText = text;
                    ch->end = now;
                }
                m_display->Line("CH" + std::to_string(c) + ": " + text);
                if (c == 0) m_display->Line(OPERATOR_StatusLogLine(event));
                m_display->SetBar(c, text, 0, 100);
                break;
            }
            default:
                break;
        }
        return 0;
    }

    // A stop as the window's close makes, but the window stays registered until the run
    // ends: every worker's failure texts and last progress still reach the report.
    void PumpHostEvents() override {
        if (*m_stop && !m_stopped) {
            m_stopped = true;
            m_display->Line("interrupted: stopping every channel");
            for (int c = 0; c < CHANNEL_COUNT; ++c) DOWNLOAD_StopChannel(c);
        }
        m_display->Refresh();
    }

    bool Stopped() const { return m_stopped; }

  private:
    ChannelReport* Channel(int c) {
        return c >= 0 && c < static_cast<int>(m_channels->size()) ? &(*m_channels)[c] : nullptr;
    }

    ProgressDisplay* m_display;
    std::vector<ChannelReport>* m_channels;
    bool m_dmbSelected;
    const std::atomic<bool>* m_stop;
    bool m_stopped = false;
};

// Waits for `count` ports as the Auto box takes them: those present first, in COM order,
// then each new arrival; each fills the lowest free channel.
bool WaitForPorts(int count, double timeoutS, int ports[CHANNEL_COUNT], ProgressDisplay* display) {
    std::vector<int> taken;
    const auto deadline = Clock::now() + std::chrono::duration<double>(timeoutS);
    for (;;) {
        for (int n : CLI_OS_ListPorts()) {
            if (static_cast<int>(taken.size()) >= count) break;
            if (std::find(taken.begin(), taken.end(), n) != taken.end()) continue;
            ports[taken.size()] = n;
            taken.push_back(n);
            display->Line(OPERATOR_DetectLine(n));
        }
        if (static_cast<int>(taken.size()) >= count) return true;
        if (Clock::now() >= deadline || g_interrupted) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Makes the port directory ready and publishes udev's serial devices in it for as long as
// *publisher lives, so that adapters nobody linked by hand are ports too. False when the
// directory cannot be used (the message is printed). *why says why nothing is published.
bool PreparePorts(const char* settingsPath, PortPublisher* publisher, std::string* why) {
    std::string error;
    std::string warning;
    const std::string dir = PORT_DIRECTORY_Path();
    if (!PORT_DIRECTORY_Ensure(dir, &error, &warning)) {
        std::fprintf(stderr, "kovirw-cli: %s\n", error.c_str());
        return false;
    }
    if (!warning.empty()) std::fprintf(stderr, "kovirw-cli: warning: %s\n", warning.c_str());
    why->clear();
    publisher->Start(
        settingsPath, dir,
        [](const std::string& text) { std::fprintf(stderr, "kovirw-cli: %s\n", text.c_str()); },
        why);
    return true;
}

// --list-ports: what a station started now would find, and who made each port known.
int ListPorts(const char* settingsPath) {
    PortPublisher publisher;
    std::string why;
    if (!PreparePorts(settingsPath, &publisher, &why)) return 2;
    if (!why.empty()) std::printf("note: %s\n", why.c_str());
    const std::vector<PortListing> ports = PORTS_List(
        PORT_DIRECTORY_Path(), [&publisher](int com) { return publisher.Publishes(com); });
    std::printf("%zu port%s in %s\n", ports.size(), ports.size() == 1 ? "" : "s",
                CLI_OS_PortSource().c_str());
    for (const PortListing& port : ports) std::printf("%s\n", PORTS_ListingText(port).c_str());
    return 0;
}

}  // namespace

std::unique_ptr<EngineWindow> CLI_NewWindow(ProgressDisplay* display,
                                            std::vector<ChannelReport>* channels, bool dmbSelected,
                                            const std::atomic<bool>* stop) {
    return std::make_unique<CliWindow>(display, channels, dmbSelected, stop);
}

// Adds the bytes the transfer sends to the digest of their channel's image. Runs on the
// worker, which also counts the acknowledgements: marks before the one of the bytes
// acknowledged so far are never needed again.
void CLI_AddImageBytes(void* context, int channel, int slot, const uint8_t* bytes, int count) {
    auto* channels = static_cast<std::vector<ChannelReport>*>(context);
    ImageReport* img = (*channels)[static_cast<size_t>(channel)].Image(slot);
    if (img == nullptr) return;
    DigestMark mark = img->marks.back();
    mark.bytes += count;
    mark.digest.Update(bytes, static_cast<size_t>(count));
    img->marks.push_back(mark);
    const long long acked = g_ImageTable[channel][slot].ackedBytes;
    size_t keep = 0;
    while (keep + 1 < img->marks.size() && img->marks[keep + 1].bytes <= acked) ++keep;
    img->marks.erase(img->marks.begin(), img->marks.begin() + static_cast<long>(keep));
}

void CLI_TakeAcknowledged(ChannelReport* channel) {
    for (ImageReport& img : channel->images)
        if (img.reached) img.ackedBytes = g_ImageTable[channel->channel][img.slot].ackedBytes;
}

std::vector<ImageReport> CLI_SelectedImages(const SlotChoice choices[OPERATOR_SLOT_COUNT]) {
    std::vector<ImageReport> images;
    for (int s = 0; s < OPERATOR_SLOT_COUNT; ++s) {
        if (!choices[s].checked) continue;
        ImageReport img;
        img.slot = s;
        img.path = choices[s].file;
        img.address = choices[s].address;
        int64_t size = 0;  // opened for its size only; the transfer reads it
        if (ImageFileHandle().Open(img.path.c_str(), &size)) img.size = size;
        images.push_back(img);
    }
    return images;
}

int CLI_Main(int argc, char** argv) {
    const bool liveConsole = CLI_OS_SetupConsole();  // before any text: some are Korean
    std::vector<std::string> args = CLI_OS_Arguments(argc, argv);
    CLI_OS_CatchStop(&g_interrupted);
    CliOptions options;
    std::string error;
    if (!CLI_ParseOptions(args, &options, &error)) {
        std::fprintf(stderr, "kovirw-cli: %s\n%s", error.c_str(), CLI_Usage());
        return 2;
    }
    if (options.help) {
        std::fputs(CLI_Usage(), stdout);
        return 0;
    }

    // The start-up of the desktop program: settings and profile from the current directory.
    CONFIG_InitStartDir();
    CONFIG_Load(options.profile.empty() ? nullptr : options.profile.c_str());
    g_Profile.changeBootArea = options.changeBootArea ? 1 : 0;

    // The report replaces its file and the station's log grows its own: the settings, the
    // profile and the profile's images (selected or not) are never written by the run (only
    // the port publisher adds a new USB port's number to section PORTS).
    char settingsPath[CONFIG_MAX_PATH + 1];
    CONFIG_SettingsPath(settingsPath);
    if (options.listPorts) return ListPorts(settingsPath);
    std::vector<const char*> keptFiles = {settingsPath, g_szProfilePath};
    for (const ProfileSlot& slot : g_Profile.slot) keptFiles.push_back(slot.file);
    for (const char* kept : keptFiles) {
        if (!options.report.empty() && kept[0] != '\0' && CLI_OS_SameFile(options.report, kept)) {
            std::fprintf(stderr, "kovirw-cli: the report %s would replace %s: give another file\n",
                         options.report.c_str(), kept);
            return 2;
        }
        if (!options.log.empty() && kept[0] != '\0' && CLI_OS_SameFile(options.log, kept)) {
            std::fprintf(stderr,
                         "kovirw-cli: the log %s would be written into %s: give another "
                         "file\n",
                         options.log.c_str(), kept);
            return 2;
        }
    }

    SlotChoice choices[OPERATOR_SLOT_COUNT];
    for (int s = 0; s < OPERATOR_SLOT_COUNT; ++s) {
        choices[s].checked = g_Profile.slot[s].check != 0;
        choices[s].file = g_Profile.slot[s].file;
        choices[s].address = g_Profile.slot[s].address;
    }
    choices[0].address = options.changeBootArea ? MSM_CODE_ADDRESS_BOOT_AREA : MSM_CODE_ADDRESS;
    const RunRefusal refusal = CONSOLE_CheckRun(choices);
    if (!refusal.message.empty()) {
        std::fprintf(stderr, "%s%s\n", refusal.setting ? "kovirw-cli: " : "",
                     refusal.message.c_str());
        return 2;
    }

    PortPublisher publisher;  // withdraws what it published when the program ends
    std::string why;
    if (!PreparePorts(settingsPath, &publisher, &why)) return 2;
    ProgressDisplay display(options.progress && liveConsole);
    if (options.station) return STATION_Run(options, choices, &display, &g_interrupted);
    display.Line(OPERATOR_LogStart);

    int ports[CHANNEL_COUNT] = {};
    if (options.portsGiven) {
        std::copy(options.ports, options.ports + CHANNEL_COUNT, ports);
    } else if (g_nAutoDetect == 0) {
        std::copy(g_nSavedPort, g_nSavedPort + CHANNEL_COUNT, ports);
    } else if (options.autoCount > 0) {
        if (!WaitForPorts(options.autoCount, options.autoTimeoutS, ports, &display) &&
            !g_interrupted) {
            std::fprintf(stderr, "kovirw-cli: fewer than %d ports arrived in %s\n",
                         options.autoCount, CLI_OS_PortSource().c_str());
            return 2;
        }
    } else {
        std::fprintf(stderr,
                     "kovirw-cli: automatic port detection is on (AUTODETECT=1): give --auto "
                     "COUNT or --port CH=N\n");
        return 2;
    }
    if (g_interrupted) {
        std::fprintf(stderr, "kovirw-cli: interrupted before the run; no terminal was touched\n");
        return 1;
    }
    if (std::all_of(ports, ports + CHANNEL_COUNT, [](int port) { return port == 0; })) {
        std::fprintf(stderr,
                     "kovirw-cli: no channel has a port: give --port CH=N or --auto COUNT, or "
                     "set CH<n>_PORT in %s\n",
                     settingsPath);
        return 2;
    }

    std::vector<ChannelReport> channels(CHANNEL_COUNT);
    const std::vector<ImageReport> images = CLI_SelectedImages(choices);
    for (int c = 0; c < CHANNEL_COUNT; ++c) channels[c].images = images;
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        channels[c].channel = c;
        channels[c].port = ports[c];
        if (ports[c] != 0) channels[c].device = CLI_OS_DevicePath(ports[c]);
        display.AddChannel(c, ports[c]);
    }

    CliWindow window(&display, &channels, choices[SLOT_ASIC_DMB].checked, &g_interrupted);
    IMAGE_TRANSFER_SetReadHook(CLI_AddImageBytes, &channels);
    const auto runStart = Clock::now();
    DOWNLOAD_Start(&window, WM_ENGINE_EVENT, ports, g_nBaudRate);
    DOWNLOAD_Run();
    for (ChannelReport& ch : channels) CLI_TakeAcknowledged(&ch);
    DOWNLOAD_Stop();
    const auto runEnd = Clock::now();
    IMAGE_TRANSFER_SetReadHook(nullptr, nullptr);
    display.Finish();

    int status = 0;
    int active = 0, done = 0;
    for (ChannelReport& ch : channels) {
        if (ch.port == 0) continue;
        ++active;
        ch.totalSeconds = Seconds(ch.start == Clock::time_point{} ? runStart : ch.start, ch.end);
        if (ch.done) {
            ++done;
            continue;
        }
        status = 1;
        ch.stopped = window.Stopped();
        ch.unplugged = SERIAL_PORT_Gone(ch.channel);
        if (ch.error.empty()) ch.error = ch.lastText.empty() ? "not finished" : ch.lastText;
        if (ch.stopped) std::printf("CH%d: stopped\n", ch.channel);
    }
    std::printf("%d of %d channels done in %.1f s\n", done, active, Seconds(runStart, runEnd));
    if (!options.report.empty() && !REPORT_Write(options.report, channels, &error)) {
        std::fprintf(stderr, "kovirw-cli: cannot write the report: %s\n", error.c_str());
        if (status == 0) status = 1;
    }
    return status;
}
