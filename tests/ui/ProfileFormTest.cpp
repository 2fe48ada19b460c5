#include "ui/ProfileForm_Unit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/LogBook.h"
#include "app/ProfileSession.h"
#include "profile/ProfileStore.h"
#include "text/Cp1252.h"
#include "text/Literal.h"
#include "ui/ErrorReporter.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::ReadFileBytes;
using test::WriteFileBytes;

// Names in these tests are Windows-1252 text; the files on disk are named in UTF-8.
bool Exists(const std::string& path) { return ::access(NativePath(path).c_str(), F_OK) == 0; }

class FakeHost : public ProfileHost {
public:
    void SetProfileStatus(const QString& text) override { status = text; }
    void SetProfileControlsEnabled(bool enabled) override { controls = enabled ? 1 : 0; }
    QString status = QStringLiteral("Profil: [kein Profil geladen ...]");
    int controls = -1;  // -1: never set
};

class ProfileFormTest : public ::testing::Test {
protected:
    ProfileFormTest() : context(dir.Path()), reporter(prompts), form(session, host, prompts, reporter) {}

    QStringList Entries() const {
        QStringList out;
        for (int i = 0; i < form.ProfileListBox->count(); ++i) out << form.ProfileListBox->item(i)->text();
        return out;
    }
    void AddProfileFile(const std::string& name, std::string_view bytes = "") {
        dir.MakeProfilesDir();
        WriteFileBytes(NativePath(dir.Profiles() + "/" + name + ".ini"), bytes);
    }
    bool ButtonsEnabled() const {
        return form.CreateButton->isEnabled() && form.LoadButton->isEnabled() && form.DeleteButton->isEnabled();
    }
    bool ButtonsDisabled() const {
        return !form.CreateButton->isEnabled() && !form.LoadButton->isEnabled() && !form.DeleteButton->isEnabled();
    }

    test::ScratchDir dir;
    ProfileContext context;
    LogBook book;
    ProfileSession session{context, book};
    FakeHost host;
    test::RecordingPrompts prompts;
    ErrorReporter reporter;
    TProfileForm form;
};

TEST_F(ProfileFormTest, LooksAsDesigned) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("--] Profil [--"));
    EXPECT_EQ(form.size(), QSize(322, 138));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.LoadButton->text(), QStringLiteral("&Laden"));
    EXPECT_EQ(form.CreateButton->text(), QStringLiteral("&Anlegen"));
    EXPECT_EQ(form.DeleteButton->text(), QStringLiteral("Lö&schen"));
    EXPECT_EQ(form.CancelButton->text(), QStringLiteral("A&bbrechen"));
    EXPECT_EQ(form.ProfileListBox->size(), QSize(225, 97));
    EXPECT_TRUE(ButtonsDisabled());
    EXPECT_TRUE(form.CancelButton->isEnabled());
    for (QPushButton* b : {form.LoadButton, form.CreateButton, form.DeleteButton, form.CancelButton}) {
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
    }
    const std::vector<QWidget*> order{form.ProfileListBox, form.ProfileEdit,  form.LoadButton,
                                      form.CreateButton,   form.DeleteButton, form.CancelButton};
    EXPECT_EQ(test::TabOrderOf(order), order) << test::FocusChainNames(&form);
}

TEST_F(ProfileFormTest, NoProfilesDirectoryShowsTheDisabledLine) {
    form.FormShow();
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Keine Profile gefunden...")});
    EXPECT_FALSE(form.ProfileListBox->isEnabled());
}

TEST_F(ProfileFormTest, ListIsSortedWithoutRegardToCaseAndClickFillsTheName) {
    AddProfileFile("Zebra");
    AddProfileFile("anna");
    AddProfileFile("\xC4rger");        // Ärger: among the A names, as in a German list
    AddProfileFile("notes", "x");
    WriteFileBytes(dir.Profiles() + "/readme.txt", "x");
    WriteFileBytes(dir.Profiles() + "/UPPER.INI", "");
    form.FormShow();
    EXPECT_TRUE(form.ProfileListBox->isEnabled());
    EXPECT_EQ(Entries(), (QStringList{QStringLiteral("anna"), QStringLiteral("Ärger"), QStringLiteral("notes"),
                                      QStringLiteral("UPPER"), QStringLiteral("Zebra")}));
    EXPECT_TRUE(ButtonsDisabled());
    form.ProfileListBox->setCurrentRow(4);
    EXPECT_EQ(form.ProfileEdit->text(), QStringLiteral("Zebra"));
    EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(ProfileFormTest, ListingMovesTheWorkingDirectoryButNotTheProgramDirectory) {
    dir.MakeProfilesDir();
    form.FormShow();
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(QString::fromStdString(dir.Profiles())).canonicalPath());
    EXPECT_EQ(context.ProgramDirectory(), dir.Path());
    EXPECT_EQ(context.ProfileFileOf("x"), dir.Path() + "/PROFILES/x.ini");
}

TEST_F(ProfileFormTest, ChangeRuleFollowsOnlyWhetherTheNameIsEmpty) {
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("gibtsnicht"));
    EXPECT_TRUE(ButtonsEnabled());
    form.ProfileEdit->clear();
    EXPECT_TRUE(ButtonsDisabled());
}

TEST_F(ProfileFormTest, CreateMakesTheDirectoryAndAnEmptyFileAndLoadsIt) {
    QSignalSpy finished(&form, &QDialog::finished);
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("Müller"));
    form.CreateButtonClick();
    ASSERT_TRUE(Exists(dir.Profiles() + "/M\xFCller.ini"));
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/M\xFCller.ini"), "");
    EXPECT_EQ(context.CurrentProfile(), "M\xFCller");
    EXPECT_EQ(host.status, QStringLiteral("Profil: Müller"));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(host.controls, 1) << "closing with a profile enables settings and Online";
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(ProfileFormTest, CreateOverAnEqualEntryAsksAndNoChangesNothing) {
    AddProfileFile("Anna", "[IRC]\r\nPort=1\r\n");
    QSignalSpy finished(&form, &QDialog::finished);
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("aNNA"));
    prompts.answers = {false};
    form.CreateButtonClick();
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].kind, QStringLiteral("question"));
    EXPECT_EQ(prompts.records[0].title, QStringLiteral("Profil existiert bereits..."));
    EXPECT_EQ(prompts.records[0].text,
              QStringLiteral("Das Profil existiert bereits. Möchten Sie das vorhandene Profil überschreiben?"));
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/Anna.ini"), "[IRC]\r\nPort=1\r\n");
    EXPECT_EQ(context.CurrentProfile(), "");
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(ProfileFormTest, CreateOverAnEqualEntryWithYesTruncatesAndLoads) {
    AddProfileFile("anna", "[IRC]\r\nPort=1\r\n");
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("anna"));
    prompts.answers = {true};
    form.CreateButtonClick();
    EXPECT_EQ(prompts.records.size(), 1u);
    ASSERT_TRUE(Exists(dir.Profiles() + "/anna.ini"));
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/anna.ini"), "");
    EXPECT_EQ(context.CurrentProfile(), "anna");
    EXPECT_EQ(host.status, QStringLiteral("Profil: anna"));
}

TEST_F(ProfileFormTest, UmlautEntriesCompareWithCodePageLowercasing) {
    AddProfileFile("\xC4RGER");  // ÄRGER
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("ärger"));
    prompts.answers = {false};
    form.CreateButtonClick();
    EXPECT_EQ(prompts.records.size(), 1u);
}

TEST_F(ProfileFormTest, EveryEqualEntryIsAskedAboutInTurn) {
    // Two entries equal without regard to case (the file system tells them apart).
    AddProfileFile("Tom");
    AddProfileFile("tom");
    form.FormShow();
    EXPECT_EQ(Entries(), (QStringList{QStringLiteral("Tom"), QStringLiteral("tom")}));
    form.ProfileEdit->setText(QStringLiteral("TOM"));
    prompts.answers = {true, false};
    form.CreateButtonClick();
    EXPECT_EQ(prompts.records.size(), 2u);
    EXPECT_EQ(context.CurrentProfile(), "") << "the second No stopped the creation";
    prompts.answers = {true, true};
    form.CreateButtonClick();
    EXPECT_EQ(prompts.records.size(), 4u);
    EXPECT_EQ(context.CurrentProfile(), "TOM");
}

TEST_F(ProfileFormTest, CreateFailureIsReportedAndChangesNothing) {
    // A plain file where the profiles directory should be.
    WriteFileBytes(dir.Profiles(), "not a directory");
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("anna"));
    QSignalSpy finished(&form, &QDialog::finished);
    form.CreateButtonClick();
    // The lock comes first, and without it nothing is created.
    EXPECT_EQ(prompts.Errors(), std::vector<QString>{QString::fromStdString(
                                    "Das Profil \"anna\" wird nicht geladen: die Sperrdatei " + dir.Profiles() +
                                    "/anna.lock ist nicht nutzbar (PROFILES ist kein Ordner). Ohne Sperre könnte "
                                    "ein zweiter Tovik-B0T es zugleich laden.")});
    EXPECT_EQ(context.CurrentProfile(), "");
    EXPECT_EQ(host.status, QStringLiteral("Profil: [kein Profil geladen ...]"));
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(ProfileFormTest, LoadSetsTheProfileWithoutCheckingTheFile) {
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("gibtsnicht"));
    form.LoadButtonClick();
    EXPECT_EQ(context.CurrentProfile(), "gibtsnicht");
    EXPECT_EQ(host.status, QStringLiteral("Profil: gibtsnicht"));
    EXPECT_EQ(host.controls, 1);
}

TEST_F(ProfileFormTest, DoubleClickLoadsTheEntry) {
    AddProfileFile("bert");
    AddProfileFile("anna");
    form.FormShow();
    QListWidgetItem* bert = form.ProfileListBox->item(1);
    form.ProfileListBox->setCurrentItem(bert);
    emit form.ProfileListBox->itemDoubleClicked(bert);
    EXPECT_EQ(context.CurrentProfile(), "bert");
    EXPECT_EQ(host.status, QStringLiteral("Profil: bert"));
}

TEST_F(ProfileFormTest, DeleteRemovesWithoutQuestionAndUnloadsWhicheverProfileWasCurrent) {
    AddProfileFile("anna");
    AddProfileFile("bert");
    WriteFileBytes(dir.Profiles() + "/bert.log", "log");
    context.SetCurrentProfile("anna");
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("bert"));
    QSignalSpy finished(&form, &QDialog::finished);
    form.DeleteButtonClick();
    EXPECT_TRUE(prompts.records.empty());
    EXPECT_FALSE(Exists(dir.Profiles() + "/bert.ini"));
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/bert.log"), "log") << "the log stays";
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("anna")});
    EXPECT_EQ(form.ProfileEdit->text(), QString());
    EXPECT_EQ(context.CurrentProfile(), "");
    EXPECT_EQ(host.status, QStringLiteral("Profil: [kein Profil geladen ...]"));
    EXPECT_EQ(finished.count(), 0) << "the dialog stays open";
    form.CancelButtonClick();
    EXPECT_EQ(host.controls, 0) << "closing without a profile disables settings and Online";
}

TEST_F(ProfileFormTest, DeletingTheLastProfileShowsTheEmptyLine) {
    AddProfileFile("anna");
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("anna"));
    form.DeleteButtonClick();
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Keine Profile gefunden...")});
    EXPECT_FALSE(form.ProfileListBox->isEnabled());
}

TEST_F(ProfileFormTest, DeletingAMissingProfileShowsTheErrorBoxOnly) {
    AddProfileFile("anna");
    context.SetCurrentProfile("anna");
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("bert"));
    form.DeleteButtonClick();
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].kind, QStringLiteral("error"));
    EXPECT_EQ(prompts.records[0].title, QStringLiteral("Fehler"));
    EXPECT_EQ(prompts.records[0].text, QStringLiteral("Das Profil existiert nicht !!"));
    EXPECT_EQ(context.CurrentProfile(), "anna");
    EXPECT_EQ(form.ProfileEdit->text(), QStringLiteral("bert"));
}

// A name that would leave PROFILES, or that no file system can hold, is
// refused with a message before any file is touched, whichever button.
TEST_F(ProfileFormTest, NamesOutsideTheProfilesFolderAreRefusedBeforeAnyFileIsTouched) {
    AddProfileFile("anna", "[IRC]\r\nPort=1\r\n");
    WriteFileBytes(dir.Path() + "/victim.ini", "keep");
    context.SetCurrentProfile("anna");
    const std::vector<QString> names = {QStringLiteral("../victim"), QStringLiteral("a/b"),
                                        QStringLiteral("."), QStringLiteral(".."),
                                        QString(300, QLatin1Char('x'))};
    for (const QString& name : names) {
        for (const auto& [button, press] : std::vector<std::pair<const char*, void (TProfileForm::*)()>>{
                 {"create", &TProfileForm::CreateButtonClick},
                 {"load", &TProfileForm::LoadButtonClick},
                 {"delete", &TProfileForm::DeleteButtonClick}}) {
            SCOPED_TRACE(name.left(20).toStdString() + " " + button);
            prompts.records.clear();
            prompts.answers = {true};
            form.FormShow();
            form.ProfileEdit->setText(name);
            (form.*press)();
            ASSERT_EQ(prompts.records.size(), 1u);
            EXPECT_EQ(prompts.records[0].kind, QStringLiteral("error"));
            EXPECT_TRUE(prompts.records[0].text.startsWith(QStringLiteral("Der Profilname")));
            EXPECT_EQ(ReadFileBytes(dir.Path() + "/victim.ini"), "keep");
            EXPECT_EQ(context.CurrentProfile(), "anna");
            EXPECT_EQ(Entries(), QStringList{QStringLiteral("anna")});
        }
    }
}

// "Anna.INI" is the profile "Anna" for every button, as the list shows it.
TEST_F(ProfileFormTest, AFileWhoseNameDiffersInCaseIsTheProfile) {
    dir.MakeProfilesDir();
    WriteFileBytes(dir.Profiles() + "/Anna.INI", "[IRC]\r\nPort=7000\r\n");
    form.FormShow();
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Anna")});

    form.ProfileEdit->setText(QStringLiteral("anna"));
    form.LoadButtonClick();
    EXPECT_EQ(ProfileFile(context.ProfilePath()).ReadValue("IRC", "Port", "6667"), "7000");

    prompts.answers = {true};
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("Anna"));
    form.CreateButtonClick();
    ASSERT_EQ(prompts.records.size(), 1u);
    EXPECT_EQ(prompts.records[0].kind, QStringLiteral("question"));
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/Anna.INI"), "");
    form.FormShow();
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Anna")}) << "no second entry";

    form.ProfileEdit->setText(QStringLiteral("ANNA"));
    form.DeleteButtonClick();
    EXPECT_FALSE(Exists(dir.Profiles() + "/Anna.INI"));
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Keine Profile gefunden...")});
}

// A file whose name Windows-1252 cannot spell is listed as the file system
// names it, and picking it loads and deletes that very file; a name typed
// with such characters becomes a file of that name, not one with '?'.
TEST_F(ProfileFormTest, FileNamesOutsideWindows1252AreListedLoadedAndDeletedAsTheyAre) {
    auto onDisk = [](const std::string& path) { return ::access(path.c_str(), F_OK) == 0; };
    dir.MakeProfilesDir();
    WriteFileBytes(dir.Profiles() + "/Łucja.ini", "[IRC]\r\nPort=7000\r\n");
    form.FormShow();
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Łucja")});
    form.ProfileListBox->setCurrentRow(0);
    form.LoadButtonClick();
    EXPECT_EQ(host.status, QStringLiteral("Profil: Łucja"));
    EXPECT_EQ(ProfileFile(context.ProfilePath()).ReadValue("IRC", "Port", "6667"), "7000");
    EXPECT_EQ(context.LogFile(), dir.Profiles() + "/Łucja.log");

    form.FormShow();
    form.ProfileListBox->setCurrentRow(0);
    form.DeleteButtonClick();
    EXPECT_TRUE(prompts.records.empty());
    EXPECT_FALSE(onDisk(dir.Profiles() + "/Łucja.ini"));
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Keine Profile gefunden...")});

    form.ProfileEdit->setText(QStringLiteral("Żaneta"));
    form.CreateButtonClick();
    EXPECT_TRUE(onDisk(dir.Profiles() + "/Żaneta.ini"));
    EXPECT_EQ(host.status, QStringLiteral("Profil: Żaneta"));
    EXPECT_EQ(context.ProfilePath(), dir.Profiles() + "/Żaneta.ini");
}

TEST_F(ProfileFormTest, CancelRunsTheClosingRule) {
    context.SetCurrentProfile("anna");
    form.FormShow();
    form.CancelButtonClick();
    EXPECT_EQ(host.controls, 1);
    context.SetCurrentProfile("");
    form.show();   // not modal here, so nothing blocks
    form.close();  // the close box
    EXPECT_EQ(host.controls, 0);
}

TEST_F(ProfileFormTest, EachShowingStartsFresh) {
    AddProfileFile("anna");
    form.FormShow();
    form.ProfileEdit->setText(QStringLiteral("typed"));
    form.CancelButtonClick();
    form.FormShow();
    EXPECT_EQ(form.ProfileEdit->text(), QString());
    EXPECT_TRUE(ButtonsDisabled());
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("anna")});
}

}  // namespace
}  // namespace tovik
