#include "widgetmessageservice.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

namespace nimbra {

template <typename F> void WidgetMessageService::onUiThread(F&& show)
{
    QObject* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        show();
    else
        QMetaObject::invokeMethod(app, std::forward<F>(show), Qt::BlockingQueuedConnection);
}

void WidgetMessageService::show(int icon, const QString& text)
{
    onUiThread([this, icon, &text] {
        QMessageBox box(static_cast<QMessageBox::Icon>(icon), QCoreApplication::applicationName(),
                        text, QMessageBox::Ok, m_parent);
        box.exec();
    });
}

void WidgetMessageService::inform(const QString& text)
{
    show(QMessageBox::NoIcon, text);
}

void WidgetMessageService::error(const QString& text)
{
    show(QMessageBox::Critical, text);
}

MessageService::Answer WidgetMessageService::ask(const QString& text, const QString& caption)
{
    Answer answer = Answer::Cancel;
    onUiThread([this, &text, &caption, &answer] {
        QMessageBox box(QMessageBox::Warning,
                        caption.isEmpty() ? QCoreApplication::applicationName() : caption, text,
                        QMessageBox::Ok | QMessageBox::Cancel, m_parent);
        box.setDefaultButton(QMessageBox::Cancel);
        answer = box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
    });
    return answer;
}

} // namespace nimbra
