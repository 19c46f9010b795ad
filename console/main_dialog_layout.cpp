// The controls of the main window, their captions and places in dialog units. They are
// created in the order of the table, which is also the tab order.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "console/address_edit.h"
#include "console/dialog_units.h"
#include "console/image_slots.h"
#include "console/main_dialog.h"
#include "console/percent_bar.h"

namespace {

enum class Role {
    kDownload,
    kProfilePath,
    kLoad,
    kSaveAs,
    kPortList,  // index: ChannelId
    kChangeBoot,
    kImageCheck,  // index: ImageSlot
    kBrowse,      // index: ImageSlot
    kAddress,     // index: ImageSlot (0 is the read-only Code field)
    kImageBar,    // index: ImageSlot
    kFrame,
    kHeading,
    kAuto,
    kChannelBar,  // index: ChannelId
    kLog,
};

struct ControlPlace {
    Role role;
    int index;
    const char* caption;
    short x, y, width, height;  // dialog units; a port list's height is with the list open
};

// clang-format off
constexpr ControlPlace kControls[] = {
    {Role::kDownload,    0, "Download",         292, 386,  81,  25},
    {Role::kProfilePath, 0, "",                  14,  20, 272,  14},
    {Role::kLoad,        0, "Load",             292,  20,  34,  14},
    {Role::kSaveAs,      0, "Save As",          332,  20,  34,  14},
    {Role::kPortList,    0, "",                  14, 299,  52, 103},
    {Role::kChangeBoot,  0, "Change Boot Area",  14,  61,  75,  10},
    {Role::kImageCheck,  0, "Code",              14,  81,  29,   8},
    {Role::kBrowse,      0, "...",              292,  78,  19,  14},
    {Role::kAddress,     0, "",                 314,  78,  52,  14},
    {Role::kImageCheck,  1, "Font",              14,  99,  29,   8},
    {Role::kBrowse,      1, "...",              292,  96,  19,  14},
    {Role::kAddress,     1, "",                 314,  96,  52,  14},
    {Role::kImageCheck,  2, "Data",              14, 117,  29,   8},
    {Role::kBrowse,      2, "...",              292, 114,  19,  14},
    {Role::kAddress,     2, "",                 314, 114,  52,  14},
    {Role::kImageBar,    0, "",                  47,  78, 241,  12},
    {Role::kImageBar,    1, "",                  47,  96, 241,  12},
    {Role::kImageBar,    2, "",                  47, 114, 241,  12},
    {Role::kFrame,       0, "MSM",                7,  46, 367, 106},
    {Role::kFrame,       1, " File ",             7,   6, 367,  38},
    {Role::kFrame,       2, " Port ",             7, 272, 367, 104},
    {Role::kHeading,     0, "Address(HEX)",     314,  60,  52,  11},
    {Role::kImageCheck,  3, "Preload",           14, 135,  36,   8},
    {Role::kBrowse,      3, "...",              292, 132,  19,  14},
    {Role::kAddress,     3, "",                 314, 132,  52,  14},
    {Role::kImageBar,    3, "",                  55, 132, 233,  12},
    {Role::kImageCheck,  4, "Boot",              14, 169,  29,   8},
    {Role::kBrowse,      4, "...",              292, 166,  19,  14},
    {Role::kAddress,     4, "",                 314, 166,  52,  14},
    {Role::kImageBar,    4, "",                  47, 166, 241,  12},
    {Role::kAuto,        0, "Auto",              14, 284,  26,  10},
    {Role::kChannelBar,  0, "",                  70, 300, 110,  12},
    {Role::kPortList,    1, "",                 201, 299,  52, 103},
    {Role::kChannelBar,  1, "",                 256, 300, 110,  12},
    {Role::kPortList,    2, "",                  14, 317,  52, 103},
    {Role::kChannelBar,  2, "",                  70, 317, 110,  12},
    {Role::kPortList,    3, "",                 201, 317,  52, 103},
    {Role::kChannelBar,  3, "",                 256, 317, 110,  12},
    {Role::kPortList,    4, "",                  14, 335,  52, 103},
    {Role::kChannelBar,  4, "",                  70, 336, 110,  12},
    {Role::kPortList,    5, "",                 201, 335,  52, 103},
    {Role::kChannelBar,  5, "",                 256, 336, 110,  12},
    {Role::kPortList,    6, "",                  14, 353,  52, 103},
    {Role::kChannelBar,  6, "",                  70, 354, 110,  12},
    {Role::kPortList,    7, "",                 201, 353,  52, 103},
    {Role::kChannelBar,  7, "",                 256, 354, 110,  12},
    {Role::kFrame,       3, "ASIC",               7, 156, 367, 109},
    {Role::kImageCheck,  5, "Code",              14, 188,  29,   8},
    {Role::kBrowse,      5, "...",              292, 186,  19,  14},
    {Role::kAddress,     5, "",                 314, 186,  52,  14},
    {Role::kImageBar,    5, "",                  47, 186, 241,  12},
    {Role::kImageCheck,  6, "Font",              14, 209,  29,   8},
    {Role::kBrowse,      6, "...",              292, 206,  19,  14},
    {Role::kAddress,     6, "",                 314, 206,  52,  14},
    {Role::kImageBar,    6, "",                  47, 206, 241,  12},
    {Role::kImageCheck,  7, "Contents",          14, 227,  39,   8},
    {Role::kBrowse,      7, "...",              292, 224,  19,  14},
    {Role::kAddress,     7, "",                 314, 224,  52,  14},
    {Role::kImageBar,    7, "",                  59, 224, 229,  12},
    {Role::kImageCheck,  8, "DMB",               14, 247,  33,   8},
    {Role::kBrowse,      8, "...",              292, 245,  19,  14},
    {Role::kAddress,     8, "",                 314, 245,  52,  14},
    {Role::kImageBar,    8, "",                  51, 245, 237,  12},
    {Role::kLog,         0, "",                   7, 380, 270,  36},
};
// clang-format on

constexpr int kClientWidth = 379;
constexpr int kClientHeight = 421;

// A closed port list is as tall as an edit field; the rest of its template height is the
// open list.
constexpr int kClosedListHeight = 14;

const char* const kFrameNames[] = {"groupMsm", "groupFile", "groupPort", "groupAsic"};

QString Indexed(const char* member, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(member)).arg(index);
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
    setFixedSize(units.X(kClientWidth), units.Y(kClientHeight));

    for (const ControlPlace& place : kControls) {
        const QString caption = QString::fromUtf8(place.caption);
        const int i = place.index;
        QWidget* control = nullptr;
        int height = place.height;
        switch (place.role) {
            case Role::kDownload:
                control = m_btnDownload = MakeButton(this, place.caption);
                control->setObjectName(QStringLiteral("m_btnDownload"));
                break;
            case Role::kProfilePath:
                control = m_editProfilePath = new QLineEdit(this);
                m_editProfilePath->setMaxLength(CONFIG_MAX_PATH);
                control->setObjectName(QStringLiteral("m_editProfilePath"));
                break;
            case Role::kLoad:
                control = m_btnLoad = MakeButton(this, place.caption);
                control->setObjectName(QStringLiteral("m_btnLoad"));
                break;
            case Role::kSaveAs:
                control = m_btnSaveAs = MakeButton(this, place.caption);
                control->setObjectName(QStringLiteral("m_btnSaveAs"));
                break;
            case Role::kPortList:
                control = m_cmbPort[i] = MakePortList(this, units, place);
                control->setObjectName(Indexed("m_cmbPort", i));
                height = kClosedListHeight;
                break;
            case Role::kChangeBoot:
                control = m_btnChangeBoot = new QCheckBox(caption, this);
                control->setObjectName(QStringLiteral("m_btnChangeBoot"));
                break;
            case Role::kImageCheck:
                control = m_chkImage[i] = new QCheckBox(caption, this);
                control->setObjectName(Indexed("m_chkImage", i));
                break;
            case Role::kBrowse:
                control = m_btnBrowse[i] = MakeButton(this, place.caption);
                control->setObjectName(Indexed("m_btnBrowse", i));
                break;
            case Role::kAddress:
                if (i == kSlotMsmCode) {
                    control = m_editCodeAddress = new ReadOnlyTextEdit(this);
                    control->setObjectName(QStringLiteral("m_editCodeAddress"));
                } else {
                    control = m_editAddress[i - 1] = new HexAddressEdit(this);
                    control->setObjectName(Indexed("m_editAddress", i));
                }
                static_cast<QLineEdit*>(control)->setMaxLength(CONFIG_MAX_ADDRESS);
                break;
            case Role::kImageBar:
                control = m_barImage[i] = new PercentBar(this);
                control->setObjectName(Indexed("m_barImage", i));
                break;
            case Role::kFrame:
                control = new QGroupBox(caption, this);
                control->setObjectName(QLatin1String(kFrameNames[i]));
                break;
            case Role::kHeading: {
                auto* heading = new QLabel(caption, this);
                heading->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
                control = heading;
                control->setObjectName(QStringLiteral("labelAddress"));
                break;
            }
            case Role::kAuto:
                control = m_btnAuto = new QCheckBox(caption, this);
                control->setObjectName(QStringLiteral("m_btnAuto"));
                break;
            case Role::kChannelBar:
                control = m_barChannel[i] = new PercentBar(this);
                control->setObjectName(Indexed("m_barChannel", i));
                break;
            case Role::kLog:
                m_editLog = new QPlainTextEdit(this);
                m_editLog->setReadOnly(true);
                m_editLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                m_editLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                m_editLog->setTabChangesFocus(true);
                m_editLog->setFocusPolicy(Qt::StrongFocus);
                control = m_editLog;
                control->setObjectName(QStringLiteral("m_editLog"));
                break;
        }
        control->setGeometry(units.Map(place.x, place.y, place.width, height));
        if (place.role == Role::kFrame || place.role == Role::kHeading) {
            // Frames and the heading only decorate: they take no focus and no clicks, and
            // lie beneath the controls they surround.
            control->setFocusPolicy(Qt::NoFocus);
            control->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
    }
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
