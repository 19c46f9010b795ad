// What the console core needs from a window: its controls, named by their template ids
// (console/core/control_ids.h), its message boxes and file dialogs, the ports the machine
// has now, and the object that receives engine events. Each window (Qt, Win32) implements
// it over its own controls; the core's tests implement it over plain values.
//
// Texts are bytes: UTF-8, except that a path may hold bytes of another encoding, which a
// window keeps exactly from GetText back to SetText. Every call comes on the console thread.
#pragma once

#include <string>
#include <vector>

class EngineWindow;

class ConsoleView {
  public:
    enum class FileKind { kOpen, kSave };

    virtual ~ConsoleView() = default;

    // Check boxes.
    virtual bool IsChecked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;

    // Any control.
    virtual bool IsEnabled(int id) const = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual void Hide(int id) = 0;

    // Edit fields' texts, and the texts that the percent bars draw.
    virtual std::string GetText(int id) const = 0;
    virtual void SetText(int id, const std::string& text) = 0;

    // Percent bars.
    virtual void SetBarRange(int id, int lower, int upper) = 0;
    virtual void SetBarPos(int id, int position) = 0;

    // Port lists: entries replace the list's; index -1 selects none.
    virtual void FillList(int id, const std::vector<std::string>& entries) = 0;
    virtual int GetSelection(int id) const = 0;
    virtual void Select(int id, int index) = 0;

    // The log field shows `log` (CRLF line ends) with its last line in view; `appended` is
    // the part added since the last call (empty when the whole text is new).
    virtual void ShowLog(const std::string& log, const std::string& appended) = 0;

    // Message boxes, captioned with the program's name: OK with a warning icon; Yes and No
    // (true for Yes); OK with a stop icon for file errors.
    virtual void ShowNotice(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void ShowFileError(const std::string& text) = 0;

    // The open-file or save-file dialog with a filter in label|pattern| notation and a
    // default extension ("*" = none); returns the chosen full path, empty for a cancel.
    virtual std::string ChooseFile(FileKind kind, const std::string& filter,
                                   const std::string& defaultExtension) = 0;

    // Receives the engine's events during a run.
    virtual EngineWindow* EventTarget() = 0;
};
