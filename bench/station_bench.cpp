// station_bench: units per hour of kovirw-cli's station against its batch run, on the same
// line of terminals and the same operator.
//
//   station_bench [--quick] [--units N] [--size BYTES] [--swap S] [--baud B] [--seed S]
//                 [--cli PATH] [--json FILE]
//
// Eight slots, COM41 to COM48. One operator swaps terminals one at a time, each swap (pull
// the old terminal, plug the next) taking a fixed time. Every terminal gets the same profile
// (one image of the given size), so the terminals differ in how fast they take it: each one's
// line is paced so that its download lasts as long as an image 0.7 to 1.3 times the size
// would at the nominal rate (uniform, seeded; the same sequence in both modes).
//   station: kovirw-cli --station runs throughout; as its log reports a terminal ended, the
//            operator swaps it (finished terminals wait in the order they ended).
//   batch:   the operator swaps all eight, then runs kovirw-cli over them and waits for it.
// Units per hour count the units from the operator's first swap to the last unit's end.
// kovirw-cli runs as a child; the terminals are simulated in this process.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/termsim/termsim.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSlots = 8;
constexpr int kFirstCom = 41;
constexpr double kSpread = 0.3;

struct Options {
    int units = 48;
    long size = 1L << 20;
    double swapS = 1.5;
    long baud = 1382400;
    unsigned seed = 1;
    std::string cli = KOVIRW_CLI_PATH;
    std::string json;
};

struct Outcome {
    double seconds = 0;
    int done = 0;
    int failed = 0;
    std::string failures;  // what the failed units' lines say
    double UnitsPerHour() const { return seconds > 0 ? done * 3600.0 / seconds : 0; }
};

double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs args[0] with args in dir, its output to outPath. Returns the pid, or -1.
pid_t Spawn(const std::vector<std::string>& args, const std::string& dir,
            const std::string& outPath) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(dir.c_str()) != 0 || out < 0) _exit(127);
    dup2(out, 1);
    dup2(out, 2);
    execv(argv[0], argv.data());
    _exit(127);
}

class Bench {
  public:
    explicit Bench(const Options& o) : m_o(o) {
        std::mt19937 random(o.seed);
        std::uniform_real_distribution<double> factor(1 - kSpread, 1 + kSpread);
        for (int i = 0; i < o.units; ++i) m_factors.push_back(factor(random));
    }

    bool Prepare(std::string* error) {
        char templ[] = "/tmp/kovirw-station-bench-XXXXXX";
        if (mkdtemp(templ) == nullptr) {
            *error = "cannot make a work directory";
            return false;
        }
        m_dir = templ;
        m_ports = m_dir + "/ports";
        mkdir(m_ports.c_str(), 0700);
        setenv("KOVIRW_PORT_DIR", m_ports.c_str(), 1);
        std::string image(static_cast<size_t>(m_o.size), '\0');
        std::mt19937 random(m_o.seed);
        for (char& c : image) c = static_cast<char>(random());
        std::ofstream(m_dir + "/image.bin", std::ios::binary) << image;
        std::ofstream(m_dir + "/default.kvr", std::ios::binary)
            << "[KOVIR]\r\nCODECHECK=0\r\nFONTCHECK=1\r\nFONTFILE=" << m_dir
            << "/image.bin\r\nFONTADDRESS=1A00000\r\n";
        std::ofstream(m_dir + "/kovirw.ini", std::ios::binary)
            << "[KOVIR]\r\nAUTODETECT=0\r\nDELAY=2\r\nBAUDRATE=" << m_o.baud << "\r\n";
        return true;
    }

    ~Bench() {
        for (auto& slot : m_slot) slot.reset();
        if (!m_dir.empty()) std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    bool Station(Outcome* r, std::string* error) {
        Reset();
        const auto start = Clock::now();
        std::vector<std::string> args = {m_o.cli, "--station", "--no-progress", "--log",
                                         "station.jsonl"};
        for (int s = 0; s < kSlots; ++s) args.insert(args.end(), {"--port", PortArg(s)});
        const pid_t pid = Spawn(args, m_dir, m_dir + "/station.out");
        std::deque<int> waiting;  // slots for the operator, in the order they came free
        for (int s = 0; s < kSlots; ++s) waiting.push_back(s);
        int swapping = -1;
        Clock::time_point swapEnd;
        size_t logRead = 0;
        auto lastEnd = start;
        while (r->done + r->failed < m_o.units) {
            const std::string log = ReadAll(m_dir + "/station.jsonl");
            for (size_t eol; (eol = log.find('\n', logRead)) != std::string::npos;
                 logRead = eol + 1) {
                const std::string line = log.substr(logRead, eol - logRead);
                const bool done = line.find("\"result\":\"done\"") != std::string::npos;
                (done ? r->done : r->failed) += 1;
                if (!done) r->failures += line + "\n";
                lastEnd = Clock::now();
                const size_t at = line.find("\"port\":");
                if (at != std::string::npos && m_plugged < m_o.units)
                    waiting.push_back(std::atoi(line.c_str() + at + 7) - kFirstCom);
            }
            if (swapping < 0 && !waiting.empty() && m_plugged < m_o.units) {
                swapping = waiting.front();
                waiting.pop_front();
                m_slot[swapping].reset();  // pulled out at the start of the swap
                swapEnd = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(m_o.swapS));
            }
            if (swapping >= 0 && Clock::now() >= swapEnd) {
                if (!Plug(swapping, error)) break;
                swapping = -1;
            }
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                *error = "kovirw-cli --station ended early:\n" + ReadAll(m_dir + "/station.out");
                return false;
            }
            if (Since(start) > 60 + m_o.units * 30.0) {
                *error = "the station did not finish its units in time";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGINT);
        waitpid(pid, nullptr, 0);
        r->seconds = std::chrono::duration<double>(lastEnd - start).count();
        return error->empty();
    }

    bool Batch(Outcome* r, std::string* error) {
        Reset();
        const auto start = Clock::now();
        std::vector<std::string> args = {m_o.cli, "--no-progress", "--report", "batch.json"};
        for (int s = 0; s < kSlots; ++s) args.insert(args.end(), {"--port", PortArg(s)});
        while (m_plugged < m_o.units) {
            for (int s = 0; s < kSlots; ++s) {
                m_slot[s].reset();
                std::this_thread::sleep_for(std::chrono::duration<double>(m_o.swapS));
                if (!Plug(s, error)) return false;
            }
            const pid_t pid = Spawn(args, m_dir, m_dir + "/batch.out");
            int status = 0;
            waitpid(pid, &status, 0);
            std::istringstream report(ReadAll(m_dir + "/batch.json"));
            for (std::string line; std::getline(report, line);) {
                const bool done = line.find("\"result\":\"done\"") != std::string::npos;
                (done ? r->done : r->failed) += 1;
                if (!done) r->failures += line + "\n";
            }
        }
        r->seconds = Since(start);
        return true;
    }

  private:
    static std::string PortArg(int slot) {
        return std::to_string(slot) + "=" + std::to_string(kFirstCom + slot);
    }

    void Reset() {
        for (auto& slot : m_slot) slot.reset();
        m_plugged = 0;
        std::remove((m_dir + "/station.jsonl").c_str());
    }

    // The next terminal of the sequence into the slot, its line paced to its factor.
    bool Plug(int slot, std::string* error) {
        termsim::Options o;
        o.count = 1;
        o.firstCom = kFirstCom + slot;
        o.portDir = m_ports;
        o.baud = static_cast<long>(m_o.baud / m_factors[static_cast<size_t>(m_plugged)]);
        m_slot[slot] = std::make_unique<termsim::Simulator>();
        ++m_plugged;
        return m_slot[slot]->Start(o, error);
    }

    const Options& m_o;
    std::vector<double> m_factors;
    std::string m_dir;
    std::string m_ports;
    std::unique_ptr<termsim::Simulator> m_slot[kSlots];
    int m_plugged = 0;
};

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--quick") {
            o->units = 16;
            o->size = 512 * 1024;
            o->swapS = 0.75;
            continue;
        }
        if (v == nullptr) return false;
        ++i;
        if (a == "--units") {
            o->units = std::atoi(v);
        } else if (a == "--size") {
            o->size = std::atol(v);
        } else if (a == "--swap") {
            o->swapS = std::atof(v);
        } else if (a == "--baud") {
            o->baud = std::atol(v);
        } else if (a == "--seed") {
            o->seed = static_cast<unsigned>(std::atol(v));
        } else if (a == "--cli") {
            o->cli = v;
        } else if (a == "--json") {
            o->json = v;
        } else {
            return false;
        }
    }
    // The batch takes whole rounds of eight.
    o->units = (o->units + kSlots - 1) / kSlots * kSlots;
    return o->units > 0 && o->size > 0 && o->swapS >= 0 && o->baud >= 1200;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, &o)) {
        std::fputs(
            "usage: station_bench [--quick] [--units N] [--size BYTES] [--swap S] "
            "[--baud B] [--seed S] [--cli PATH] [--json FILE]\n",
            stderr);
        return 2;
    }
    std::printf(
        "station_bench: %d units, %ld-byte image at %ld baud, durations x0.7..x1.3, "
        "swap %.2f s, %d slots\n",
        o.units, o.size, o.baud, o.swapS, kSlots);
    std::fflush(stdout);
    Bench bench(o);
    std::string error;
    Outcome station, batch;
    if (!bench.Prepare(&error) || !bench.Station(&station, &error) ||
        !bench.Batch(&batch, &error)) {
        std::fprintf(stderr, "station_bench: %s\n", error.c_str());
        return 1;
    }
    for (const auto& [name, r] :
         {std::pair<const char*, Outcome>{"station", station}, {"batch", batch}})
        std::printf("%-8s %d done, %d failed in %.1f s: %.0f units per hour\n%s", name, r.done,
                    r.failed, r.seconds, r.UnitsPerHour(), r.failures.c_str());
    std::printf("gain: x%.2f\n", station.UnitsPerHour() / batch.UnitsPerHour());
    if (!o.json.empty()) {
        std::ofstream out(o.json);
        out << "{\"kind\":\"station\",\"slots\":" << kSlots << ",\"units\":" << o.units
            << ",\"imageBytes\":" << o.size << ",\"spread\":" << kSpread
            << ",\"swapSeconds\":" << o.swapS << ",\"baud\":" << o.baud;
        for (const auto& [name, r] :
             {std::pair<const char*, Outcome>{"station", station}, {"batch", batch}})
            out << ",\"" << name << "\":{\"seconds\":" << r.seconds << ",\"done\":" << r.done
                << ",\"failed\":" << r.failed << ",\"unitsPerHour\":" << r.UnitsPerHour() << "}";
        out << "}\n";
    }
    return station.failed + batch.failed == 0 ? 0 : 1;
}
