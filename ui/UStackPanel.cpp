#include "UStackPanel.h"

#include <QHeaderView>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QTreeWidget* Tree(const char* name, const QStringList& headers) {
    auto* tree = new QTreeWidget;
    tree->setObjectName(QString::fromLatin1(name));
    tree->setHeaderLabels(headers);
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->header()->setStretchLastSection(true);
    return tree;
}

enum TColumn { ColumnName, ColumnType, ColumnAddress, ColumnValue };
constexpr int NodeRole = Qt::UserRole;
// Rows opened again after a refresh, at most (each reads the machine once).
constexpr int ReopenBudget = 200;

} // namespace

TStackPanel::TStackPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* split = new QSplitter(Qt::Vertical);
    CallStack = Tree("CallStack", {QStringLiteral("函数Function"), QStringLiteral("位置Location")});
    CallStack->setColumnWidth(0, 160);
    Variables = Tree("Variables", {QStringLiteral("名称Name"), QStringLiteral("类型Type"),
                                   QStringLiteral("地址Address"), QStringLiteral("值Value")});
    Variables->setRootIsDecorated(true);
    Variables->setColumnWidth(ColumnName, 120);
    Variables->setColumnWidth(ColumnType, 110);
    Variables->setColumnWidth(ColumnAddress, 70);
    split->addWidget(CallStack);
    split->addWidget(Variables);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3); // the variables' trees need the room
    layout->addWidget(split);
    connect(CallStack, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!FFilling && item) emit FrameSelected(CallStack->indexOfTopLevelItem(item));
    });
    connect(Variables, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        Fill(item);
        if (!FFilling) FOpen.insert(PathOf(item));
    });
    connect(Variables, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (!FFilling) FOpen.remove(PathOf(item));
    });
}

void TStackPanel::SetFrames(const std::vector<TFrameRow>& frames) {
    FFilling = true;
    CallStack->clear();
    for (const TFrameRow& frame : frames)
        CallStack->addTopLevelItem(new QTreeWidgetItem({frame.Function, frame.Location}));
    if (CallStack->topLevelItemCount() > 0) CallStack->setCurrentItem(CallStack->topLevelItem(0));
    FFilling = false;
}

QString TStackPanel::PathOf(const QTreeWidgetItem* item) {
    QString path;
    for (; item; item = item->parent())
        path = item->text(ColumnName) + u'\x1f' + path;
    return path;
}

void TStackPanel::AddRow(QTreeWidgetItem* parent, const TVariableRow& row) {
    auto* item = new QTreeWidgetItem({row.Name, row.Type, row.Address, row.Value});
    item->setToolTip(ColumnValue, row.Value);
    item->setToolTip(ColumnType, row.Type);
    if (row.Expandable) {
        item->setData(ColumnName, NodeRole, static_cast<qulonglong>(FNodes.size()));
        FNodes.push_back(row.Node);
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    parent->addChild(item);
}

void TStackPanel::Fill(QTreeWidgetItem* item) {
    const QVariant index = item->data(ColumnName, NodeRole);
    if (item->childCount() > 0 || !index.isValid() || !Expand) return;
    const auto at = static_cast<size_t>(index.toULongLong());
    if (at >= FNodes.size()) return;
    const TValueNode node = FNodes[at]; // Expand may add to FNodes
    const std::vector<TVariableRow> rows = Expand(node);
    for (const TVariableRow& row : rows)
        AddRow(item, row);
    if (rows.empty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void TStackPanel::Reopen(QTreeWidgetItem* item, int& budget) {
    for (int i = 0; i < item->childCount() && budget > 0; ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (!child->data(ColumnName, NodeRole).isValid() || !FOpen.contains(PathOf(child))) continue;
        --budget;
        child->setExpanded(true); // fills it
        Reopen(child, budget);
    }
}

void TStackPanel::SetVariables(const std::vector<TVariableRow>& locals,
                               const std::vector<TVariableRow>& globals) {
    FFilling = true;
    Variables->clear();
    FNodes.clear();
    int budget = ReopenBudget;
    auto group = [&](const QString& title, const std::vector<TVariableRow>& rows) {
        if (rows.empty()) return;
        auto* heading = new QTreeWidgetItem({title});
        Variables->addTopLevelItem(heading);
        for (const TVariableRow& variable : rows)
            AddRow(heading, variable);
        heading->setExpanded(true);
        Reopen(heading, budget);
    };
    group(QStringLiteral("局部Locals"), locals);
    group(QStringLiteral("全局Globals"), globals);
    FFilling = false;
}

int TStackPanel::SelectedFrame() const {
    return CallStack->currentItem() ? CallStack->indexOfTopLevelItem(CallStack->currentItem()) : -1;
}
