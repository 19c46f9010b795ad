// The image selection panel: the profile row, Change Boot Area and the image rows, and the
// two operations that move the settings and the profile between the files and the window.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "console/address_edit.h"
#include "console/file_dialog.h"
#include "console/image_slots.h"
#include "console/main_dialog.h"
#include "console/message_box.h"
#include "console/operator_text.h"
#include "console/percent_bar.h"

namespace {

const char kProfileFilter[] = "Kovir Files(*.kvr)|*.kvr||";
const char kProfileSuffix[] = "kvr";

// The message a failed positioning in a file reports; it names no file.
const char kSeekFailedText[] = "%1에서 탐색 실패";
const char kUnnamedFile[] = "이름 없는 파일";

}  // namespace

void MainDialog::ConnectPanel() {
    connect(m_btnLoad, &QPushButton::clicked, this, &MainDialog::OnLoadProfile);
    connect(m_btnSaveAs, &QPushButton::clicked, this, &MainDialog::OnSaveProfileAs);
    connect(m_btnChangeBoot, &QCheckBox::clicked, this, &MainDialog::OnChangeBootArea);
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        connect(m_chkImage[s], &QCheckBox::clicked, this, [this, s] { OnImageChecked(s); });
        connect(m_btnBrowse[s], &QPushButton::clicked, this, [this, s] { OnBrowseImage(s); });
    }
}

void MainDialog::ApplySettings(const char* profilePath) {
    // A Load that leaves Auto on leaves the channels Auto gave ports to with them.
    const std::array<int, kChannelCount> autoPorts = AutoAssignedPorts();
    CONFIG_Load(profilePath);
    m_editProfilePath->setText(PathText(g_szProfilePath));
    ResetConsole();
    ApplyPortSettings(autoPorts);
    m_btnChangeBoot->setChecked(g_Profile.changeBootArea != 0);
    OnChangeBootArea();
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        const ProfileSlot& slot = g_Profile.slot[s];
        m_chkImage[s]->setChecked(slot.check != 0);
        m_barImage[s]->SetText(PathText(slot.file));
        AddressField(s)->setText(PathText(slot.address));
        OnImageChecked(s);
    }
    // Values the profile could not hold whole: the operator learns which, before a Download
    // refuses their slots as incomplete.
    if (!PROFILE_ReadProblems().empty()) {
        ShowNotice(this, PathText(PROFILE_ReadProblems().c_str()).trimmed());
    }
}

void MainDialog::StoreSettings() {
    for (int c = 0; c < kChannelCount; ++c) {
        g_nSavedPort[c] = m_channelPort[c];
    }
    CopyToField(g_szProfilePath, sizeof g_szProfilePath, m_editProfilePath->text());
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        CopyToField(g_Profile.slot[s].address, sizeof g_Profile.slot[s].address,
                    AddressField(s)->text());
    }
    CONFIG_Save();
}

void MainDialog::OnImageChecked(int slot) {
    const bool checked = m_chkImage[slot]->isChecked();
    g_Profile.slot[slot].check = checked ? 1 : 0;
    m_barImage[slot]->setEnabled(checked);
    if (slot != kSlotMsmCode) {
        AddressField(slot)->setEnabled(checked);
        return;
    }
    // Any click on the Code box brings the Code address back to the normal start.
    m_btnChangeBoot->setChecked(false);
    OnChangeBootArea();
    m_btnChangeBoot->setEnabled(checked);
    m_editCodeAddress->setEnabled(checked);
}

void MainDialog::OnChangeBootArea() {
    if (m_btnChangeBoot->isChecked() && !AskYesNo(this, QStringLiteral("Change?"))) {
        m_btnChangeBoot->setChecked(false);
        return;
    }
    const bool bootArea = m_btnChangeBoot->isChecked();
    g_Profile.changeBootArea = bootArea ? 1 : 0;
    const char* address = bootArea ? MSM_CODE_ADDRESS_BOOT_AREA : MSM_CODE_ADDRESS;
    m_editCodeAddress->setText(QString::fromLatin1(address));
    CopyToField(g_Profile.slot[kSlotMsmCode].address, sizeof g_Profile.slot[kSlotMsmCode].address,
                QString::fromLatin1(address));
}

void MainDialog::OnBrowseImage(int slot) {
    const QString path =
        ChooseFile(this, FileDialogRequest::kOpen, QString::fromUtf8(kBrowseFilters[slot]),
                   QString(), &m_lastFolder);
    if (!path.isEmpty()) {
        CopyToField(g_Profile.slot[slot].file, sizeof g_Profile.slot[slot].file, path);
        m_barImage[slot]->SetText(path);
    }
    if (slot != kSlotMsmCode) {
        return;
    }
    // The Code image names the Font, Data and Preload addresses; they are read again even
    // when the dialog was cancelled, from the Code file already chosen.
    const CodeTrailer trailer = ReadCodeTrailer(g_Profile.slot[kSlotMsmCode].file);
    if (trailer.result == CodeTrailer::kTooShort) {
        ShowFileError(this,
                      QString::fromUtf8(kSeekFailedText).arg(QString::fromUtf8(kUnnamedFile)));
        return;
    }
    if (trailer.result != CodeTrailer::kOk) {
        return;
    }
    for (int w = 1; w <= 3; ++w) {
        const uint32_t address = trailer.word[w];
        if (address != 0 && address != 0xFFFFFFFFu) {
            AddressField(w)->setText(QString::number(address, 16));
        }
    }
}

bool MainDialog::ChooseProfilePath(FileDialogRequest::Kind kind) {
    const QString path = ChooseFile(this, kind, QString::fromUtf8(kProfileFilter),
                                    QString::fromLatin1(kProfileSuffix), &m_lastFolder);
    if (path.isEmpty()) {
        return false;
    }
    CopyToField(g_szProfilePath, sizeof g_szProfilePath, path);
    m_editProfilePath->setText(path);
    return true;
}

void MainDialog::OnLoadProfile() {
    if (ChooseProfilePath(FileDialogRequest::kOpen)) {
        ApplySettings(g_szProfilePath);
    }
}

void MainDialog::OnSaveProfileAs() {
    for (int s = 0; s < PROFILE_SLOT_COUNT; ++s) {
        if (m_chkImage[s]->isChecked() &&
            (g_Profile.slot[s].file[0] == '\0' || AddressField(s)->text().isEmpty())) {
            ShowNotice(this, QString::fromUtf8(OPERATOR_InvalidMessage(s)));
            return;
        }
    }
    if (ChooseProfilePath(FileDialogRequest::kSave)) {
        StoreSettings();
    }
}
