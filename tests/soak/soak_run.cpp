#include "tests/soak/soak_run.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/settings.h"
#include "tests/support/event_recorder.h"
#include "tests/support/sim_start.h"
#include "tests/support/test_files.h"
#include "tools/termsim/termsim.h"

namespace {

using Clock = std::chrono::steady_clock;

// Per channel at most two closes (channel stop, then the worker's own), each letting the
// output drain for up to 500 ms; and a second for starting and joining the threads and
// handing over the events.
constexpr double kRunOverheadMs = 2 * 500 + 1000;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string Describe(const SoakPlan& plan, int c) {
    const SoakChannel& ch = plan.channels[c];
    std::string text = "seed " + std::to_string(plan.seed) + " channel " + std::to_string(c);
    for (const std::string& f : ch.faults) text += " fault " + f;
    for (const SoakImage& image : ch.images) {
        text += " slot " + std::to_string(image.slot) + "/" + std::to_string(image.bytes.size());
    }
    if (ch.stopAtEvent > 0) text += " stopped at event " + std::to_string(ch.stopAtEvent);
    return text;
}

double BoundMs(const SoakPlan& plan) {
    const double slack = SOAK_SlackMs();
    double worst = 0;
    for (const SoakChannel& ch : plan.channels) {
        const SoakBound b = SOAK_ChannelBound(ch);
        const double ms = b.polls * (1 + slack) + b.writes * (g_nWriteDelay + slack);
        if (ms > worst) worst = ms;
    }
    return worst + kRunOverheadMs;
}

// The checks of one channel after the run.
void CheckChannel(const SoakPlan& plan, int c, const EventRecorder& events,
                  const termsim::Simulator& sim, SoakTally* tally,
                  std::vector<std::string>* failures) {
    const SoakChannel& ch = plan.channels[c];
    auto fail = [&](const std::string& what) {
        failures->push_back(Describe(plan, c) + ": " + what);
    };

    int done = 0;
    for (const RecordedEvent& e : events.events())
        if (e.code == EV_CHANNEL_DONE && e.channel == c) ++done;
    const std::vector<std::string> texts = events.Texts(c);
    // Front ends act on the facts, never on the words: each must say what its text says.
    for (const RecordedEvent& e : events.ForChannel(c)) {
        if (e.code != EV_CHANNEL_TEXT) continue;
        const std::string& t = e.text;
        const int fact = t == "Download Start"                           ? FACT_STARTED
                         : StartsWith(t, "ERR: ")                        ? FACT_FAILED
                         : t.find(" downloading..") != std::string::npos ? FACT_BLOCKS
                         : t.find("개 파일, ") != std::string::npos      ? FACT_SUMMARY
                                                                         : FACT_STATUS;
        if (e.fact != fact) fail("\"" + t + "\" tells fact " + std::to_string(e.fact));
        if (fact == FACT_SUMMARY &&
            (static_cast<size_t>(e.timeAt) > t.size() || t.compare(e.timeAt, 12, "소요시간") != 0))
            fail("the summary's time is not at byte " + std::to_string(e.timeAt) + ": " + t);
    }
    if (texts.empty() || texts.front() != "Download Start") fail("no \"Download Start\" first");
    const std::string last = texts.empty() ? "" : texts.back();
    tally->outcomes[done > 0 ? "done" : last] += 1;
    tally->channels += 1;
    if (done == 0) {
        if (!StartsWith(last, "ERR: ")) fail("failed without an ERR text, last: " + last);
        return;
    }
    if (done > 1) fail("EV_CHANNEL_DONE " + std::to_string(done) + " times");
    for (const std::string& t : texts)
        if (StartsWith(t, "ERR: ")) fail("done after " + t);
    const std::string summary = std::to_string(ch.images.size()) + "개 파일";
    if (!StartsWith(last, summary.c_str())) fail("done but the last text is " + last);

    const std::vector<termsim::FlashRange> flash = sim.CurrentFlash(c);
    if (flash.size() != ch.images.size()) {
        fail("done with " + std::to_string(flash.size()) + " flash ranges for " +
             std::to_string(ch.images.size()) + " images");
    }
    for (const SoakImage& image : ch.images) {
        const termsim::FlashRange* range = nullptr;
        for (const termsim::FlashRange& r : flash)
            if (r.address == image.address) range = &r;
        if (range == nullptr) {
            fail("done but slot " + std::to_string(image.slot) + " has no flash range");
        } else if (range->bytes != SOAK_ExpectedFlash(image)) {
            fail("done but slot " + std::to_string(image.slot) + " differs in flash");
        }
    }
}

}  // namespace

double SOAK_SlackMs() {
    const char* text = std::getenv("KOVIRW_SOAK_SLACK_MS");
    return text != nullptr && std::atof(text) > 0 ? std::atof(text) : 1.0;
}

std::string SoakTally::Report() const {
    std::string text =
        "soak: " + std::to_string(runs) + " runs, " + std::to_string(channels) + " channels\n";
    text += "faults injected:";
    for (int k = 0; k < termsim::kFaultKindCount; ++k) {
        text += std::string(" ") + termsim::FaultKindName(static_cast<termsim::FaultKind>(k)) +
                " " + std::to_string(faults[k]);
    }
    text += "\noutcomes:\n";
    for (const auto& [outcome, count] : outcomes)
        text += "  " + std::to_string(count) + "  " + outcome + "\n";
    char line[128];
    std::snprintf(line, sizeof line, "longest run %.1f s; largest share of its bound %.3f\n",
                  maxSeconds, maxShareOfBound);
    return text + line;
}

std::vector<std::string> SOAK_Run(const SoakPlan& plan, int firstCom, SoakTally* tally) {
    std::vector<std::string> failures;
    const ScratchDir dir;
    std::vector<std::string> faultTexts;
    for (const SoakChannel& ch : plan.channels)
        faultTexts.insert(faultTexts.end(), ch.faults.begin(), ch.faults.end());
    termsim::Simulator sim;
    std::string error;
    if (!sim.Start(SimOptions(CHANNEL_COUNT, firstCom, "", "", faultTexts, plan.seed), &error))
        return {"seed " + std::to_string(plan.seed) + ": " + error};

    DOWNLOAD_ClearImages();
    int ports[CHANNEL_COUNT] = {};
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        const SoakChannel& ch = plan.channels[c];
        ports[c] = ch.hasPort ? firstCom + c : firstCom + 2 * CHANNEL_COUNT + c;
        for (const SoakImage& image : ch.images) {
            const std::string path =
                dir.File("ch" + std::to_string(c) + "-slot" + std::to_string(image.slot));
            WriteText(path, std::string(image.bytes.begin(), image.bytes.end()));
            ImageEntry& entry = g_ImageTable[c][image.slot];
            entry.slot = image.slot;
            entry.address = image.address;
            std::snprintf(entry.path, sizeof entry.path, "%s", path.c_str());
        }
    }

    EventRecorder events;
    int seen[CHANNEL_COUNT] = {};
    events.onEvent = [&plan, &seen](const RecordedEvent& e) {
        if (e.channel < 0 || e.channel >= CHANNEL_COUNT) return;
        if (++seen[e.channel] == plan.channels[e.channel].stopAtEvent)
            DOWNLOAD_StopChannel(e.channel);
    };
    const auto start = Clock::now();
    RunDownload(events, ports, 1382400);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    sim.Stop();

    const double bound = BoundMs(plan);
    if (ms > bound) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "seed %llu: the run took %.0f ms, over its bound of %.0f ms",
                      static_cast<unsigned long long>(plan.seed), ms, bound);
        failures.push_back(text);
    }
    tally->runs += 1;
    tally->lastSeconds = ms / 1000;
    if (ms / 1000 > tally->maxSeconds) tally->maxSeconds = ms / 1000;
    if (ms / bound > tally->maxShareOfBound) tally->maxShareOfBound = ms / bound;
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        CheckChannel(plan, c, events, sim, tally, &failures);
        const termsim::TerminalCounters counters = sim.Counters(c);
        for (int k = 0; k < termsim::kFaultKindCount; ++k) tally->faults[k] += counters.faults[k];
    }
    return failures;
}
