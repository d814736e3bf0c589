#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace ktb {

// The text a failure's message is shown with: a full stop is added when the last
// character sorts after '.', so "...)" and "..." stay as they are.
QString errorReportText(const QString &message);

// Shows one failure to the operator. Replaceable so that tests can observe the
// report instead of opening a modal box on a headless display.
using FailureReporter = std::function<void(const QString &text)>;
void setFailureReporter(FailureReporter reporter);

// The application's default error report for a failure that leaves a handler.
void reportFailure(const std::exception &failure);
void reportFailure(const QString &message);

// Runs one handler entry point from the event loop. Qt does not let exceptions
// cross its event dispatch, so every entry point ends here with the failure reported.
template <typename Handler> void runGuarded(Handler &&handler)
{
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception &failure) {
        reportFailure(failure);
    } catch (...) {
        reportFailure(QStringLiteral("Unknown failure"));
    }
}

} // namespace ktb
