// Start-up, close, the image panel and the settings.
#include "console/core/console_core.h"

#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "console/core/code_trailer.h"
#include "console/core/operator_text.h"
#include "core/utf8.h"
#include "engine/download.h"

const char kBrowseFilters[kConsoleSlots][64] = {
    "Phone Code Files(*.bin)|*.bin|All Files(*.*)|*.*|",
    "Phone Font Files(*.fnt)|*.fnt|All Files(*.*)|*.*|",
    "Phone Data Files(*.dat)|*.dat|All Files(*.*)|*.*|",
    "Phone Preload Files(*.pld)|*.pld|All Files(*.*)|*.*|",
    "Asic Boot Files(*.bot)|*.bot|All Files(*.*)|*.*|",
    "Asic Code Files(*.cod)|*.cod|All Files(*.*)|*.*|",
    "Asic Font Files(*.fnt)|*.fnt|All Files(*.*)|*.*|",
    "Asic Contents Files(*.cnt)|*.cnt|All Files(*.*)|*.*|",
    "Asic Image Files(*.sdl)|*.sdl|All Files(*.*)|*.*|",
};
const char kProfileFilter[] = "Kovir Files(*.kvr)|*.kvr||";

// The template's tables count what the engine counts.
static_assert(kConsoleSlots == IMAGE_SLOT_COUNT, "one check box per image slot");
static_assert(kConsoleChannels == CHANNEL_COUNT, "one port list and bar per channel");

namespace {

constexpr int kSlotMsmCode = SLOT_MSM_CODE;

// What a failed positioning in a file reports; it names no file.
const char kSeekFailed[] = "이름 없는 파일에서 탐색 실패";

}  // namespace

void CONSOLE_CopyToField(char* field, size_t size, const std::string& text) {
    if (size == 0) {
        return;
    }
    const size_t length =
        text.size() > size - 1 ? UTF8_CutLength(text.data(), size - 1) : text.size();
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

void ConsoleCore::Start() {
    for (int id : kImageBarId) {
        m_view->SetBarRange(id, 0, 100);
        m_view->SetBarPos(id, 0);
    }
    ResetConsole();
    CONFIG_InitStartDir();
    ApplySettings(nullptr);
    for (int id : {IDC_CHECK_8, IDC_IMAGE_BAR_8, IDC_BROWSE_8, IDC_ADDRESS_8}) {
        m_view->Hide(id);
    }
}

void ConsoleCore::Cancel() {
    // Closing during a run stops it first; the Download handler, still on the stack inside
    // the run, sees m_running cleared and does not stop it again.
    if (m_running != 0) {
        StopRun();
        m_running = 0;
    }
}

void ConsoleCore::ApplySettings(const char* profilePath) {
    // A Load that leaves Auto on leaves the channels Auto gave ports to with them: Auto
    // locks the list of each channel it gives a port to.
    int autoPorts[kConsoleChannels] = {};
    for (int c = 0; c < kConsoleChannels; ++c) {
        if (m_view->IsChecked(IDC_AUTO) && !m_view->IsEnabled(kPortListId[c])) {
            autoPorts[c] = m_channelPort[c];
        }
    }
    CONFIG_Load(profilePath);
    m_view->SetText(IDC_PROFILE_PATH, g_szProfilePath);
    ResetConsole();
    ApplyPortSettings(autoPorts);
    m_view->SetChecked(IDC_CHANGE_BOOT, g_Profile.changeBootArea != 0);
    OnChangeBootArea();
    for (int s = 0; s < kConsoleSlots; ++s) {
        const ProfileSlot& slot = g_Profile.slot[s];
        m_view->SetChecked(kCheckId[s], slot.check != 0);
        m_view->SetText(kImageBarId[s], slot.file);
        m_view->SetText(kAddressId[s], slot.address);
        OnImageChecked(s);
    }
    // Values the profile could not hold whole: the operator learns which, before a Download
    // refuses their slots as incomplete.
    std::string problems = PROFILE_ReadProblems();
    while (!problems.empty() && (problems.back() == '\n' || problems.back() == '\r')) {
        problems.pop_back();
    }
    if (!problems.empty()) {
        m_view->ShowNotice(problems);
    }
}

void ConsoleCore::StoreSettings() {
    for (int c = 0; c < kConsoleChannels; ++c) {
        g_nSavedPort[c] = m_channelPort[c];
    }
    CONSOLE_CopyToField(g_szProfilePath, sizeof g_szProfilePath, m_view->GetText(IDC_PROFILE_PATH));
    for (int s = 0; s < kConsoleSlots; ++s) {
        CONSOLE_CopyToField(g_Profile.slot[s].address, sizeof g_Profile.slot[s].address,
                            m_view->GetText(kAddressId[s]));
    }
    CONFIG_Save();
}

void ConsoleCore::OnImageChecked(int slot) {
    const bool checked = m_view->IsChecked(kCheckId[slot]);
    g_Profile.slot[slot].check = checked ? 1 : 0;
    m_view->Enable(kImageBarId[slot], checked);
    if (slot != kSlotMsmCode) {
        m_view->Enable(kAddressId[slot], checked);
        return;
    }
    // Any click on the Code box brings the Code address back to the normal start.
    m_view->SetChecked(IDC_CHANGE_BOOT, false);
    OnChangeBootArea();
    m_view->Enable(IDC_CHANGE_BOOT, checked);
    m_view->Enable(IDC_ADDRESS_0, checked);
}

void ConsoleCore::OnChangeBootArea() {
    if (m_view->IsChecked(IDC_CHANGE_BOOT) && !m_view->AskYesNo("Change?")) {
        m_view->SetChecked(IDC_CHANGE_BOOT, false);
        return;
    }
    const bool bootArea = m_view->IsChecked(IDC_CHANGE_BOOT);
    g_Profile.changeBootArea = bootArea ? 1 : 0;
    const char* address = bootArea ? MSM_CODE_ADDRESS_BOOT_AREA : MSM_CODE_ADDRESS;
    m_view->SetText(IDC_ADDRESS_0, address);
    CONSOLE_CopyToField(g_Profile.slot[kSlotMsmCode].address,
                        sizeof g_Profile.slot[kSlotMsmCode].address, address);
}

std::string ConsoleCore::ChooseFile(ConsoleView::FileKind kind, const std::string& filter,
                                    const std::string& defaultExtension) {
    const std::string path = m_view->ChooseFile(kind, filter, defaultExtension);
    // A cut path would name another file: one too long for the profile's fields is refused.
    if (path.size() > static_cast<size_t>(CONFIG_MAX_PATH)) {
        m_view->ShowNotice("Path too long !\n" + path);
        return std::string();
    }
    return path;
}

void ConsoleCore::OnBrowseImage(int slot) {
    const std::string path = ChooseFile(ConsoleView::FileKind::kOpen, kBrowseFilters[slot], "*");
    if (!path.empty()) {
        CONSOLE_CopyToField(g_Profile.slot[slot].file, sizeof g_Profile.slot[slot].file, path);
        m_view->SetText(kImageBarId[slot], path);
    }
    if (slot != kSlotMsmCode) {
        return;
    }
    // The Code image names the Font, Data and Preload addresses; they are read again even
    // when the dialog was cancelled, from the Code file already chosen.
    const CodeTrailer trailer = ReadCodeTrailer(g_Profile.slot[kSlotMsmCode].file);
    if (trailer.result == CodeTrailer::kTooShort) {
        m_view->ShowFileError(kSeekFailed);
        return;
    }
    if (trailer.result != CodeTrailer::kOk) {
        return;
    }
    for (int w = 1; w <= 3; ++w) {
        const uint32_t address = trailer.word[w];
        if (address != 0 && address != 0xFFFFFFFFu) {
            char text[16];
            std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(address));
            m_view->SetText(kAddressId[w], text);
        }
    }
}

bool ConsoleCore::ChooseProfilePath(ConsoleView::FileKind kind) {
    const std::string path = ChooseFile(kind, kProfileFilter, "kvr");
    if (path.empty()) {
        return false;
    }
    CONSOLE_CopyToField(g_szProfilePath, sizeof g_szProfilePath, path);
    m_view->SetText(IDC_PROFILE_PATH, path);
    return true;
}

void ConsoleCore::OnLoadProfile() {
    if (ChooseProfilePath(ConsoleView::FileKind::kOpen)) {
        ApplySettings(g_szProfilePath);
    }
}

void ConsoleCore::OnSaveProfileAs() {
    for (int s = 0; s < kConsoleSlots; ++s) {
        if (m_view->IsChecked(kCheckId[s]) &&
            (g_Profile.slot[s].file[0] == '\0' || m_view->GetText(kAddressId[s]).empty())) {
            m_view->ShowNotice(OPERATOR_InvalidMessage(s));
            return;
        }
    }
    if (ChooseProfilePath(ConsoleView::FileKind::kSave)) {
        StoreSettings();
    }
}
