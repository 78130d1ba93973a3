#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

// The about box: created once at start-up, hidden between showings, same texts every time.
class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QLabel* CopyrightEn = nullptr;
    QLabel* CommentsEn = nullptr;
    QPushButton* OKButton = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
};

extern TAboutBox* AboutBox;
