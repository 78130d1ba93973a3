#include "UCodeTab.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QVBoxLayout>
#include <fstream>

#include "UCodeView.h"
#include "Uccpubase.h"

namespace {

using TMode = TCodeListing::TMode;

// The lines of a text file; empty when it cannot be read.
std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TCodeTab::TCodeTab(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    auto* top = new QHBoxLayout;
    auto* modeLabel = new QLabel(QStringLiteral("视图View:"));
    CodeMode = new QComboBox;
    CodeMode->setObjectName(QStringLiteral("CodeMode"));
    CodeMode->addItem(QStringLiteral("反汇编Disassembly"));
    CodeMode->addItem(QStringLiteral("源代码Source"));
    CodeMode->addItem(QStringLiteral("混合Mixed"));
    modeLabel->setBuddy(CodeMode);
    CodeInfo = new QLabel;
    CodeInfo->setObjectName(QStringLiteral("CodeInfo"));
    top->addWidget(modeLabel);
    top->addWidget(CodeMode);
    top->addSpacing(12);
    top->addWidget(CodeInfo, 1);
    layout->addLayout(top);

    CodeSplitter = new QSplitter(Qt::Horizontal);
    CodeSplitter->setObjectName(QStringLiteral("CodeSplitter"));
    CodeSplitter->setChildrenCollapsible(false);
    CodeView = new TCodeView(FListing);
    CodeView->setObjectName(QStringLiteral("CodeView"));
    CodeView->SetMarkQuery([this](TMode mode, int64_t row) {
        const uint64_t address = FListing.AddressOfRow(mode, row);
        if (address == TCodeListing::NoAddress) return 0;
        const TCodeListing::TRow& data = FListing.Row(mode, row);
        // A label shares its instruction's address; the dot goes on the instruction only.
        if (data.Kind == TCodeListing::TKind::Label || data.Kind == TCodeListing::TKind::FileHeader) return 0;
        return FBreakpoints.count(address) ? 1 : 0;
    });
    CodePanels = new QTabWidget;
    CodePanels->setObjectName(QStringLiteral("CodePanels"));
    CodeSplitter->addWidget(CodeView);
    CodeSplitter->addWidget(CodePanels);
    CodeSplitter->setStretchFactor(0, 3);
    CodeSplitter->setStretchFactor(1, 2);
    CodeSplitter->setSizes({760, 500});
    layout->addWidget(CodeSplitter, 1);

    connect(CodeMode, &QComboBox::currentIndexChanged, this,
            [this](int index) { CodeView->SetMode(static_cast<TMode>(index)); });
    connect(CodeView, &TCodeView::MarginClicked, this, [this](int64_t row) { ToggleBreakpointAt(row); });
    SetDebugInfo(std::nullopt);
}

TCodeTab::TSnapshot TCodeTab::Read(const TCCPUBase& cpu) {
    TSnapshot snapshot;
    snapshot.IPOffset = cpu.IPOffset;
    const int64_t used = std::min(cpu.Memory.UsedLength(), cpu.Memory.Size());
    if (used > 0 && cpu.Memory.Buffer())
        snapshot.Image.assign(cpu.Memory.Buffer(), cpu.Memory.Buffer() + used);
    return snapshot;
}

void TCodeTab::Show(const TSnapshot& snapshot) {
    bool changed = FListing.SetImage(snapshot.Image.data(), snapshot.Image.size());
    FCurrent.reset();
    if (snapshot.IPOffset >= 0) {
        const auto ip = static_cast<uint64_t>(snapshot.IPOffset);
        const int64_t before = FListing.RowCount(TMode::Disassembly);
        FListing.AddEntry(ip);
        changed = changed || FListing.RowCount(TMode::Disassembly) != before;
        if (ip < snapshot.Image.size()) FCurrent = ip;
    }
    if (changed) CodeView->ListingChanged();
    CodeView->SetCurrent(FCurrent, true);
}

void TCodeTab::SetDebugInfo(std::optional<TDebugInfo> info) {
    std::vector<std::vector<std::string>> sources;
    if (info)
        for (const std::string& path : info->Sources)
            sources.push_back(ReadLines(path));
    const bool source = info && !info->Lines.empty();
    if (info)
        CodeInfo->setText(QStringLiteral("调试信息Debug information: %1 (%2 %3)")
                              .arg(QString::fromStdString(info->ImageName),
                                   QString::fromStdString(info->Producer),
                                   QString::fromStdString(info->Options)));
    else
        CodeInfo->setText(QStringLiteral("无调试信息，只有反汇编。No debug information: disassembly only."));
    FListing.SetDebugInfo(std::move(info), std::move(sources));
    // Without a line table only the disassembly has anything to show.
    if (auto* model = qobject_cast<QStandardItemModel*>(CodeMode->model()))
        for (int mode : {1, 2})
            model->item(mode)->setEnabled(source);
    if (!source) CodeMode->setCurrentIndex(0);
    CodeView->ListingChanged();
}

QString TCodeTab::OpenImage(const QString& imagePath, const std::vector<uint8_t>& image) {
    FBreakpoints.clear();
    emit BreakpointsChanged();
    FListing.SetImage(image.data(), image.size());
    const std::string path = QFile::encodeName(imagePath).toStdString();
    const std::string debugPath = TDebugInfo::PathFor(path);
    if (!QFileInfo::exists(QFile::decodeName(debugPath.c_str()))) {
        SetDebugInfo(std::nullopt);
        return {};
    }
    std::string error;
    std::optional<TDebugInfo> info = TDebugInfo::Load(debugPath, image, path, error);
    // A source that moved with its image is found beside the debug information file.
    if (info)
        for (std::string& source : info->Sources)
            if (!QFileInfo::exists(QFile::decodeName(source.c_str()))) {
                const QString beside = QFileInfo(QFile::decodeName(debugPath.c_str())).absolutePath() + u'/' +
                                       QFileInfo(QFile::decodeName(source.c_str())).fileName();
                if (QFileInfo::exists(beside)) source = QFile::encodeName(beside).toStdString();
            }
    const bool ignored = !info;
    SetDebugInfo(std::move(info));
    if (ignored)
        return QStringLiteral("调试信息已忽略。Debug information ignored: ") + QString::fromStdString(error);
    return {};
}

bool TCodeTab::ToggleBreakpointAt(int64_t row) {
    const TMode mode = CodeView->Mode();
    uint64_t address = FListing.AddressOfRow(mode, row);
    if (address == TCodeListing::NoAddress) return false;
    if (!FBreakpoints.erase(address)) FBreakpoints.insert(address);
    CodeView->viewport()->update();
    emit BreakpointsChanged();
    return true;
}

void TCodeTab::InstallShortcuts(QWidget* scope) {
    auto key = [scope](const QKeySequence& sequence, const char* name) {
        auto* shortcut = new QShortcut(sequence, scope);
        shortcut->setObjectName(QString::fromLatin1(name));
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        return shortcut;
    };
    KeyToggleBreakpoint = key(QKeySequence(Qt::Key_F9), "KeyToggleBreakpoint");
    KeyStepOver = key(QKeySequence(Qt::Key_F10), "KeyStepOver");
    KeyStepOut = key(QKeySequence(Qt::SHIFT | Qt::Key_F11), "KeyStepOut");
    KeyRunToCursor = key(QKeySequence(Qt::Key_F4), "KeyRunToCursor");
    KeyLineStepInto = key(QKeySequence(Qt::Key_F11), "KeyLineStepInto");
    KeyLineStepOver = key(QKeySequence(Qt::CTRL | Qt::Key_F10), "KeyLineStepOver");
    connect(KeyToggleBreakpoint, &QShortcut::activated, this, [this] {
        ToggleBreakpointAt(CodeView->CursorRow() >= 0 ? CodeView->CursorRow() : CodeView->CurrentRow());
    });
    connect(KeyStepOver, &QShortcut::activated, this, &TCodeTab::StepOverRequested);
    connect(KeyStepOut, &QShortcut::activated, this, &TCodeTab::StepOutRequested);
    connect(KeyRunToCursor, &QShortcut::activated, this, [this] {
        const uint64_t address = FListing.AddressOfRow(CodeView->Mode(), CodeView->CursorRow());
        if (address != TCodeListing::NoAddress) emit RunToCursorRequested(address);
    });
    connect(KeyLineStepInto, &QShortcut::activated, this, &TCodeTab::LineStepIntoRequested);
    connect(KeyLineStepOver, &QShortcut::activated, this, &TCodeTab::LineStepOverRequested);
}
