// The controls of the main window, made from the template's table (console/core/
// dialog_layout.h) in its order, which is also the tab order, placed in dialog units.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "config/profile.h"
#include "console/core/dialog_layout.h"
#include "console/qt/address_edit.h"
#include "console/qt/dialog_units.h"
#include "console/qt/main_dialog.h"
#include "console/qt/percent_bar.h"

namespace {

const char* const kFrameNames[] = {"groupMsm", "groupFile", "groupPort", "groupAsic"};

QString Indexed(const char* member, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(member)).arg(index);
}

// The member name of a control of the template, by its id; the rows' names carry their
// ImageSlot or ChannelId.
QString MemberName(int id) {
    struct Named {
        int id;
        const char* name;
    };
    static const Named kSingles[] = {{IDC_DOWNLOAD, "m_btnDownload"},
                                     {IDC_PROFILE_PATH, "m_editProfilePath"},
                                     {IDC_LOAD, "m_btnLoad"},
                                     {IDC_SAVE_AS, "m_btnSaveAs"},
                                     {IDC_CHANGE_BOOT, "m_btnChangeBoot"},
                                     {IDC_AUTO, "m_btnAuto"},
                                     {IDC_ADDRESS_0, "m_editCodeAddress"},
                                     {IDC_LOG, "m_editLog"}};
    for (const Named& single : kSingles) {
        if (single.id == id) return QLatin1String(single.name);
    }
    const int i = LAYOUT_RowIndex(id);
    if (i >= 0 && kCheckId[i] == id) return Indexed("m_chkImage", i);
    if (i >= 0 && kBrowseId[i] == id) return Indexed("m_btnBrowse", i);
    if (i >= 0 && kAddressId[i] == id) return Indexed("m_editAddress", i);
    if (i >= 0 && kImageBarId[i] == id) return Indexed("m_barImage", i);
    if (i >= 0 && kPortListId[i] == id) return Indexed("m_cmbPort", i);
    return Indexed("m_barChannel", i);
}

QPushButton* MakeButton(QWidget* parent, const char* caption) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    // Enter must never press a button for the operator: only a click or Space does.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// A port list whose open list hangs below the closed field and ends where the list's place
// in the layout ends, whatever the style: some styles open a menu over the field as tall as
// all 31 entries, running past the window. The list has a vertical scroll bar.
class PortList : public QComboBox {
  public:
    PortList(QWidget* parent, int listHeight) : QComboBox(parent), m_listHeight(listHeight) {
        setEditable(false);
    }

    void showPopup() override {
        QComboBox::showPopup();
        QWidget* popup = view()->window();
        if (popup == window()) {
            return;
        }
        view()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QRect place(mapToGlobal(QPoint(0, height())), QSize(width(), m_listHeight));
        // Where the screen ends first, the list opens above the field instead.
        if (screen() != nullptr && place.bottom() > screen()->availableGeometry().bottom()) {
            place.moveBottom(mapToGlobal(QPoint(0, 0)).y() - 1);
        }
        popup->setGeometry(place);
        view()->scrollTo(view()->currentIndex());
    }

  private:
    int m_listHeight;
};

QComboBox* MakePortList(QWidget* parent, const DialogUnits& units, const ControlPlace& place) {
    const int closedBottom = place.y + kClosedListHeight;
    return new PortList(parent, units.Y(place.y + place.height) - units.Y(closedBottom));
}

}  // namespace

void MainDialog::CreateControls() {
    const DialogUnits units{QFontMetrics(font())};
    setFixedSize(units.X(kDialogWidth), units.Y(kDialogHeight));

    int frames = 0;
    for (const ControlPlace& place : kDialogControls) {
        const QString caption = QString::fromUtf8(place.caption);
        QWidget* control = nullptr;
        int height = place.height;
        switch (place.kind) {
            case ControlKind::kPushButton:
                control = MakeButton(this, place.caption);
                break;
            case ControlKind::kEdit:
                if (place.id == IDC_PROFILE_PATH) {
                    auto* path = new QLineEdit(this);
                    path->setMaxLength(CONFIG_MAX_PATH);
                    control = path;
                } else {
                    QLineEdit* field = place.id == IDC_ADDRESS_0
                                           ? static_cast<QLineEdit*>(new ReadOnlyTextEdit(this))
                                           : new HexAddressEdit(this);
                    field->setMaxLength(CONFIG_MAX_ADDRESS);
                    control = field;
                }
                break;
            case ControlKind::kPortList:
                control = MakePortList(this, units, place);
                height = kClosedListHeight;
                break;
            case ControlKind::kCheckBox:
                control = new QCheckBox(caption, this);
                break;
            case ControlKind::kProgressBar:
                control = new PercentBar(this);
                break;
            case ControlKind::kGroupBox:
                control = new QGroupBox(caption, this);
                control->setObjectName(QLatin1String(kFrameNames[frames++]));
                break;
            case ControlKind::kHeading: {
                auto* heading = new QLabel(caption, this);
                heading->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
                control = heading;
                control->setObjectName(QStringLiteral("labelAddress"));
                break;
            }
            case ControlKind::kLog:
                m_editLog = new QPlainTextEdit(this);
                m_editLog->setReadOnly(true);
                m_editLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                m_editLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                m_editLog->setTabChangesFocus(true);
                m_editLog->setFocusPolicy(Qt::StrongFocus);
                control = m_editLog;
                break;
        }
        if (place.id >= 0) {
            control->setObjectName(MemberName(place.id));
            m_controls[place.id] = control;
        }
        control->setGeometry(units.Map(place.x, place.y, place.width, height));
        if (place.kind == ControlKind::kGroupBox || place.kind == ControlKind::kHeading) {
            // Frames and the heading only decorate: they take no focus and no clicks, and
            // lie beneath the controls they surround.
            control->setFocusPolicy(Qt::NoFocus);
            control->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
    }
    m_btnAuto = qobject_cast<QCheckBox*>(ById(IDC_AUTO));
    m_btnDownload = qobject_cast<QPushButton*>(ById(IDC_DOWNLOAD));
    for (QWidget* decoration : findChildren<QGroupBox*>()) {
        decoration->lower();
    }
    WidenCheckBoxes(1);
}

void MainDialog::WidenCheckBoxes(int gap) {
    // Fonts differ in width from the one the layout was drawn with; a check box whose
    // caption does not fit takes the room up to the next control on its row.
    const QList<QWidget*> controls = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QCheckBox* box : findChildren<QCheckBox*>(Qt::FindDirectChildrenOnly)) {
        const QRect place = box->geometry();
        int room = width() - gap - place.left();
        for (const QWidget* other : controls) {
            const QRect there = other->geometry();
            if (other != box && there.left() > place.left() && there.top() <= place.bottom() &&
                there.bottom() >= place.top()) {
                room = qMin(room, there.left() - gap - place.left());
            }
        }
        const int wanted = qMin(box->sizeHint().width(), room);
        if (wanted > place.width()) {
            box->resize(wanted, place.height());
        }
    }
}
