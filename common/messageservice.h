#pragma once

#include <QString>

namespace nimbra {

// Every message box of the program goes through here, so workers can ask without touching a
// widget and tests can answer from a script.
class MessageService
{
public:
    enum class Answer
    {
        Ok,
        Cancel
    };

    virtual ~MessageService() = default;

    // A text with an OK button and no caption of its own. Blocks until it is dismissed.
    virtual void inform(const QString& text) = 0;
    // The same with the error icon. A service that shows no icons informs.
    virtual void error(const QString& text) { inform(text); }
    // OK and Cancel with the exclamation icon, Cancel as the default button.
    virtual Answer ask(const QString& text, const QString& caption = {}) = 0;
};

} // namespace nimbra
