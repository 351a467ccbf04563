#pragma once

#include "messageservice.h"

#include <cstdio>

namespace nimbra::bench {

// A message during a bench means its figures are void: it goes to the console, and every
// question is answered Cancel.
class ConsoleMessages final : public MessageService
{
public:
    void inform(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    Answer ask(const QString& text, const QString&) override
    {
        inform(text);
        return Answer::Cancel;
    }
};

} // namespace nimbra::bench
