// The window tests' common set-up: a fresh main window per test function, shown and exposed
// before the test starts and destroyed after it. Qt Test finds the special slots below in a
// derived test class through its meta-object; a test class adds its own steps through
// AfterShow and AfterClose.
#pragma once
#include <QObject>
#include <QtTest>
#include <memory>

#include "UCommandGuard.h"
#include "UFrmMain.h"

class TWindowFixture : public QObject {
    Q_OBJECT

  protected:
    std::unique_ptr<TFrmMain> Window;

    // Runs once the window is exposed, before each test function.
    virtual void AfterShow() {}
    // Runs once the window is destroyed, after each test function.
    virtual void AfterClose() {}

  private slots:
    void initTestCase() { SetApplicationTitle(); }
    void init() {
        Window = std::make_unique<TFrmMain>(TThreadPriority::Normal);
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
        AfterShow();
    }
    void cleanup() {
        Window.reset();
        AfterClose();
    }
};
