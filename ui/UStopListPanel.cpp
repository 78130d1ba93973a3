#include "UStopListPanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
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

TStopListPanel::TStopListPanel(const QString& kind, const QString& placeTitle, const QString& hint,
                               QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    Table = new QTableWidget(0, ColumnCount);
    Table->setObjectName(kind + QStringLiteral("Table"));
    Table->setHorizontalHeaderLabels({QStringLiteral("启用On"), placeTitle, QStringLiteral("命中Hits"),
                                      QStringLiteral("条件Condition"), QStringLiteral("忽略Ignore"),
                                      QStringLiteral("状态Status")});
    Table->verticalHeader()->setVisible(false);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->horizontalHeader()->setStretchLastSection(true);
    Table->setColumnWidth(ColEnabled, 60);
    Table->setColumnWidth(ColLocation, 170);
    Table->setColumnWidth(ColHits, 60);
    Table->setColumnWidth(ColCondition, 110);
    Table->setColumnWidth(ColIgnore, 60);
    layout->addWidget(Table, 1);

    auto* buttons = new QHBoxLayout;
    EditLocation = new QLineEdit;
    EditLocation->setObjectName(QStringLiteral("Edit") + kind + QStringLiteral("Location"));
    EditLocation->setPlaceholderText(hint);
    EditLocation->setToolTip(hint);
    BtnAdd = new QPushButton(QStringLiteral("添加Add"));
    BtnAdd->setObjectName(QStringLiteral("BtnAdd") + kind);
    BtnDelete = new QPushButton(QStringLiteral("删除Delete"));
    BtnDelete->setObjectName(QStringLiteral("BtnDelete") + kind);
    BtnDeleteAll = new QPushButton(QStringLiteral("全部删除Delete All"));
    BtnDeleteAll->setObjectName(QStringLiteral("BtnDeleteAll") + kind + u's');
    buttons->addWidget(EditLocation, 1);
    buttons->addWidget(BtnAdd);
    buttons->addWidget(BtnDelete);
    buttons->addWidget(BtnDeleteAll);
    layout->addLayout(buttons);
    Message = new QLabel;
    Message->setObjectName(kind + QStringLiteral("Message"));
    Message->setStyleSheet(QStringLiteral("color: #c00000"));
    Message->setWordWrap(true);
    layout->addWidget(Message);

    auto add = [this] {
        const QString location = EditLocation->text().trimmed();
        if (!location.isEmpty()) emit AddRequested(location);
    };
    connect(BtnAdd, &QPushButton::clicked, this, add);
    connect(EditLocation, &QLineEdit::returnPressed, this, add);
    connect(BtnDelete, &QPushButton::clicked, this, [this] {
        if (Table->currentRow() >= 0) emit DeleteRequested(Table->currentRow());
    });
    connect(BtnDeleteAll, &QPushButton::clicked, this, &TStopListPanel::DeleteAllRequested);
    connect(Table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
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

void TStopListPanel::SetRows(const std::vector<TRow>& rows) {
    FFilling = true;
    const int current = Table->currentRow();
    Table->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const TRow& row = rows[static_cast<size_t>(i)];
        auto* enabled = Cell(QString(), false);
        enabled->setFlags(enabled->flags() | Qt::ItemIsUserCheckable);
        enabled->setCheckState(row.Enabled ? Qt::Checked : Qt::Unchecked);
        Table->setItem(i, ColEnabled, enabled);
        auto* location = Cell(row.Location, false);
        location->setToolTip(row.Location); // a watch on a C expression has a long text
        Table->setItem(i, ColLocation, location);
        Table->setItem(i, ColHits, Cell(QString::number(row.Hits), false));
        Table->setItem(i, ColCondition, Cell(row.Condition, true));
        Table->setItem(i, ColIgnore, Cell(QString::number(row.Ignore), true));
        auto* status = Cell(row.Error.isEmpty() ? QStringLiteral("正常OK") : row.Error, false);
        if (!row.Error.isEmpty()) status->setForeground(QColor(200, 0, 0));
        status->setToolTip(row.Error);
        Table->setItem(i, ColStatus, status);
    }
    if (current >= 0 && current < Table->rowCount()) Table->selectRow(current);
    FFilling = false;
}

int TStopListPanel::RowCount() const {
    return Table->rowCount();
}
