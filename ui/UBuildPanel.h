#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "USourceBuild.h"

class QFileDialog;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// Building from the window: "打开源程序…" picks a .c or .s file and builds it (TSourceBuild),
// "重新编译" builds the last one again. While a build runs, Bar shows a busy indicator and a
// cancel button; the tool's messages are listed in the panel, and a click on one with a
// place shows that line of its file below the list.
//
// Bar goes into the code tab's top row, the panel into its side panels. Window's thread only.
class TBuildPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TBuildPanel(QWidget* parent = nullptr);

    // Asks for a source with OpenSourceDlg, then builds it.
    void OpenSource();
    // Builds the last source again; without one it is OpenSource.
    void Rebuild();
    // Builds source now (also what the two above end in). Ignored while a build runs.
    void BuildSource(const QString& source);

    // Selects the last build's first error in the list (its line shown below).
    void ShowFirstError();

    // The machine's memory size, for the C compiler; set by the window.
    std::function<int64_t()> MemorySize;
    const QString& LastSource() const { return FLastSource; }
    TSourceBuild* Build() const { return FBuild; }

    QWidget* Bar = nullptr;
    QPushButton* BtnOpenSource = nullptr;
    QPushButton* BtnRebuild = nullptr;
    QProgressBar* BuildBusy = nullptr;
    QPushButton* BtnCancelBuild = nullptr;
    QLabel* BuildStatus = nullptr;
    QListWidget* BuildMessages = nullptr;
    QPlainTextEdit* BuildSourceView = nullptr;
    QFileDialog* OpenSourceDlg = nullptr;

  signals:
    // A build succeeded: the window opens image as Open would.
    void Built(const QString& image);
    // A build failed: the panel should be brought to the front. summary: one line for the
    // window's log.
    void Failed(const QString& summary);

  private:
    void Finished(bool ok, const QString& source, const QString& image,
                  const std::vector<TSourceBuild::TMessage>& messages);
    void SetBusy(bool busy);
    // Shows the file of the clicked message in BuildSourceView, its line selected.
    void ShowPlace(int row);

    TSourceBuild* FBuild = nullptr;
    QString FLastSource;
    std::vector<TSourceBuild::TMessage> FMessages;
};
