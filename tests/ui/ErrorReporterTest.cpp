#include "ui/ErrorReporter.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "text/Errors.h"

namespace tovik {
namespace {

// Reports again from inside the box, as a nested event loop would.
class ReenteringPrompts : public test::RecordingPrompts {
public:
    void Error(const QString& title, const QString& text) override {
        RecordingPrompts::Error(title, text);
        if (reporter && depth++ == 0) {
            reporter->Report(again);
            reporter->Report("Asynchroner Socket-Fehler 5");
        }
    }
    ErrorReporter* reporter = nullptr;
    std::string again;
    int depth = 0;
};

TEST(ErrorReporterTest, ShowsTheTextConvertedFromWindows1252) {
    test::RecordingPrompts prompts;
    ErrorReporter reporter(prompts);
    reporter.Report(ConvertError("abc").what());
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].kind, QStringLiteral("error"));
    EXPECT_EQ(prompts.records[0].title, QStringLiteral("Tovik-B0T"));
    EXPECT_EQ(prompts.records[0].text, QStringLiteral("'abc' ist kein gültiger Integerwert"));
}

TEST(ErrorReporterTest, ATextWhoseBoxIsOpenIsNotShownAgain) {
    ReenteringPrompts prompts;
    ErrorReporter reporter(prompts);
    prompts.reporter = &reporter;
    prompts.again = "In x kann nicht geschrieben werden";
    reporter.Report("In x kann nicht geschrieben werden");
    // The same text was suppressed, a different one still came up.
    ASSERT_EQ(prompts.Errors().size(), 2u);
    EXPECT_EQ(prompts.Errors()[0], QStringLiteral("In x kann nicht geschrieben werden"));
    EXPECT_EQ(prompts.Errors()[1], QStringLiteral("Asynchroner Socket-Fehler 5"));
    // Once the box is closed, the text can come up again.
    reporter.Report("In x kann nicht geschrieben werden");
    EXPECT_EQ(prompts.Errors().size(), 3u);
}

TEST(ErrorReporterTest, GuardCatchesEveryExceptionAndReportsIt) {
    test::RecordingPrompts prompts;
    ErrorReporter reporter(prompts);
    EXPECT_FALSE(reporter.Guard([] { throw FileCreateError("/x/a.log"); }));
    EXPECT_FALSE(reporter.Guard([] { throw std::runtime_error("boom"); }));
    EXPECT_FALSE(reporter.Guard([] { throw 42; }));
    EXPECT_TRUE(reporter.Guard([] {}));
    ASSERT_EQ(prompts.Errors().size(), 3u);
    EXPECT_EQ(prompts.Errors()[0], QStringLiteral("Datei /x/a.log kann nicht erstellt werden"));
    EXPECT_EQ(prompts.Errors()[1], QStringLiteral("boom"));
    EXPECT_EQ(prompts.Errors()[2], QStringLiteral("Unbekannter Fehler"));
}

}  // namespace
}  // namespace tovik
