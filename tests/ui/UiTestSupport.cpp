#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <algorithm>

namespace tovik::test {
namespace {

// The widgets need a QApplication before the first test runs; gtest_main
// owns main(), so it comes from an environment registered at start-up.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QApplication::instance()) return;
        static int argc = 1;
        static char name[] = "tovik-ui-tests";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = new QApplication(argc, argv);
    }

private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace

void RecordingPrompts::Error(const QString& title, const QString& text) {
    records.push_back({QStringLiteral("error"), title, text, false});
}

bool RecordingPrompts::Question(const QString& title, const QString& text, bool defaultYes) {
    records.push_back({QStringLiteral("question"), title, text, defaultYes});
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

QString RecordingPrompts::OpenFile(QWidget*, const QString& title, const QString& folder, const QString& filters) {
    records.push_back({QStringLiteral("file"), title, {}, false});
    lastFolder = folder;
    lastFilters = filters;
    return fileToChoose;
}

std::vector<QString> RecordingPrompts::Errors() const {
    std::vector<QString> out;
    for (const auto& r : records)
        if (r.kind == QStringLiteral("error")) out.push_back(r.text);
    return out;
}

std::vector<QWidget*> TabOrderOf(const std::vector<QWidget*>& widgets) {
    std::vector<QWidget*> order;
    if (widgets.empty()) return order;
    QWidget* w = widgets.front();
    do {
        if (std::find(widgets.begin(), widgets.end(), w) != widgets.end()) order.push_back(w);
        w = w->nextInFocusChain();
    } while (w && w != widgets.front() && order.size() < widgets.size());
    return order;
}

std::string FocusChainNames(QWidget* start) {
    std::string out;
    QWidget* w = start;
    do {
        out += (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName())
                   .toStdString();
        out += ' ';
        w = w->nextInFocusChain();
    } while (w && w != start);
    return out;
}

ScratchDir::ScratchDir() : oldCwd_(QDir::currentPath()) {}

ScratchDir::~ScratchDir() { QDir::setCurrent(oldCwd_); }

void ScratchDir::MakeProfilesDir() const { QDir(dir_.path()).mkdir(QStringLiteral("PROFILES")); }

}  // namespace tovik::test
