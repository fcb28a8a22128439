#include "app/StartupDialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "framework/Ui.h"

namespace {
// Dialog units of an 8-point dialog font (base units 6 x 13 pixels).
int DluX(int x) {
    return static_cast<int>(std::lround(x * 6.0 / 4.0));
}
int DluY(int y) {
    return static_cast<int>(std::lround(y * 13.0 / 8.0));
}
}  // namespace

CDisclaimerDlg::CDisclaimerDlg(QWidget* parent)
    : CDialog(QStringLiteral("Lumvane Disclaimer"), parent) {
    // Neither a system menu nor a close box: the question must be answered.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(DluX(7), DluY(7), DluX(7), DluY(7));
    layout->setSpacing(DluY(5));
    for (const QString& text : Texts()) {
        auto* label = new QLabel(text, this);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    layout->addStretch(1);
    auto* yes = new QPushButton(QStringLiteral("Yes"), this);
    auto* no = new QPushButton(QStringLiteral("No"), this);
    yes->setDefault(true);
    yes->setAutoDefault(true);
    no->setAutoDefault(false);
    yes->setFixedWidth(DluX(50));
    no->setFixedWidth(DluX(50));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(yes);
    buttons->addStretch(1);
    buttons->addWidget(no);
    layout->addLayout(buttons);
    RegisterButton(IDOK, yes);
    RegisterButton(IDCANCEL, no);
    yes->setFocus();
    setFixedWidth(DluX(350));
    setFixedHeight(layout->totalHeightForWidth(DluX(350)));
}

QStringList CDisclaimerDlg::Texts() {
    return {QStringLiteral("THIS SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, "
                           "EXPRESS OR IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF "
                           "MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND "
                           "NONINFRINGEMENT."),
            QStringLiteral("IN NO EVENT SHALL THE AUTHOR BE LIABLE FOR ANY CLAIM, DAMAGES OR "
                           "OTHER LIABILITY OF ANY KIND, WHETHER DIRECT, INDIRECT, INCIDENTAL OR "
                           "CONSEQUENTIAL, INCLUDING LOST WORK OR DATA, ARISING FROM, OUT OF OR IN "
                           "CONNECTION WITH THE SOFTWARE OR THE USE OF IT."),
            QStringLiteral("YOU USE THIS SOFTWARE ENTIRELY AT YOUR OWN RISK. Do you agree?")};
}

CStartDlg::CStartDlg(QWidget* parent) : CDialog(QStringLiteral("Lumvane"), parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* layout = new QHBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(DluX(7), DluY(7), DluX(7), DluY(7));
    layout->setSpacing(DluX(7));
    auto* create = new QPushButton(QStringLiteral("Create New Animation"), this);
    auto* open = new QPushButton(QStringLiteral("Open Existing Animation"), this);
    // The focused button is the default one: Return and Enter press it, as Space does.
    for (QPushButton* b : {create, open}) {
        b->setMinimumSize(DluX(82), DluY(23));
        b->setAutoDefault(true);
        layout->addWidget(b);
    }
    RegisterButton(IDC_CREATE_NEW, create);
    RegisterButton(IDC_OPEN_EXISTING, open);
    OnCommand(IDC_CREATE_NEW, [this] {
        m_bCreateNew = 1;
        EndDialog(IDC_CREATE_NEW);
    });
    OnCommand(IDC_OPEN_EXISTING, [this] {
        m_bOpenExisting = 1;
        EndDialog(IDC_OPEN_EXISTING);
    });
}

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(QStringLiteral("About Lumvane"), parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(DluX(11), DluY(10), DluX(11), DluY(10));
    layout->setHorizontalSpacing(DluX(10));
    layout->setVerticalSpacing(DluY(1));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/lumvane/lumvane-48.png")).pixmap(48, 48));
    icon->setObjectName(QStringLiteral("icon"));
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    auto* version = new QLabel(VersionText(), this);
    layout->addWidget(version, 0, 1, Qt::AlignLeft | Qt::AlignVCenter);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setFixedWidth(DluX(50));
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    RegisterButton(IDOK, ok);
    layout->setRowMinimumHeight(1, DluY(8));
    int row = 2;
    for (const QString& line : KeySummary()) {
        layout->addWidget(new QLabel(line, this), row++, 1, 1, 2);
    }
    layout->setColumnStretch(1, 1);
}

QStringList CAboutDlg::KeySummary() {
    return {
        QStringLiteral("Frame ShortCuts:"),
        QStringLiteral("1: Four Frames Back From Current Frame"),
        QStringLiteral("2: Three Frames Back From Current Frame"),
        QStringLiteral("3: Two Frames Back From Current Frame"),
        QStringLiteral("4: One Frame Back From Current Frame"),
        QStringLiteral("5: Current Frame"),
        QStringLiteral("6: One Frame Forward From Current Frame"),
        QStringLiteral("7: Two Frames Forward From Current Frame"),
        QStringLiteral("8: Three Frames Forward From Current Frame"),
        QStringLiteral("9: Four Frames Forward From Current Frame"),
        QStringLiteral("In Onion skin mode these keys add or remove that from onion skin list."),
        QStringLiteral("Cursor Right: Next frame"),
        QStringLiteral("Cursor Left: Previous frame"),
        QStringLiteral("All other shortcuts and explanations of functions are documented in "
                       "the menus")};
}

QStringList CAboutDlg::StaticTexts() const {
    QStringList texts;
    for (QLabel* l : findChildren<QLabel*>())
        if (!l->text().isEmpty()) texts.append(l->text());
    return texts;
}
