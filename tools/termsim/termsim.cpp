#include "tools/termsim/termsim.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "serial/port_directory.h"
#include "tools/termsim/terminal.h"

namespace termsim {
namespace {

constexpr long kMaxBaud = 100000000;

bool CheckOptions(const Options& o, std::string* error) {
    if (o.count < 1 || o.count > kMaxTerminals) {
        *error = "the count of terminals must be 1 to " + std::to_string(kMaxTerminals);
    } else if (o.firstCom < 1 || o.firstCom > PORT_COM_MAX - o.count + 1) {
        *error = "the first COM number must be 1 or more, and the last at most " +
                 std::to_string(PORT_COM_MAX);
    } else if (o.baud < 0 || o.baud > kMaxBaud) {
        *error = "the baud rate must be 0 (no pacing) to " + std::to_string(kMaxBaud);
    } else if (!o.device.empty() && (o.count != 1 || o.baud == 0)) {
        *error = "a serial device serves one terminal (count 1) at a baud rate given with it";
    } else {
        for (const FaultSpec& f : o.faults) {
            if (f.terminal >= o.count) {
                *error = "a fault names terminal " + std::to_string(f.terminal) +
                         " but there are only " + std::to_string(o.count) + " (indexes from 0)";
                return false;
            }
        }
        return true;
    }
    return false;
}

}  // namespace

Simulator::Simulator() = default;

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(const Options& options, std::string* error) {
    Stop();
    m_terminals.clear();
    if (!CheckOptions(options, error)) return false;

    const std::string portDir = options.portDir.empty() ? PORT_DIRECTORY_Path() : options.portDir;
    std::string warning;
    if (!PORT_DIRECTORY_Ensure(portDir, error, &warning)) return false;
    if (!warning.empty()) std::fprintf(stderr, "termsim: warning: %s\n", warning.c_str());
    if (pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        *error = "cannot make the stop pipe";
        return false;
    }
    for (int i = 0; i < options.count; ++i) {
        TerminalConfig config;
        config.index = i;
        config.com = options.firstCom + i;
        if (options.device.empty())
            config.entryPath = PORT_DIRECTORY_EntryPath(portDir, config.com);
        if (!options.flashDir.empty())
            config.outputDir = options.flashDir + "/COM" + std::to_string(config.com);
        config.baud = options.device.empty() ? options.baud : 0;
        config.device = options.device;
        config.deviceBaud = options.baud;
        config.seed = options.seed;
        config.faults = FaultsForTerminal(options.faults, i);
        m_terminals.push_back(std::make_unique<Terminal>(std::move(config)));
        if (!m_terminals.back()->Open(error)) {
            m_terminals.clear();  // closes and unpublishes those already open
            close(m_stopPipe[0]);
            close(m_stopPipe[1]);
            m_stopPipe[0] = m_stopPipe[1] = -1;
            return false;
        }
    }
    for (auto& t : m_terminals) t->Start(m_stopPipe[0]);
    m_running = true;
    return true;
}

void Simulator::Stop() {
    if (!m_running) return;
    // The pipe stays readable once written, so one byte wakes every terminal.
    const char byte = 0;
    while (write(m_stopPipe[1], &byte, 1) < 0 && errno == EINTR) {
    }
    for (auto& t : m_terminals) t->Join();
    for (auto& t : m_terminals) t->Close();
    close(m_stopPipe[0]);
    close(m_stopPipe[1]);
    m_stopPipe[0] = m_stopPipe[1] = -1;
    m_running = false;
}

int Simulator::ComNumber(int i) const { return m_terminals.at(i)->Com(); }
std::string Simulator::EntryPath(int i) const { return m_terminals.at(i)->EntryPath(); }
std::string Simulator::SlavePath(int i) const { return m_terminals.at(i)->SlavePath(); }
TerminalCounters Simulator::Counters(int i) const { return m_terminals.at(i)->Counters(); }
uint64_t Simulator::SessionCount(int i) const { return m_terminals.at(i)->Sessions(); }

bool Simulator::WaitForSessions(int i, uint64_t count, std::chrono::milliseconds timeout) const {
    return m_terminals.at(i)->WaitSessions(count, timeout);
}

std::vector<FlashRange> Simulator::LastFlash(int i) const { return m_terminals.at(i)->LastFlash(); }
std::vector<FlashRange> Simulator::CurrentFlash(int i) const {
    return m_terminals.at(i)->CurrentFlash();
}
std::vector<std::string> Simulator::LastErrors(int i) const {
    return m_terminals.at(i)->LastErrors();
}

std::string Simulator::Summary() const {
    std::string text;
    for (const auto& t : m_terminals) {
        const TerminalCounters c = t->Counters();
        text += "COM" + std::to_string(t->Com()) + ": packets " + std::to_string(c.packets) +
                ", answers " + std::to_string(c.answers) + ", bad FCS " + std::to_string(c.badFcs) +
                ", sessions " + std::to_string(c.sessions) + ", protocol errors " +
                std::to_string(c.protocolErrors);
        if (c.answersLost > 0) text += ", answers lost " + std::to_string(c.answersLost);
        if (c.overlongFrames > 0) text += ", overlong frames " + std::to_string(c.overlongFrames);
        if (c.outputErrors > 0) text += ", results not written " + std::to_string(c.outputErrors);
        std::string faults;
        for (int k = 0; k < kFaultKindCount; ++k) {
            if (c.faults[k] == 0) continue;
            faults += (faults.empty() ? "" : ", ") +
                      std::string(FaultKindName(static_cast<FaultKind>(k))) + " " +
                      std::to_string(c.faults[k]);
        }
        text += "; faults: " + (faults.empty() ? std::string("none") : faults) + "\n";
    }
    return text;
}

}  // namespace termsim
