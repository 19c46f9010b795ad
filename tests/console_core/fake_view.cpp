#include "fake_view.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "config/config_testing.h"

void FakeView::SetBarRange(int id, int lower, int upper) {
    controls[id].lower = lower;
    controls[id].upper = upper;
}

void FakeView::FillList(int id, const std::vector<std::string>& entries) {
    controls[id].entries = entries;
    controls[id].selection = -1;
}

void FakeView::ShowLog(const std::string& log, const std::string& appended) {
    // A window that only appends must end up showing the whole log.
    shownLog = appended.empty() ? log : shownLog + appended;
}

bool FakeView::AskYesNo(const std::string& text) {
    boxes.push_back("ask: " + text);
    const bool yes = !yesAnswers.empty() && yesAnswers.front();
    if (!yesAnswers.empty()) yesAnswers.pop_front();
    return yes;
}

std::string FakeView::ChooseFile(FileKind kind, const std::string& filter,
                                 const std::string& extension) {
    fileRequests.push_back({kind, filter, extension});
    if (fileAnswers.empty()) return std::string();
    std::string path = fileAnswers.front();
    fileAnswers.pop_front();
    return path;
}

int FakeView::OnEngineMessage(int message, int code, const void* record) {
    return message == WM_ENGINE_EVENT && core != nullptr ? core->OnEngineEvent(code, record) : 0;
}

void FakeView::PumpHostEvents() {
    if (duringRun) {
        auto once = std::move(duringRun);
        duringRun = nullptr;
        once();
    }
}

const FakeControl& FakeView::At(int id) const {
    const auto found = controls.find(id);
    if (found == controls.end()) throw std::logic_error("no control " + std::to_string(id));
    return found->second;
}

CoreSandbox::CoreSandbox() {
    char pattern[] = "/tmp/kovirw-core-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    m_dir = pattern;
    m_previousDir = std::filesystem::current_path().string();
    std::filesystem::current_path(m_dir);
    CONFIG_ResetForTest();
    // Every control of the template exists, as in a window.
    for (const int* ids : {kCheckId, kBrowseId, kAddressId, kImageBarId}) {
        for (int s = 0; s < kConsoleSlots; ++s) view[ids[s]];
    }
    for (const int* ids : {kPortListId, kChannelBarId}) {
        for (int c = 0; c < kConsoleChannels; ++c) view[ids[c]];
    }
    for (int id : {IDC_DOWNLOAD, IDC_PROFILE_PATH, IDC_LOAD, IDC_SAVE_AS, IDC_CHANGE_BOOT, IDC_AUTO,
                   IDC_LOG}) {
        view[id];
    }
}

CoreSandbox::~CoreSandbox() {
    m_core.reset();
    std::filesystem::current_path(m_previousDir);
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
    CONFIG_ResetForTest();
}

void CoreSandbox::Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
}

std::string CoreSandbox::Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ConsoleCore& CoreSandbox::Start() {
    if (m_core != nullptr) {
        m_core->StoreSettings();  // the window's close, then a program start
        CONFIG_ResetForTest();
        for (auto& control : view.controls) control.second = FakeControl{};
    }
    m_core = std::make_unique<ConsoleCore>(&view);
    view.core = m_core.get();
    m_core->Start();
    return *m_core;
}

void CoreSandbox::Click(int id) {
    view[id].checked = !view[id].checked;
    if (id == IDC_AUTO) {
        m_core->OnAutoClicked();
    } else if (id == IDC_CHANGE_BOOT) {
        m_core->OnChangeBootArea();
    } else {
        for (int s = 0; s < kConsoleSlots; ++s) {
            if (kCheckId[s] == id) m_core->OnImageChecked(s);
        }
    }
}

void CoreSandbox::Choose(int channel, int index) {
    view[kPortListId[channel]].selection = index;
    m_core->OnPortSelChange(channel);
}
