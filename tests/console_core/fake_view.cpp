#include "fake_view.h"

#include <filesystem>
#include <memory>

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

std::string FakeView::ChooseFile(FileKind, const std::string&, const std::string&) {
    ++fileDialogs;
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

CoreSandbox::CoreSandbox() : m_previousDir(std::filesystem::current_path().string()) {
    std::filesystem::current_path(m_dir.Path());
    CONFIG_ResetForTest();
}

CoreSandbox::~CoreSandbox() {
    m_core.reset();
    std::filesystem::current_path(m_previousDir);
    CONFIG_ResetForTest();
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
