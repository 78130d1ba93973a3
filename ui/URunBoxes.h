#pragma once
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <utility>

class QWidget;
class TExecution;

// The boxes that report what the run thread did: the end message and the run's error box.
// They are shown with QMessageBox::open(), never a nested event loop, so a box never waits
// inside a wait for the run thread. Window's thread only.
class TRunBoxes {
  public:
    // parent: the window; beforeShow: called before a box appears (the window brings its
    // monitor up to date, so the box reports an end of output the user already sees).
    TRunBoxes(QWidget* parent, std::function<void()> beforeShow)
        : FParent(parent), FBeforeShow(std::move(beforeShow)) {}

    // The end message of run `run`, unless that run has been ended or replaced since it
    // asked for it; closing it tells the execution. With abnormal (an abnormal end's text,
    // TProgramEnd::Text) that text, in a warning box named "AbnormalEndMessage", in its place.
    void ShowEndMessage(TExecution& execution, uint64_t run, const QString& abnormal = {});
    // The application's error box, as for a failing step.
    void ShowFailure(const QString& message);
    // Closes every box still open (their runs are over or being ended).
    void CloseAll();

  private:
    QMessageBox* Open(QMessageBox::Icon icon, const QString& caption, const QString& text);

    QWidget* FParent;
    std::function<void()> FBeforeShow;
    QList<QPointer<QMessageBox>> FBoxes;
};
