#include "URunClockLabel.h"

TRunClockLabel::TRunClockLabel(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("RunClock"));
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    SetCount(0);
}

void TRunClockLabel::SetCount(uint64_t count) {
    setText(QStringLiteral("指令数Instructions: %1").arg(count));
}
