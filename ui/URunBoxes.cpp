#include "URunBoxes.h"

#include <QCoreApplication>
#include <utility>

#include "UCommandGuard.h"
#include "UExecution.h"

QMessageBox* TRunBoxes::Open(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    if (FBeforeShow) FBeforeShow();
    auto* box = new QMessageBox(icon, caption, text, QMessageBox::Ok, FParent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    FitCaption(box);
    FBoxes.removeAll(nullptr);
    FBoxes.append(box);
    return box;
}

void TRunBoxes::ShowEndMessage(TExecution& execution, uint64_t run, const QString& abnormal) {
    // A run ended or replaced since it posted this (Open, a re-size, Run, closing) waits for
    // no message any more.
    if (!execution.EndMessageDue(run)) return;
    QMessageBox* box = Open(abnormal.isEmpty() ? QMessageBox::NoIcon : QMessageBox::Warning,
                            QString::fromUtf8(TRunHost::EndCaption),
                            abnormal.isEmpty() ? QString::fromUtf8(TRunHost::EndMessage) : abnormal);
    box->setObjectName(abnormal.isEmpty() ? QStringLiteral("EndMessage") : QStringLiteral("AbnormalEndMessage"));
    // The body waits for this with ThreadActive still set; a close for a run that has been
    // replaced meanwhile is ignored by the execution.
    QObject::connect(box, &QDialog::finished, box, [&execution, run] { execution.EndMessageClosed(run); });
    box->open();
}

void TRunBoxes::ShowFailure(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && !text.endsWith(u'.')) text += u'.';
    QMessageBox* box = Open(QMessageBox::Critical, QCoreApplication::applicationName(), text);
    box->setObjectName(QStringLiteral("ErrorBox"));
    box->open();
}

void TRunBoxes::CloseAll() {
    for (const QPointer<QMessageBox>& box : std::exchange(FBoxes, {}))
        if (box) box->done(QMessageBox::Ok);
}
