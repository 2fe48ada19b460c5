// The dialogs by keyboard alone: every "&" mnemonic presses its button, and
// every field that has no caption of its own still has a name for screen
// readers. The dialogs are shown (not run modally), so nothing can block.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QApplication>
#include <QTest>
#include <vector>

#include "TestSupport.h"
#include "app/LogBook.h"
#include "app/ProfileSession.h"
#include "UiTestSupport.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"
#include "ui/ErrorReporter.h"
#include "ui/GeneralOptionsForm_Unit.h"
#include "ui/IRCOptions_Unit.h"
#include "ui/InfoForm_Unit.h"
#include "ui/PersonalDataOptionsForm_Unit.h"
#include "ui/ProfileForm_Unit.h"

namespace tovik {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class NullHost : public ProfileHost {
public:
    void SetProfileStatus(const QString& text) override { status = text; }
    void SetProfileControlsEnabled(bool) override {}
    QString status;
};

// Shows the window and makes it the active one, as a mnemonic only reaches
// the active window.
bool ShowActive(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// Presses Alt+key in the window's focused control and returns the button
// that the mnemonic clicked (a mnemonic clicks with a short animation, so
// this waits for the click), or nullptr when none was clicked.
QAbstractButton* PressAlt(QWidget* window, Qt::Key key) {
    QAbstractButton* clicked = nullptr;
    std::vector<QMetaObject::Connection> connections;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        connections.push_back(QObject::connect(button, &QAbstractButton::clicked, [&clicked, button] {
            if (!clicked) clicked = button;
        }));
    QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, key, Qt::AltModifier);
    test::WaitUntil([&] { return clicked != nullptr; }, 1000);
    for (const auto& c : connections) QObject::disconnect(c);
    return clicked;
}

// Every input control either is the buddy of a caption label or carries an
// accessible name; every button and group shows a caption.
void ExpectAccessible(QWidget* window) {
    QList<QWidget*> buddies;
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->buddy()) buddies << label->buddy();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool input = qobject_cast<QLineEdit*>(w) || qobject_cast<QListWidget*>(w) ||
                           (qobject_cast<QComboBox*>(w) != nullptr);
        if (input && !qobject_cast<QComboBox*>(w->parentWidget())) {
            EXPECT_FALSE(w->accessibleName().isEmpty() && !buddies.contains(w))
                << window->objectName().toStdString() << ": " << w->objectName().toStdString();
        }
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_FALSE(button->text().isEmpty()) << button->objectName().toStdString();
        }
        if (auto* group = qobject_cast<QGroupBox*>(w)) {
            EXPECT_FALSE(group->title().isEmpty()) << group->objectName().toStdString();
        }
    }
}

class KeyboardTest : public ::testing::Test {
protected:
    KeyboardTest() : context(dir.Path(), "anna"), reporter(prompts) {
        dir.MakeProfilesDir();
        WriteFileBytes(context.ProfilePath(), "");
    }

    test::ScratchDir dir;
    ProfileContext context;
    LogBook book;
    ProfileSession session{context, book};
    test::RecordingPrompts prompts;
    ErrorReporter reporter;
    Random random{[] { return 4711u; }};
};

TEST_F(KeyboardTest, ProfileManagerButtonsAnswerTheirMnemonics) {
    NullHost host;
    TProfileForm form(session, host, prompts, reporter);
    ASSERT_TRUE(ShowActive(&form));
    ExpectAccessible(&form);

    // Alt+A creates the typed profile and closes the dialog.
    form.ProfileEdit->setText(QStringLiteral("berta"));
    EXPECT_EQ(PressAlt(&form, Qt::Key_A), form.CreateButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(context.CurrentProfile(), "berta");

    // Alt+S deletes without closing; Alt+L loads and closes.
    ASSERT_TRUE(ShowActive(&form));
    form.ProfileEdit->setText(QStringLiteral("berta"));
    EXPECT_EQ(PressAlt(&form, Qt::Key_S), form.DeleteButton);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(context.CurrentProfile(), "");
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/berta.ini"), "");
    form.ProfileEdit->setText(QStringLiteral("anna"));
    EXPECT_EQ(PressAlt(&form, Qt::Key_L), form.LoadButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(context.CurrentProfile(), "anna");

    // Alt+B cancels.
    ASSERT_TRUE(ShowActive(&form));
    QSignalSpy rejected(&form, &QDialog::rejected);
    EXPECT_EQ(PressAlt(&form, Qt::Key_B), form.CancelButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(rejected.count(), 1);
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(KeyboardTest, ProfileManagerIgnoresEnterAndEscape) {
    NullHost host;
    TProfileForm form(session, host, prompts, reporter);
    ASSERT_TRUE(ShowActive(&form));
    form.ProfileEdit->setFocus();
    form.ProfileEdit->setText(QStringLiteral("caesar"));
    QTest::keyClick(form.ProfileEdit, Qt::Key_Return);
    QTest::keyClick(form.ProfileEdit, Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible()) << "no button is the keyboard's default or cancel button";
    EXPECT_EQ(context.CurrentProfile(), "anna");
    form.close();
}

TEST_F(KeyboardTest, EnterPressesTheFocusedButtonOnly) {
    TGeneralOptionsForm general(context, reporter);
    ASSERT_TRUE(ShowActive(&general));
    general.CharTimeEdit->setFocus();
    general.CharTimeEdit->setText(QStringLiteral("9"));
    QTest::keyClick(general.CharTimeEdit, Qt::Key_Return);
    EXPECT_TRUE(general.isVisible()) << "Enter in a field presses no button";
    general.ApplyButton->setFocus();
    QTest::keyClick(general.ApplyButton, Qt::Key_Return);
    EXPECT_FALSE(general.isVisible());
    EXPECT_EQ(ReadFileBytes(context.ProfilePath()), "[General]\r\nCharTime=9\r\n");

    NullHost host;
    TProfileForm form(session, host, prompts, reporter);
    ASSERT_TRUE(ShowActive(&form));
    form.ProfileEdit->setText(QStringLiteral("dora"));
    form.LoadButton->setFocus();
    QTest::keyClick(form.LoadButton, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(context.CurrentProfile(), "dora");
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(KeyboardTest, SettingsDialogsApplyWithAltBAndCancelWithAltA) {
    TGeneralOptionsForm general(context, reporter);
    ASSERT_TRUE(ShowActive(&general));
    ExpectAccessible(&general);
    general.CharTimeEdit->setText(QStringLiteral("7"));
    EXPECT_EQ(PressAlt(&general, Qt::Key_A), general.CancelButton);
    EXPECT_FALSE(general.isVisible());
    EXPECT_EQ(ReadFileBytes(context.ProfilePath()), "");
    ASSERT_TRUE(ShowActive(&general));
    general.CharTimeEdit->setText(QStringLiteral("7"));
    EXPECT_EQ(PressAlt(&general, Qt::Key_B), general.ApplyButton);
    EXPECT_FALSE(general.isVisible());
    EXPECT_EQ(ReadFileBytes(context.ProfilePath()), "[General]\r\nCharTime=7\r\n");

    TIRCOptionsForm irc(context, reporter);
    ASSERT_TRUE(ShowActive(&irc));
    ExpectAccessible(&irc);
    irc.BotNickEdit->setText(QStringLiteral("Nick"));
    // The account's captions lead to their fields.
    QTest::keyClick(irc.focusWidget(), Qt::Key_K, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), irc.SASLAccountEdit);
    QTest::keyClick(irc.focusWidget(), Qt::Key_W, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), irc.SASLPasswordEdit);
    // So do the photo's, and the router's box toggles.
    QTest::keyClick(irc.focusWidget(), Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), irc.OwnAddressEdit);
    QTest::keyClick(irc.focusWidget(), Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), irc.DCCPortEdit);
    EXPECT_EQ(PressAlt(&irc, Qt::Key_R), irc.MapPortCheckBox);
    EXPECT_TRUE(irc.MapPortCheckBox->isChecked());
    EXPECT_EQ(PressAlt(&irc, Qt::Key_B), irc.ApplyButton);
    EXPECT_FALSE(irc.isVisible());
    EXPECT_NE(ReadFileBytes(context.ProfilePath()).find("BotNick=Nick\r\n"), std::string::npos);

    TPersonDataOptionsForm person(context, random, prompts, reporter);
    ASSERT_TRUE(ShowActive(&person));
    ExpectAccessible(&person);
    EXPECT_EQ(PressAlt(&person, Qt::Key_G), person.GenerateButton);
    EXPECT_TRUE(person.isVisible());
    EXPECT_NE(person.PreNameEdit->text(), QStringLiteral("Tovik")) << "Alt+G generated a persona";
    EXPECT_EQ(PressAlt(&person, Qt::Key_A), person.CancelButton);
    EXPECT_FALSE(person.isVisible());
    EXPECT_EQ(ReadFileBytes(context.ProfilePath()).find("PersonData"), std::string::npos);
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(KeyboardTest, InfoClosesWithAltS) {
    TInfoForm info;
    ASSERT_TRUE(ShowActive(&info));
    ExpectAccessible(&info);
    EXPECT_EQ(info.VersionLabel->text(), QStringLiteral("Version: 0.10 BETA"));
    EXPECT_EQ(PressAlt(&info, Qt::Key_S), info.CloseButton);
    EXPECT_FALSE(info.isVisible());
}

}  // namespace
}  // namespace tovik
