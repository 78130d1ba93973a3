#include "URegisterPanel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "UNumberParse.h"

namespace {

constexpr int BoxWidth = 136; // sixteen digits of the 12 px CJK font plus the frame
constexpr int OpRow = TRegisterPanel::BoxCount - 1;

// A labelled box (label above the edit) at one grid cell; columns are 40 px rows apart.
QLineEdit* AddBox(QGridLayout* grid, int row, int column, const QString& name, const QString& caption) {
    auto* cell = new QWidget;
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    auto* label = new QLabel(caption);
    auto* edit = new QLineEdit;
    edit->setObjectName(QStringLiteral("Edit") + name);
    edit->setFixedWidth(BoxWidth);
    label->setBuddy(edit);
    layout->addWidget(label);
    layout->addWidget(edit);
    grid->addWidget(cell, row, column, Qt::AlignTop | Qt::AlignLeft);
    return edit;
}

QGridLayout* GroupGrid(QGroupBox* group) {
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(4);
    return grid;
}

} // namespace

TRegisterPanel::TRegisterPanel(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);

    GroupBox2 = new QGroupBox(QStringLiteral("通用寄存器组R[i]"));
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    QGridLayout* general = GroupGrid(GroupBox2);
    QLineEdit** generalBoxes[16] = {&EditR0,  &EditR1,  &EditR2,  &EditR3, &EditR4,  &EditR5,
                                    &EditR6,  &EditR7,  &EditR8,  &EditR9, &EditR10, &EditR11,
                                    &EditR12, &EditR13, &EditR14, &EditR15};
    for (int i = 0; i < 16; ++i) {
        const QString name = QStringLiteral("R%1").arg(i);
        *generalBoxes[i] = AddBox(general, i % 8, i / 8, name, name);
    }

    GroupBox3 = new QGroupBox(QStringLiteral("控制寄存器组"));
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    QGridLayout* control = GroupGrid(GroupBox3);
    struct TPlace {
        QLineEdit** Member;
        TCCPUBase::TControlIndex Index;
        int Row;
        int Column;
    };
    const TPlace places[] = {{&EditIPOffset, TCCPUBase::CtlIPOffset, 0, 0},
                             {&EditIPOffsetBegin, TCCPUBase::CtlIPOffsetBegin, 1, 0},
                             {&EditIPSegment, TCCPUBase::CtlIPSegment, 2, 0},
                             {&EditIPSegmentBegin, TCCPUBase::CtlIPSegmentBegin, 3, 0},
                             {&EditDataOffset, TCCPUBase::CtlDataOffset, 4, 0},
                             {&EditDataSegment, TCCPUBase::CtlDataSegment, 5, 0},
                             {&EditPSW, TCCPUBase::CtlPSW, 6, 0},
                             {&EditStackOffsetBegin, TCCPUBase::CtlStackOffsetBegin, 7, 0},
                             {&EditSP, TCCPUBase::CtlSP, 0, 1},
                             {&EditStackSegment, TCCPUBase::CtlStackSegment, 1, 1},
                             {&EditVersion, TCCPUBase::CtlVersion, 2, 1}};
    for (const TPlace& p : places) {
        const QString name = QString::fromLatin1(roz::ControlRegisterName(p.Index));
        *p.Member = AddBox(control, p.Row, p.Column, name, name);
    }
    EditOp = AddBox(control, 3, 1, QStringLiteral("Op"), QStringLiteral("当前指令Op"));
    Label1 = new QLabel(QStringLiteral("当前指令是IPOffset的指向的内存"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setFixedWidth(BoxWidth);
    control->addWidget(Label1, 4, 1, 2, 1, Qt::AlignTop | Qt::AlignLeft);

    GrpDebug = new QGroupBox(QStringLiteral("寄存器监控功能"));
    GrpDebug->setObjectName(QStringLiteral("GrpDebug"));
    auto* debug = new QVBoxLayout(GrpDebug);
    BtnGetArgsToEdit = new QPushButton(QStringLiteral("将将CPU的值输入到界面"));
    BtnGetArgsToEdit->setObjectName(QStringLiteral("BtnGetArgsToEdit"));
    BtnEditToArgs = new QPushButton(QStringLiteral("将输入的值放入CPU"));
    BtnEditToArgs->setObjectName(QStringLiteral("BtnEditToArgs"));
    debug->addWidget(BtnGetArgsToEdit);
    debug->addWidget(BtnEditToArgs);
    debug->addStretch();

    row->addWidget(GroupBox2);
    row->addWidget(GroupBox3);
    row->addWidget(GrpDebug);
    row->addStretch();

    // Transfer order: the CPU's panel order names each box "Edit" + register name.
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        FBoxes[static_cast<size_t>(i)] = findChild<QLineEdit*>(
            QStringLiteral("Edit") + QString::fromLatin1(TCCPUBase::PanelRegisterNames[i]));
    FBoxes[OpRow] = EditOp;
    for (QLineEdit* box : FBoxes)
        Q_ASSERT(box);
}

TRegisterPanel::TValues TRegisterPanel::Read(TCCPUBase& cpu) {
    TValues values{};
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        values[static_cast<size_t>(i)] = static_cast<uint64_t>(cpu.PanelRegister(i));
    values[OpRow] = cpu.Memory.PeekWord(cpu.IPOffset);
    return values;
}

void TRegisterPanel::Display(const TValues& values, TDisplay which) {
    for (int i = 0; i < BoxCount; ++i) {
        QLineEdit* box = FBoxes[static_cast<size_t>(i)];
        if (which == KeepTyped && box->isModified()) continue;
        box->setText(FormatRegisterHex(values[static_cast<size_t>(i)])); // clears isModified
    }
}

void TRegisterPanel::Write(TCCPU& cpu) const {
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        cpu.PanelRegister(i) = ParseRegisterHex(FBoxes[static_cast<size_t>(i)]->text());
}

void TRegisterPanel::SetMarked(int row, bool marked) {
    if (FMarked[static_cast<size_t>(row)] == marked) return;
    FMarked[static_cast<size_t>(row)] = marked;
    QLineEdit* box = FBoxes[static_cast<size_t>(row)];
    QPalette colours = box->palette();
    colours.setColor(QPalette::Text, marked ? QColor(210, 0, 0) : palette().color(QPalette::Text));
    box->setPalette(colours);
}

void TRegisterPanel::MarkChanged(const TValues& values) {
    for (int i = 0; i < BoxCount; ++i)
        SetMarked(i, FMarkBase && (*FMarkBase)[static_cast<size_t>(i)] != values[static_cast<size_t>(i)]);
    FMarkBase = values;
}

void TRegisterPanel::ClearMarks() {
    for (int i = 0; i < BoxCount; ++i)
        SetMarked(i, false);
}
