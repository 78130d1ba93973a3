#include "UCodeTab.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>

#include "UBuildPanel.h"
#include "UCallStack.h"
#include "UCodeView.h"
#include "UDebugger.h"
#include "UPlace.h"
#include "URunClockLabel.h"
#include "UVariableView.h"
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

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The bytes of the image a snapshot copies (every refresh compares them): far more than any
// program that a person reads as disassembly.
constexpr int64_t MaxShownImage = int64_t{16} << 20;

// Frames whose variables a snapshot reads; deeper ones show their place only.
constexpr size_t FramesWithVariables = 32;

// The address column names the register of a value that has no address.
TStackPanel::TVariableRow Row(const TVariableView& variable) {
    const bool inRegister = variable.Address.empty() && variable.Where.starts_with('R');
    return {Q(variable.Name),    Q(variable.Type),
            Q(variable.Value),   Q(inRegister ? variable.Where : variable.Address),
            variable.Expandable, variable.Node()};
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
    BuildPanel = new TBuildPanel;
    BuildPanel->setObjectName(QStringLiteral("BuildPanel"));
    top->addWidget(BuildPanel->Bar);
    top->addSpacing(12);
    top->addWidget(modeLabel);
    top->addWidget(CodeMode);
    top->addSpacing(12);
    top->addWidget(CodeInfo, 1);
    CodePlace = new QLabel;
    CodePlace->setObjectName(QStringLiteral("CodePlace"));
    top->addWidget(RunClock = new TRunClockLabel);
    top->addWidget(CodePlace);
    layout->addLayout(top);
    CodeStale = new QLabel;
    CodeStale->setObjectName(QStringLiteral("CodeStale"));
    CodeStale->setWordWrap(true);
    CodeStale->setStyleSheet(QStringLiteral("QLabel { background: #fff3c4; color: #7a4b00; "
                                            "border: 1px solid #e0b84c; padding: 3px; }"));
    CodeStale->hide();
    layout->addWidget(CodeStale);

    CodeSplitter = new QSplitter(Qt::Horizontal);
    CodeSplitter->setObjectName(QStringLiteral("CodeSplitter"));
    CodeSplitter->setChildrenCollapsible(false);
    CodeView = new TCodeView(FListing);
    CodeView->setObjectName(QStringLiteral("CodeView"));
    CodeView->SetMarkQuery([this](TMode mode, int64_t row) {
        const auto& rows = FMarkRows[static_cast<int>(mode)];
        const auto found = rows.find(row);
        return found == rows.end() ? 0 : found->second;
    });

    CodePanels = new QTabWidget;
    CodePanels->setObjectName(QStringLiteral("CodePanels"));
    BreakpointPanel =
        new TStopListPanel(QStringLiteral("Breakpoint"), QStringLiteral("位置Location"),
                           QStringLiteral("地址/标号/函数/文件:行 address, label, function, FILE:LINE"));
    BreakpointPanel->setObjectName(QStringLiteral("BreakpointPanel"));
    WatchPanel = new TStopListPanel(
        QStringLiteral("Watch"), QStringLiteral("监视Watch"),
        QStringLiteral(
            "变量/地址 [字节数] [w|r|rw] 或 in/out  moves, a[3], p->next, ADDRESS [SIZE] [w|r|rw], in/out"));
    WatchPanel->setObjectName(QStringLiteral("WatchPanel"));
    StackPanel = new TStackPanel;
    StackPanel->setObjectName(QStringLiteral("StackPanel"));
    CodePanels->addTab(BreakpointPanel, QStringLiteral("断点Breakpoints"));
    CodePanels->addTab(WatchPanel, QStringLiteral("监视点Watchpoints"));
    CodePanels->addTab(StackPanel, QStringLiteral("调用栈和变量Stack && Variables"));
    CodePanels->addTab(BuildPanel, QStringLiteral("编译Build"));
    connect(BuildPanel, &TBuildPanel::Failed, this, [this] { CodePanels->setCurrentWidget(BuildPanel); });

    CodeSplitter->addWidget(CodeView);
    CodeSplitter->addWidget(CodePanels);
    CodeSplitter->setStretchFactor(0, 3);
    CodeSplitter->setStretchFactor(1, 2);
    CodeSplitter->setSizes({740, 520});
    layout->addWidget(CodeSplitter, 1);

    connect(CodeMode, &QComboBox::currentIndexChanged, this,
            [this](int index) { CodeView->SetMode(static_cast<TMode>(index)); });
    connect(CodeView, &TCodeView::MarginClicked, this, [this](int64_t row) { ToggleBreakpointAt(row); });
    connect(CodeView, &TCodeView::ToggleRequested, this, [this](int64_t row) { ToggleBreakpointAt(row); });
    connect(CodeView, &TCodeView::RunToRequested, this, [this] {
        const uint64_t address = CursorAddress();
        if (address != TCodeListing::NoAddress) emit RunToCursorRequested(address);
    });
    connect(StackPanel, &TStackPanel::FrameSelected, this, [this](int frame) {
        ShowVariables(frame);
        if (frame > 0 && frame < static_cast<int>(FShown.FrameAddresses.size()))
            CodeView->SetCursorRow(
                FListing.RowOfAddress(CodeView->Mode(), FShown.FrameAddresses[static_cast<size_t>(frame)]));
    });

    ConnectList(BreakpointPanel, &TSnapshot::BreakpointIds,
                [](TDebugger& debugger, int id) -> TStopRule* { return debugger.Breakpoints().Find(id); });
    ConnectList(WatchPanel, &TSnapshot::WatchIds,
                [](TDebugger& debugger, int id) -> TStopRule* { return debugger.Watches().Find(id); });
    connect(BreakpointPanel, &TStopListPanel::AddRequested, this, [this](const QString& location) {
        Change(BreakpointPanel, [text = location.toStdString()](TDebugger& debugger) {
            std::string error;
            if (debugger.Breakpoints().Add(text, debugger.Map(), debugger.ImageLength(), error))
                return std::string();
            return "无法设置断点Cannot set a breakpoint: " + error;
        });
    });
    connect(BreakpointPanel, &TStopListPanel::DeleteRequested, this, [this](int index) {
        Change(BreakpointPanel, [id = IdOf(FShown.BreakpointIds, index)](TDebugger& debugger) {
            debugger.Breakpoints().Remove(id);
            return std::string();
        });
    });
    connect(BreakpointPanel, &TStopListPanel::DeleteAllRequested, this, [this] {
        Change(BreakpointPanel, [](TDebugger& debugger) {
            debugger.Breakpoints().Clear();
            return std::string();
        });
    });
    connect(WatchPanel, &TStopListPanel::AddRequested, this, &TCodeTab::AddWatch);
    StackPanel->Expand = [this](const TValueNode& node) { return ExpandVariable(node); };
    connect(WatchPanel, &TStopListPanel::DeleteRequested, this, [this](int index) {
        Change(WatchPanel, [id = IdOf(FShown.WatchIds, index)](TDebugger& debugger) {
            debugger.Watches().Remove(id);
            return std::string();
        });
    });
    connect(WatchPanel, &TStopListPanel::DeleteAllRequested, this, [this] {
        Change(WatchPanel, [](TDebugger& debugger) {
            debugger.Watches().Clear();
            return std::string();
        });
    });
    SetDebugInfo(std::nullopt);
}

int TCodeTab::IdOf(const std::vector<int>& ids, int index) {
    return index >= 0 && index < static_cast<int>(ids.size()) ? ids[static_cast<size_t>(index)] : 0;
}

// Switch, condition and ignore count are the same for both lists; rule finds an entry by id.
void TCodeTab::ConnectList(TStopListPanel* panel, std::vector<int> TSnapshot::*ids,
                           std::function<TStopRule*(TDebugger&, int)> rule) {
    connect(panel, &TStopListPanel::EnabledChanged, this, [this, panel, ids, rule](int index, bool on) {
        Change(panel, [id = IdOf(FShown.*ids, index), on, rule](TDebugger& debugger) {
            if (TStopRule* item = rule(debugger, id)) item->Enabled = on;
            return std::string();
        });
    });
    connect(panel, &TStopListPanel::ConditionEdited, this,
            [this, panel, ids, rule](int index, const QString& text) {
                Change(panel,
                       [id = IdOf(FShown.*ids, index), text = text.toStdString(), rule](TDebugger& debugger) {
                           TStopRule* item = rule(debugger, id);
                           if (!item || item->SetCondition(text)) return std::string();
                           return "条件有错误Condition error: " + item->ConditionError;
                       });
            });
    connect(panel, &TStopListPanel::IgnoreEdited, this, [this, panel, ids, rule](int index, uint64_t count) {
        Change(panel, [id = IdOf(FShown.*ids, index), count, rule](TDebugger& debugger) {
            if (TStopRule* item = rule(debugger, id)) item->Ignore = count;
            return std::string();
        });
    });
}

// The text is parsed against the machine (a C expression's object is where it is now), then
// added in a change of the debugger.
void TCodeTab::AddWatch(const QString& text) {
    std::optional<TWatchRequest> request;
    std::string error = "the machine cannot be read";
    if (WithMachine)
        WithMachine([&](TDebugger& debugger, const TCCPUBase& cpu) {
            request = TWatchList::Parse(text.toStdString(), debugger.Map(), &cpu, error);
        });
    Change(WatchPanel, [&](TDebugger& debugger) {
        if (!request) return "无法设置监视点Cannot set a watchpoint: " + error;
        debugger.Watches().Add(*request);
        return std::string();
    });
}

// A row's rows, read from the machine; while a run goes on the rows shown are from its last
// stop, so none are read.
std::vector<TStackPanel::TVariableRow> TCodeTab::ExpandVariable(const TValueNode& node) {
    std::vector<TStackPanel::TVariableRow> rows;
    if (!FStackCurrent || !WithMachine) {
        rows.push_back({QString(),
                        QString(),
                        QStringLiteral("运行中，暂停后再展开。Running: pause to expand."),
                        QString(),
                        false,
                        {}});
        return rows;
    }
    WithMachine([&](TDebugger& debugger, const TCCPUBase& cpu) {
        const TValueReader reader(debugger.Map().Info(), cpu.Memory.Buffer(),
                                  static_cast<uint64_t>(cpu.Memory.Size()));
        for (const TValueNode& child : reader.Children(node))
            rows.push_back(
                {Q(child.Name), Q(child.Type), Q(child.Value), Q(child.Address), child.Expandable, child});
    });
    return rows;
}

TCodeTab::TSnapshot TCodeTab::Read(const TCCPUBase& cpu, TDebugger& debugger, bool withStack) {
    TSnapshot snapshot;
    snapshot.IPOffset = cpu.IPOffset;
    snapshot.Clock = cpu.Clock;
    const auto ip = static_cast<uint64_t>(cpu.IPOffset);
    snapshot.Place = Q(FormatPlace(PlaceAt(debugger.Map(), ip, TPlaceName::Symbol), TPlaceFormat::CodeTab));
    const int64_t used = std::min({cpu.Memory.UsedLength(), cpu.Memory.Size(), MaxShownImage});
    if (used > 0 && cpu.Memory.Buffer())
        snapshot.Image.assign(cpu.Memory.Buffer(), cpu.Memory.Buffer() + used);
    for (const TBreakpoint& item : debugger.Breakpoints().Items()) {
        for (uint64_t address : item.Where.Addresses)
            snapshot.Marks.emplace_back(address, item.Enabled);
        snapshot.BreakpointIds.push_back(item.Id);
        snapshot.Breakpoints.push_back({Q(item.Where.Text), item.Enabled, item.Hits, Q(item.Condition),
                                        item.Ignore, Q(item.ConditionError)});
    }
    for (const TWatchpoint& item : debugger.Watches().Items()) {
        snapshot.WatchIds.push_back(item.Id);
        snapshot.Watches.push_back({Q(item.Text()), item.Enabled, item.Hits, Q(item.Condition), item.Ignore,
                                    Q(item.ConditionError)});
    }
    snapshot.HasStack = withStack;
    if (!withStack) return snapshot;
    const std::vector<TStackFrame> frames = CallStack(cpu, debugger.Map());
    for (size_t i = 0; i < frames.size(); ++i) {
        const TStackFrame& frame = frames[i];
        snapshot.FrameAddresses.push_back(frame.Where);
        snapshot.Frames.push_back(
            {Q(frame.Function ? frame.Function->Name : debugger.Map().NameAt(frame.Where)), Q(frame.Text)});
        std::vector<TStackPanel::TVariableRow> rows;
        if (i < FramesWithVariables)
            for (const TVariableView& variable : FrameVariables(cpu, frame, &debugger.Map().Info()))
                rows.push_back(Row(variable));
        snapshot.FrameVariables.push_back(std::move(rows));
    }
    for (const TVariableView& variable : GlobalVariables(cpu, debugger.Map()))
        snapshot.Globals.push_back(Row(variable));
    return snapshot;
}

void TCodeTab::Show(const TSnapshot& snapshot, bool follow) {
    bool changed = FListing.SetImage(snapshot.Image.data(), snapshot.Image.size());
    FCurrent.reset();
    if (snapshot.IPOffset >= 0) {
        const auto ip = static_cast<uint64_t>(snapshot.IPOffset);
        const int64_t before = FListing.RowCount(TMode::Disassembly);
        FListing.AddEntry(ip);
        changed = changed || FListing.RowCount(TMode::Disassembly) != before;
        if (ip < snapshot.Image.size()) FCurrent = ip;
    }
    const bool stack = snapshot.HasStack;
    FStackCurrent = stack;
    if (stack) {
        FShown = snapshot;
    } else { // keep the stack and variables last read
        TSnapshot kept = std::move(FShown);
        FShown = snapshot;
        FShown.HasStack = kept.HasStack;
        FShown.Frames = std::move(kept.Frames);
        FShown.FrameAddresses = std::move(kept.FrameAddresses);
        FShown.FrameVariables = std::move(kept.FrameVariables);
        FShown.Globals = std::move(kept.Globals);
    }
    FShown.Image.clear(); // the listing keeps the bytes
    if (changed) CodeView->ListingChanged();
    CodePlace->setText(FShown.Place);
    RunClock->SetCount(FShown.Clock);
    UpdateMarks();
    BreakpointPanel->SetRows(FShown.Breakpoints);
    WatchPanel->SetRows(FShown.Watches);
    if (stack) {
        StackPanel->SetFrames(FShown.Frames);
        ShowVariables(0);
    }
    CodeView->SetCurrent(FCurrent, follow);
}

void TCodeTab::ShowVariables(int frame) {
    const auto& frames = FShown.FrameVariables;
    StackPanel->SetVariables(frame >= 0 && frame < static_cast<int>(frames.size())
                                 ? frames[static_cast<size_t>(frame)]
                                 : std::vector<TStackPanel::TVariableRow>{},
                             FShown.Globals);
}

void TCodeTab::UpdateMarks() {
    for (int mode = 0; mode < 3; ++mode) {
        std::map<int64_t, int>& rows = FMarkRows[mode];
        rows.clear();
        for (const auto& [address, enabled] : FShown.Marks) {
            const int64_t row = FListing.RowOfAddress(static_cast<TMode>(mode), address);
            if (row < 0) continue;
            int& mark = rows[row];
            mark = enabled ? 1 : (mark == 1 ? 1 : 2);
        }
    }
    CodeView->viewport()->update();
}

void TCodeTab::SetDebugInfo(std::optional<TDebugInfo> info) {
    std::vector<std::vector<std::string>> sources;
    if (info)
        for (const std::string& path : info->Sources)
            sources.push_back(ReadLines(path));
    const bool source = info && !info->Lines.empty();
    if (info)
        CodeInfo->setText(
            QStringLiteral("调试信息Debug information: %1 (%2 %3)")
                .arg(Q(TDebugInfo::PathFor(info->ImageName)), Q(info->Producer), Q(info->Options)));
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

void TCodeTab::OpenImage(const std::vector<uint8_t>& image, const std::optional<TDebugInfo>& info) {
    FListing.SetImage(image.data(), image.size());
    BreakpointPanel->Message->clear();
    WatchPanel->Message->clear();
    SetDebugInfo(info);
}

void TCodeTab::Change(TStopListPanel* panel, const std::function<std::string(TDebugger&)>& f) {
    if (!ChangeDebugger) return;
    std::string message;
    ChangeDebugger([&](TDebugger& debugger) { message = f(debugger); });
    panel->Message->setText(Q(message));
}

bool TCodeTab::ToggleBreakpointAt(int64_t row) {
    const TMode mode = CodeView->Mode();
    if (row < 0 || row >= FListing.RowCount(mode)) return false;
    const TCodeListing::TRow& data = FListing.Row(mode, row);
    if (mode == TMode::Source) {
        if (data.Kind != TCodeListing::TKind::SourceLine || !FListing.DebugInfo()) return false;
        // A line's breakpoint covers every range of its code: FILE:LINE. Clicking a line that
        // has one (at any of its starts) removes every breakpoint there.
        const std::string location =
            FListing.DebugInfo()->Sources[data.File] + ":" + std::to_string(data.Index);
        const uint32_t file = data.File, line = data.Index;
        Change(BreakpointPanel, [=](TDebugger& debugger) {
            const std::vector<uint64_t> starts = debugger.Map().LineStarts({file, line});
            bool removed = false;
            for (uint64_t start : starts)
                while (const TBreakpoint* item = debugger.Breakpoints().FindAt(start)) {
                    debugger.Breakpoints().Remove(item->Id);
                    removed = true;
                }
            if (removed) return std::string();
            std::string error;
            if (debugger.Breakpoints().Add(location, debugger.Map(), debugger.ImageLength(), error))
                return std::string();
            return "无法设置断点Cannot set a breakpoint: " + error;
        });
        return true;
    }
    const uint64_t address = FListing.AddressOfRow(mode, row);
    if (address == TCodeListing::NoAddress) return false;
    Change(BreakpointPanel, [address](TDebugger& debugger) {
        debugger.Breakpoints().Toggle(address, debugger.Map());
        return std::string();
    });
    return true;
}

uint64_t TCodeTab::CursorAddress() const {
    const TMode mode = CodeView->Mode();
    const int64_t row = CodeView->CursorRow();
    if (mode != TMode::Source) return FListing.AddressOfRow(mode, row);
    // A source line without code runs to the next line that has some.
    for (int64_t r = row; r >= 0 && r < FListing.RowCount(mode); ++r) {
        const TCodeListing::TRow& data = FListing.Row(mode, r);
        if (data.Kind == TCodeListing::TKind::FileHeader && r != row) break;
        if (data.Address != TCodeListing::NoAddress) return data.Address;
    }
    return TCodeListing::NoAddress;
}

void TCodeTab::ToggleBreakpointAtCursor() {
    ToggleBreakpointAt(CodeView->CursorRow() >= 0 ? CodeView->CursorRow() : CodeView->CurrentRow());
}

void TCodeTab::SetStaleNote(const QString& note) {
    CodeStale->setText(note);
    CodeStale->setVisible(!note.isEmpty());
}
