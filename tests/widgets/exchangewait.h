#pragma once

#include <QTest>
#include <QWidget>

namespace nimbra::test {

// A dialog shows the busy cursor exactly while its exchange with the station runs.
inline bool exchangeRunning(const QWidget* dialog)
{
    return dialog->testAttribute(Qt::WA_SetCursor) && dialog->cursor().shape() == Qt::WaitCursor;
}

// Runs the event loop until the dialog's exchange has ended and its outcome has been handled.
// The bound only keeps a hung exchange from hanging the test.
inline bool waitForExchange(const QWidget* dialog)
{
    return QTest::qWaitFor([dialog] { return !exchangeRunning(dialog); }, 20000);
}

} // namespace nimbra::test
