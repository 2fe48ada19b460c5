#include "ui/ErrorReporter.h"

#include <QString>

#include "ui/TextConvert.h"
#include "ui/UserPrompts.h"

namespace tovik {

void ErrorReporter::Report(const std::string& text) {
    if (!onScreen_.insert(text).second) return;
    // The box runs its own event loop, in which the same failure may come up
    // again; the text stays marked until the operator has closed the box.
    struct Unmark {
        std::set<std::string>& set;
        const std::string& text;
        ~Unmark() { set.erase(text); }
    } unmark{onScreen_, text};
    prompts_.Error(QStringLiteral("Tovik-B0T"), ToQt(text));
}

void ErrorReporter::ReportNoThrow(const char* text) noexcept {
    try {
        Report(text);
    } catch (...) {
        // Nothing sensible is left to do when showing an error fails.
    }
}

}  // namespace tovik
