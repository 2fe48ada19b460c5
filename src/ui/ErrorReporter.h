#pragma once
// The program's one error report: a failure ends the handler in which it
// arose, and its German text is shown in a message box; the program then
// goes on with the next event.

#include <exception>
#include <set>
#include <string>

#include "text/Errors.h"

namespace tovik {

class UserPrompts;

class ErrorReporter {
public:
    explicit ErrorReporter(UserPrompts& prompts) : prompts_(prompts) {}

    // Shows the text (Windows-1252) in a modal error box. A text whose box
    // is still open is not shown again: a broken setting fails on every
    // received line, and a stack of identical boxes helps nobody.
    void Report(const std::string& text);

    // Runs one handler; whatever it throws ends it here and is reported, so
    // that no exception ever crosses the Qt event loop.
    template <typename Handler>
    bool Guard(Handler&& handler) noexcept {
        try {
            handler();
            return true;
        } catch (const std::exception& e) {
            ReportNoThrow(e.what());
        } catch (...) {
            ReportNoThrow("Unbekannter Fehler");
        }
        return false;
    }

private:
    void ReportNoThrow(const char* text) noexcept;

    UserPrompts& prompts_;
    std::set<std::string> onScreen_;
};

}  // namespace tovik
