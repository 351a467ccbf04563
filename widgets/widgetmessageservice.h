#pragma once

#include "messageservice.h"

#include <QPointer>
#include <QWidget>

namespace nimbra {

// Message boxes on the user-interface thread. A worker thread that asks is blocked until the
// user has answered.
class WidgetMessageService final : public MessageService
{
public:
    explicit WidgetMessageService(QWidget* parent) : m_parent(parent) {}

    void inform(const QString& text) override;
    void error(const QString& text) override;
    Answer ask(const QString& text, const QString& caption = {}) override;

private:
    template <typename F> void onUiThread(F&& show);
    void show(int icon, const QString& text);

    QPointer<QWidget> m_parent;
};

} // namespace nimbra
