#pragma once

#include "dialogitems.h"

#include <QAbstractButton>
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

// A click on the button of id, and whatever exchange with the station it started.
inline bool pressAndWait(const QWidget* dialog, int id)
{
    item<QAbstractButton>(dialog, id)->click();
    return waitForExchange(dialog);
}

} // namespace nimbra::test
