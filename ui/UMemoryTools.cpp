#include "UMemoryTools.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* NamedEdit(const char* name, const QString& text) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setFixedWidth(120);
    return edit;
}

QLabel* BuddyLabel(const QString& caption, QWidget* buddy) {
    auto* label = new QLabel(caption);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TMemoryTools::TMemoryTools(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);

    GrpMemoryTools = new QGroupBox(QStringLiteral("指定内存查看工具"));
    GrpMemoryTools->setObjectName(QStringLiteral("GrpMemoryTools"));
    auto* viewer = new QGridLayout(GrpMemoryTools);
    EditBeginMemory = NamedEdit("EditBeginMemory", QStringLiteral("0"));
    EditMemoryCount = NamedEdit("EditMemoryCount", QStringLiteral("128"));
    BtnFlash = new QPushButton(QStringLiteral("刷新"));
    BtnFlash->setObjectName(QStringLiteral("BtnFlash"));
    MemoMemory = new QPlainTextEdit;
    MemoMemory->setObjectName(QStringLiteral("MemoMemory"));
    MemoMemory->setReadOnly(true);
    MemoMemory->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewer->addWidget(BuddyLabel(QStringLiteral("内存开始地址"), EditBeginMemory), 0, 0);
    viewer->addWidget(BuddyLabel(QStringLiteral("显示的内存长度(字节)"), EditMemoryCount), 0, 1);
    viewer->addWidget(EditBeginMemory, 1, 0);
    viewer->addWidget(EditMemoryCount, 1, 1);
    viewer->addWidget(BtnFlash, 1, 2, Qt::AlignLeft);
    viewer->addWidget(MemoMemory, 2, 0, 1, 4);
    viewer->setColumnStretch(3, 1);

    GroupBox1 = new QGroupBox(QStringLiteral("内存设置工具"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* setter = new QVBoxLayout(GroupBox1);
    EditSize = NamedEdit("EditSize", QStringLiteral("10000"));
    BtnSetMemorySize = new QPushButton(QStringLiteral("重新设置"));
    BtnSetMemorySize->setObjectName(QStringLiteral("BtnSetMemorySize"));
    LabelTip = new QLabel(QStringLiteral("重新设置内存后，应重新装入程序文件。"));
    LabelTip->setObjectName(QStringLiteral("LabelTip"));
    LabelTip->setWordWrap(true);
    setter->addWidget(BuddyLabel(QStringLiteral("内存大小(字节)"), EditSize));
    setter->addWidget(EditSize);
    setter->addWidget(BtnSetMemorySize, 0, Qt::AlignLeft);
    setter->addWidget(LabelTip);
    setter->addStretch();

    row->addWidget(GrpMemoryTools, 3);
    row->addWidget(GroupBox1, 1);
}

std::string TMemoryTools::ViewText(const TCCPUMemory& memory, int64_t begin, int64_t count, bool& cut) {
    cut = false;
    if (count > ViewLimit) {
        // Only a request that really reaches past the limit inside memory loses bytes.
        const __int128 available = static_cast<__int128>(memory.Size()) - begin;
        cut = available > ViewLimit;
        count = ViewLimit;
    }
    return memory.Dump(begin, count);
}

void TMemoryTools::ShowView(const std::string& text) {
    // The document keeps its own line ends; a "\r" left in would show as a stray glyph.
    QString plain = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    plain.remove(u'\r');
    if (plain.endsWith(u'\n')) plain.chop(1);
    MemoMemory->setPlainText(plain);
}
