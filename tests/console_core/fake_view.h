// Test support for the console core: a window made of plain values, with message boxes and
// file dialogs answered by the test, and a start-up directory of its own.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/core/console_core.h"
#include "core/engine_events.h"
#include "tests/support/test_files.h"

struct FakeControl {
    bool checked = false;
    bool enabled = true;
    bool hidden = false;
    std::string text;
    int lower = 0, upper = 100, position = 0;  // bars
    std::vector<std::string> entries;          // port lists
    int selection = -1;
};

// A control that the core reads before it ever wrote it fails the test (std::out_of_range).
class FakeView : public ConsoleView, public EngineWindow {
  public:
    std::map<int, FakeControl> controls;
    FakeControl& operator[](int id) { return controls[id]; }

    // Boxes shown so far: "notice: ", "ask: " or "error: " and the text.
    std::vector<std::string> boxes;
    std::deque<bool> yesAnswers;          // answers to AskYesNo; No when none is left
    int fileDialogs = 0;                  // file dialogs opened so far
    std::deque<std::string> fileAnswers;  // empty or none left: a cancel
    std::string shownLog;                 // what the log field shows
    std::function<void()> duringRun;      // runs once in the first pass of a run

    bool IsChecked(int id) const override { return controls.at(id).checked; }
    void SetChecked(int id, bool checked) override { controls[id].checked = checked; }
    bool IsEnabled(int id) const override { return controls.at(id).enabled; }
    void Enable(int id, bool enabled) override { controls[id].enabled = enabled; }
    void Hide(int id) override { controls[id].hidden = true; }
    std::string GetText(int id) const override { return controls.at(id).text; }
    void SetText(int id, const std::string& text) override { controls[id].text = text; }
    void SetBarRange(int id, int lower, int upper) override;
    void SetBarPos(int id, int position) override { controls[id].position = position; }
    void FillList(int id, const std::vector<std::string>& entries) override;
    int GetSelection(int id) const override { return controls.at(id).selection; }
    void Select(int id, int index) override { controls[id].selection = index; }
    void ShowLog(const std::string& log, const std::string& appended) override;
    void ShowNotice(const std::string& text) override { boxes.push_back("notice: " + text); }
    bool AskYesNo(const std::string& text) override;
    void ShowFileError(const std::string& text) override { boxes.push_back("error: " + text); }
    std::string ChooseFile(FileKind, const std::string&, const std::string&) override;
    EngineWindow* EventTarget() override { return this; }

    ConsoleCore* core = nullptr;
    int OnEngineMessage(int message, int code, const void* record) override;
    void PumpHostEvents() override;
};

// A start-up directory of its own (current while it lives), the configuration at its
// program-start state, and a console core started in it over a FakeView.
class CoreSandbox {
  public:
    CoreSandbox();
    ~CoreSandbox();
    CoreSandbox(const CoreSandbox&) = delete;
    CoreSandbox& operator=(const CoreSandbox&) = delete;

    std::string Path(const std::string& name) const { return m_dir.File(name); }
    void Write(const std::string& name, const std::string& bytes) const {
        WriteText(Path(name), bytes);
    }
    std::string Read(const std::string& name) const { return ReadText(Path(name)); }
    // Starts a window's core, as the program does; a second call closes the first (its
    // settings stored) and starts a fresh one as a new program would.
    ConsoleCore& Start();

    // Operator actions: a click toggles a check box and calls its handler; a choice selects
    // a list entry and calls the handler.
    void Click(int id);
    void Choose(int channel, int index);

    FakeView view;

  private:
    ScratchDir m_dir;
    std::string m_previousDir;
    std::unique_ptr<ConsoleCore> m_core;
};
