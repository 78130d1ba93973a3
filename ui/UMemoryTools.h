#pragma once
#include <QWidget>
#include <cstdint>
#include <string>

#include "Uccpumemory.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The memory tools (second tab of the upper tab control): the viewer, which shows a stretch
// of memory as the memory store's hex dump, and the setter of the memory size.
//
// Like the register panel it never holds the CPU itself: the window takes the dump inside
// its CPU hand-over and passes the text here. The buttons only emit clicked.
class TMemoryTools : public QWidget {
    Q_OBJECT
  public:
    // The viewer never builds more text than this many bytes give (65536 lines): a count up
    // to 2^31 - 1 would otherwise mean gigabytes of text.
    static constexpr int64_t ViewLimit = 262144;

    explicit TMemoryTools(QWidget* parent = nullptr);

    // The dump of at most the first ViewLimit bytes of [begin, begin + count); bytes at
    // negative addresses show as 00, nothing at or beyond the size is shown. cut tells
    // whether bytes that the full request would have shown were left out.
    static std::string ViewText(const TCCPUMemory& memory, int64_t begin, int64_t count, bool& cut);
    // Makes text (the dump, "\r\n" line ends) the whole content of MemoMemory.
    void ShowView(const std::string& text);

    QGroupBox* GrpMemoryTools = nullptr;
    QLineEdit* EditBeginMemory = nullptr;
    QLineEdit* EditMemoryCount = nullptr;
    QPushButton* BtnFlash = nullptr;
    QPlainTextEdit* MemoMemory = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* EditSize = nullptr;
    QPushButton* BtnSetMemorySize = nullptr;
    QLabel* LabelTip = nullptr;
};
