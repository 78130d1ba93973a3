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

} // namespace

TStackPanel::TStackPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* split = new QSplitter(Qt::Vertical);
    CallStack = Tree("CallStack", {QStringLiteral("函数Function"), QStringLiteral("位置Location")});
    CallStack->setColumnWidth(0, 160);
    Variables = Tree("Variables",
                     {QStringLiteral("名称Name"), QStringLiteral("类型Type"), QStringLiteral("值Value")});
    Variables->setRootIsDecorated(true);
    Variables->setColumnWidth(0, 120);
    Variables->setColumnWidth(1, 110);
    split->addWidget(CallStack);
    split->addWidget(Variables);
    layout->addWidget(split);
    connect(CallStack, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!FFilling && item) emit FrameSelected(CallStack->indexOfTopLevelItem(item));
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

void TStackPanel::SetVariables(const std::vector<TVariableRow>& locals,
                               const std::vector<TVariableRow>& globals) {
    Variables->clear();
    auto group = [this](const QString& title, const std::vector<TVariableRow>& rows) {
        if (rows.empty()) return;
        auto* heading = new QTreeWidgetItem({title});
        Variables->addTopLevelItem(heading);
        for (const TVariableRow& variable : rows)
            heading->addChild(new QTreeWidgetItem({variable.Name, variable.Type, variable.Value}));
        heading->setExpanded(true);
    };
    group(QStringLiteral("局部Locals"), locals);
    group(QStringLiteral("全局Globals"), globals);
}

int TStackPanel::SelectedFrame() const {
    return CallStack->currentItem() ? CallStack->indexOfTopLevelItem(CallStack->currentItem()) : -1;
}
