#include "UBreakpointPanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QTableWidgetItem* Cell(const QString& text, bool editable) {
    auto* item = new QTableWidgetItem(text);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable) flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    return item;
}

} // namespace

TBreakpointPanel::TBreakpointPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    BreakpointTable = new QTableWidget(0, ColumnCount);
    BreakpointTable->setObjectName(QStringLiteral("BreakpointTable"));
    BreakpointTable->setHorizontalHeaderLabels({QStringLiteral("启用On"), QStringLiteral("位置Location"),
                                                QStringLiteral("命中Hits"), QStringLiteral("条件Condition"),
                                                QStringLiteral("忽略Ignore"), QStringLiteral("状态Status")});
    BreakpointTable->verticalHeader()->setVisible(false);
    BreakpointTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    BreakpointTable->setSelectionMode(QAbstractItemView::SingleSelection);
    BreakpointTable->horizontalHeader()->setStretchLastSection(true);
    BreakpointTable->setColumnWidth(ColEnabled, 60);
    BreakpointTable->setColumnWidth(ColLocation, 120);
    BreakpointTable->setColumnWidth(ColHits, 60);
    BreakpointTable->setColumnWidth(ColCondition, 110);
    BreakpointTable->setColumnWidth(ColIgnore, 60);
    layout->addWidget(BreakpointTable, 1);

    auto* buttons = new QHBoxLayout;
    EditBreakpointLocation = new QLineEdit;
    EditBreakpointLocation->setObjectName(QStringLiteral("EditBreakpointLocation"));
    EditBreakpointLocation->setPlaceholderText(
        QStringLiteral("地址/标号/函数/文件:行 address, label, FILE:LINE"));
    BtnAddBreakpoint = new QPushButton(QStringLiteral("添加Add"));
    BtnAddBreakpoint->setObjectName(QStringLiteral("BtnAddBreakpoint"));
    BtnDeleteBreakpoint = new QPushButton(QStringLiteral("删除Delete"));
    BtnDeleteBreakpoint->setObjectName(QStringLiteral("BtnDeleteBreakpoint"));
    BtnDeleteAllBreakpoints = new QPushButton(QStringLiteral("全部删除Delete All"));
    BtnDeleteAllBreakpoints->setObjectName(QStringLiteral("BtnDeleteAllBreakpoints"));
    buttons->addWidget(EditBreakpointLocation, 1);
    buttons->addWidget(BtnAddBreakpoint);
    buttons->addWidget(BtnDeleteBreakpoint);
    buttons->addWidget(BtnDeleteAllBreakpoints);
    layout->addLayout(buttons);

    auto add = [this] {
        const QString location = EditBreakpointLocation->text().trimmed();
        if (!location.isEmpty()) emit AddRequested(location);
    };
    connect(BtnAddBreakpoint, &QPushButton::clicked, this, add);
    connect(EditBreakpointLocation, &QLineEdit::returnPressed, this, add);
    connect(BtnDeleteBreakpoint, &QPushButton::clicked, this, [this] {
        if (BreakpointTable->currentRow() >= 0) emit DeleteRequested(BreakpointTable->currentRow());
    });
    connect(BtnDeleteAllBreakpoints, &QPushButton::clicked, this, &TBreakpointPanel::DeleteAllRequested);
    connect(BreakpointTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (FFilling) return;
        switch (item->column()) {
        case ColEnabled:
            emit EnabledChanged(item->row(), item->checkState() == Qt::Checked);
            break;
        case ColCondition:
            emit ConditionEdited(item->row(), item->text().trimmed());
            break;
        case ColIgnore: {
            bool ok = false;
            const qulonglong count = item->text().trimmed().toULongLong(&ok, 0);
            emit IgnoreEdited(item->row(), ok ? count : 0);
            break;
        }
        default:
            break;
        }
    });
}

void TBreakpointPanel::SetRows(const std::vector<TRow>& rows) {
    FFilling = true;
    const int current = BreakpointTable->currentRow();
    BreakpointTable->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const TRow& row = rows[static_cast<size_t>(i)];
        auto* enabled = Cell(QString(), false);
        enabled->setFlags(enabled->flags() | Qt::ItemIsUserCheckable);
        enabled->setCheckState(row.Enabled ? Qt::Checked : Qt::Unchecked);
        BreakpointTable->setItem(i, ColEnabled, enabled);
        BreakpointTable->setItem(i, ColLocation, Cell(row.Location, false));
        BreakpointTable->setItem(i, ColHits, Cell(QString::number(row.Hits), false));
        BreakpointTable->setItem(i, ColCondition, Cell(row.Condition, true));
        BreakpointTable->setItem(i, ColIgnore, Cell(QString::number(row.Ignore), true));
        auto* status = Cell(row.Error.isEmpty() ? QStringLiteral("正常OK") : row.Error, false);
        if (!row.Error.isEmpty()) status->setForeground(QColor(200, 0, 0));
        status->setToolTip(row.Error);
        BreakpointTable->setItem(i, ColStatus, status);
    }
    if (current >= 0 && current < BreakpointTable->rowCount()) BreakpointTable->selectRow(current);
    FFilling = false;
}

int TBreakpointPanel::RowCount() const {
    return BreakpointTable->rowCount();
}
