#include "UAboutBox.h"

#include "UProgramIcon.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TAboutBox* AboutBox = nullptr;

namespace {

QLabel* NamedLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("关于本软件About"));
    setWindowIcon(::ProgramIcon());
    setModal(true);

    // "宋体" where it is installed; fontconfig substitutes a CJK face elsewhere.
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(12);
    setFont(font);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    panel->setFixedSize(281, 217);

    ProgramIcon = new QLabel(panel);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setFixedSize(33, 33);
    ProgramIcon->setPixmap(::ProgramIcon().pixmap(QSize(33, 33), devicePixelRatio()));
    ProgramIcon->setScaledContents(true);

    ProductName =
        NamedLabel(QStringLiteral("ProductName"), QStringLiteral("ROZIDUV2  128位仿真机软件"), panel);
    Version = NamedLabel(QStringLiteral("Version"), QStringLiteral("版本号Version：2021.5"), panel);
    Copyright =
        NamedLabel(QStringLiteral("Copyright"), QStringLiteral("作者：ROZIDUV2 教学组。版权所有。"), panel);
    CopyrightEn = NamedLabel(QStringLiteral("CopyrightEn"),
                             QStringLiteral("Author: ROZIDUV2 team. All rights reserved."), panel);
    Comments = NamedLabel(QStringLiteral("Comments"),
                          QStringLiteral("本软件供计算机组成原理课程免费使用，"
                                         "可以自由复制和分发，但不得出售。"),
                          panel);
    CommentsEn = NamedLabel(QStringLiteral("CommentsEn"),
                            QStringLiteral("Free for teaching computer organisation: copy and share "
                                           "it freely, but do not sell it."),
                            panel);
    Comments->setWordWrap(true);
    CommentsEn->setWordWrap(true);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    titles->addWidget(ProductName);
    titles->addWidget(Version);
    auto* head = new QHBoxLayout;
    head->setSpacing(10);
    head->addWidget(ProgramIcon, 0, Qt::AlignTop);
    head->addLayout(titles, 1);

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(10, 10, 10, 10);
    panelLayout->setSpacing(6);
    panelLayout->addLayout(head);
    panelLayout->addSpacing(6);
    panelLayout->addWidget(Copyright);
    panelLayout->addWidget(CopyrightEn);
    panelLayout->addSpacing(6);
    panelLayout->addWidget(Comments);
    panelLayout->addWidget(CommentsEn);
    panelLayout->addStretch(1);

    OKButton = new QPushButton(QStringLiteral("关闭&OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(panel, 0, Qt::AlignHCenter);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    layout->addStretch(1);

    setFixedSize(298, 263);
}

void TAboutBox::showEvent(QShowEvent* event) {
    // Centred on the screen (not on the main window), each time it is shown.
    if (QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen())
        move(where->availableGeometry().center() - rect().center());
    OKButton->setFocus();
    QDialog::showEvent(event);
}
