// The three settings dialogs, the persona generator behind "&Generieren"
// and the info window.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <sys/stat.h>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"
#include "text/Literal.h"
#include "ui/ErrorReporter.h"
#include "ui/GeneralOptionsForm_Unit.h"
#include "ui/IRCOptions_Unit.h"
#include "ui/InfoForm_Unit.h"
#include "ui/PersonalDataOptionsForm_Unit.h"
#include "ui/TextConvert.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;
using test::ReadFileBytes;
using test::WriteFileBytes;

class OptionsTest : public ::testing::Test {
protected:
    OptionsTest() : context(dir.Path(), "anna"), reporter(prompts) {
        dir.MakeProfilesDir();
        WriteFileBytes(context.ProfilePath(), "");
    }
    std::string Ini() const { return ReadFileBytes(context.ProfilePath()); }

    test::ScratchDir dir;
    ProfileContext context;
    test::RecordingPrompts prompts;
    ErrorReporter reporter;
    Random random{[] { return 4711u; }};
};

// --- general settings ---------------------------------------------------

TEST_F(OptionsTest, GeneralLooksAsDesigned) {
    TGeneralOptionsForm form(context, reporter);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("--] Allgemeine Einstellungen [--"));
    EXPECT_EQ(form.size(), QSize(426, 74));
    EXPECT_EQ(form.CharTimeEdit->width(), 33);
    EXPECT_EQ(form.CancelButton->text(), QStringLiteral("&Abbrechen"));
    EXPECT_EQ(form.ApplyButton->text(), QStringLiteral("Ü&bernehmen"));
    const std::vector<QWidget*> order{form.CancelButton, form.ApplyButton, form.CharTimeEdit};
    EXPECT_EQ(test::TabOrderOf(order), order) << test::FocusChainNames(&form);
    QStringList labels;
    for (QLabel* l : form.findChildren<QLabel*>()) labels << l->text();
    EXPECT_EQ(labels, (QStringList{QStringLiteral("Schreibgeschwindigkeit:"), QStringLiteral("ms pro Buchstabe"),
                                   QStringLiteral("(nur bei bot-eigenen Nachrichten)")}));
}

TEST_F(OptionsTest, GeneralShowsTheDefaultAndAppliesTheText) {
    TGeneralOptionsForm form(context, reporter);
    form.FormShow();
    EXPECT_EQ(form.CharTimeEdit->text(), QStringLiteral("500"));
    form.CharTimeEdit->setText(QStringLiteral("80"));
    QSignalSpy accepted(&form, &QDialog::accepted);
    form.ApplyButtonClick();
    EXPECT_EQ(Ini(), "[General]\r\nCharTime=80\r\n");
    EXPECT_EQ(accepted.count(), 1);
}

TEST_F(OptionsTest, GeneralStoresAnEmptySpeedUnchecked) {
    TGeneralOptionsForm form(context, reporter);
    form.FormShow();
    form.CharTimeEdit->clear();
    form.ApplyButtonClick();
    EXPECT_EQ(Ini(), "[General]\r\nCharTime=\r\n");
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(OptionsTest, GeneralCancelWritesNothingAndTheNextShowingRestores) {
    WriteFileBytes(context.ProfilePath(), "[General]\r\nCharTime=120\r\n");
    TGeneralOptionsForm form(context, reporter);
    form.FormShow();
    EXPECT_EQ(form.CharTimeEdit->text(), QStringLiteral("120"));
    form.CharTimeEdit->setText(QStringLiteral("9"));
    QSignalSpy rejected(&form, &QDialog::rejected);
    form.CancelButtonClick();
    EXPECT_EQ(rejected.count(), 1);
    EXPECT_EQ(Ini(), "[General]\r\nCharTime=120\r\n");
    form.FormShow();
    EXPECT_EQ(form.CharTimeEdit->text(), QStringLiteral("120"));
}

TEST_F(OptionsTest, AWriteErrorIsReportedAndTheDialogStaysOpen) {
    ProfileContext nowhere(dir.Path() + "/fehlt", "x");
    TGeneralOptionsForm form(nowhere, reporter);
    form.FormShow();
    QSignalSpy finished(&form, &QDialog::finished);
    form.ApplyButtonClick();
    ASSERT_EQ(prompts.Errors().size(), 1u);
    EXPECT_EQ(prompts.Errors()[0],
              QString::fromStdString("In " + nowhere.ProfilePath() + " kann nicht geschrieben werden"));
    EXPECT_EQ(finished.count(), 0);
}

// --- IRC settings --------------------------------------------------------

TEST_F(OptionsTest, IrcLooksAsDesigned) {
    TIRCOptionsForm form(context, reporter);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("--] IRC Einstellungen [--"));
    EXPECT_EQ(form.size(), QSize(353, 235));
    EXPECT_TRUE(form.IRCServerComboBox->isEditable());
    QStringList items;
    for (int i = 0; i < form.IRCServerComboBox->count(); ++i) items << form.IRCServerComboBox->itemText(i);
    EXPECT_EQ(items, (QStringList{QStringLiteral("irc.euirc.net"), QStringLiteral("irc.libera.chat"),
                                  QStringLiteral("irc.oftc.net"), QStringLiteral("irc.quakenet.org"),
                                  QStringLiteral("irc.rizon.net"), QStringLiteral("irc.undernet.org")}));
    EXPECT_TRUE(items.contains(QString::fromLatin1(kDefaultIrcServer.data(), kDefaultIrcServer.size())));
    const std::vector<QWidget*> order{form.IRCServerComboBox, form.IRCPortEdit,    form.CancelButton,
                                      form.ApplyButton,       form.ComChannelEdit, form.BotNickEdit,
                                      form.SASLAccountEdit,   form.SASLPasswordEdit, form.OwnAddressEdit,
                                      form.DCCPortEdit,       form.MapPortCheckBox};
    EXPECT_EQ(test::TabOrderOf(order), order) << test::FocusChainNames(&form);
    // The account's two rows come below the fields that were there before,
    // and the password shows as dots.
    EXPECT_EQ(form.BotNickEdit->geometry().top(), 64);
    EXPECT_GT(form.SASLAccountEdit->geometry().top(), form.BotNickEdit->geometry().bottom());
    EXPECT_GT(form.SASLPasswordEdit->geometry().top(), form.SASLAccountEdit->geometry().bottom());
    EXPECT_GT(form.OwnAddressEdit->geometry().top(), form.SASLPasswordEdit->geometry().bottom());
    EXPECT_GT(form.DCCPortEdit->geometry().top(), form.OwnAddressEdit->geometry().bottom());
    EXPECT_GT(form.ApplyButton->geometry().top(), form.MapPortCheckBox->geometry().bottom());
    EXPECT_LE(form.ApplyButton->geometry().bottom(), 235);
    EXPECT_EQ(form.SASLPasswordEdit->echoMode(), QLineEdit::Password);
}

TEST_F(OptionsTest, IrcShowsTheDefaultsOfANewProfile) {
    TIRCOptionsForm form(context, reporter);
    form.FormShow();
    EXPECT_EQ(form.IRCServerComboBox->currentText(), QStringLiteral("irc.libera.chat"));
    EXPECT_EQ(form.IRCPortEdit->text(), QStringLiteral("6667"));
    EXPECT_EQ(form.ComChannelEdit->text(), QStringLiteral("#BotCommand"));
    EXPECT_EQ(form.BotNickEdit->text(), QStringLiteral("TovikBot"));
}

TEST_F(OptionsTest, IrcApplyWritesTheSixKeysInOrder) {
    TIRCOptionsForm form(context, reporter);
    form.FormShow();
    EXPECT_EQ(form.SASLAccountEdit->text(), QString());
    EXPECT_EQ(form.SASLPasswordEdit->text(), QString());
    form.ApplyButtonClick();
    EXPECT_EQ(Ini(), "[IRC]\r\nServer=irc.libera.chat\r\nPort=6667\r\nCommandoChannel=#BotCommand\r\n"
                     "BotNick=TovikBot\r\nSASLAccount=\r\nSASLPassword=\r\n");
}

TEST_F(OptionsTest, IrcShowsAndStoresTheAccount) {
    WriteFileBytes(context.ProfilePath(), "[IRC]\r\nPort=+6697\r\nSASLAccount=J\xF6rg\r\nSASLPassword=geh eim\r\n");
    TIRCOptionsForm form(context, reporter);
    form.FormShow();
    EXPECT_EQ(form.IRCPortEdit->text(), QStringLiteral("+6697"));
    EXPECT_EQ(form.SASLAccountEdit->text(), QStringLiteral("Jörg"));
    EXPECT_EQ(form.SASLPasswordEdit->text(), QStringLiteral("geh eim"));
    form.SASLPasswordEdit->setText(QStringLiteral("neuß"));
    form.ApplyButtonClick();
    EXPECT_EQ(Escaped(Ini()), Escaped("[IRC]\r\nPort=+6697\r\nSASLAccount=J\xF6rg\r\nSASLPassword=neu\xDF\r\n"
                                      "Server=irc.libera.chat\r\nCommandoChannel=#BotCommand\r\nBotNick=TovikBot\r\n"));
}

// A character the profile cannot hold would turn into "?" and break the
// login: the dialog says so, stays open and writes nothing.
TEST_F(OptionsTest, IrcRefusesAnAccountOrPasswordWindows1252CannotHold) {
    for (QLineEdit* TIRCOptionsForm::*field : {&TIRCOptionsForm::SASLAccountEdit, &TIRCOptionsForm::SASLPasswordEdit}) {
        TIRCOptionsForm form(context, reporter);
        form.FormShow();
        (form.*field)->setText(QStringLiteral("Łucja"));
        form.ApplyButtonClick();
        EXPECT_EQ(Ini(), "");
        ASSERT_FALSE(prompts.Errors().empty());
        EXPECT_TRUE(prompts.Errors().back().contains(QStringLiteral("Windows-1252 nicht kennt"))) << prompts.Errors().back().toStdString();
    }
    EXPECT_EQ(prompts.Errors().size(), 2u);
}

TEST_F(OptionsTest, IrcOffersTheFirstNameAsNickAndKeepsAnUnlistedServer) {
    WriteFileBytes(context.ProfilePath(), "[PersonData]\r\nPreName=J\xF6rg\r\n[IRC]\r\nServer=irc.example.org\r\n");
    TIRCOptionsForm form(context, reporter);
    form.FormShow();
    EXPECT_EQ(form.BotNickEdit->text(), QStringLiteral("Jörg"));
    EXPECT_EQ(form.IRCServerComboBox->currentText(), QStringLiteral("irc.example.org"));
    EXPECT_EQ(form.IRCServerComboBox->count(), 6);
    form.IRCPortEdit->setText(QStringLiteral("sechs"));
    form.ComChannelEdit->setText(QStringLiteral("kein Kanal"));
    form.ApplyButtonClick();
    EXPECT_EQ(Escaped(Ini()), Escaped("[PersonData]\r\nPreName=J\xF6rg\r\n[IRC]\r\nServer=irc.example.org\r\n"
                                      "Port=sechs\r\nCommandoChannel=kein Kanal\r\nBotNick=J\xF6rg\r\n"
                                      "SASLAccount=\r\nSASLPassword=\r\n"));
    EXPECT_EQ(form.IRCServerComboBox->count(), 6);
}

// The photo's fields write their keys once changed, and only then: a
// profile that never used them stays as it was.
TEST_F(OptionsTest, IrcShowsTheDccDefaultsAndStoresWhatWasChanged) {
    TIRCOptionsForm form(context, reporter);
    form.FormShow();
    EXPECT_EQ(form.OwnAddressEdit->text(), QString());
    EXPECT_EQ(form.DCCPortEdit->text(), QStringLiteral("5678"));
    EXPECT_FALSE(form.MapPortCheckBox->isChecked());
    form.MapPortCheckBox->setChecked(true);
    form.ApplyButtonClick();
    const std::string irc = "[IRC]\r\nServer=irc.libera.chat\r\nPort=6667\r\nCommandoChannel=#BotCommand\r\n"
                            "BotNick=TovikBot\r\nSASLAccount=\r\nSASLPassword=\r\n";
    EXPECT_EQ(Ini(), irc + "[DCC]\r\nMapPort=1\r\n");
    form.FormShow();
    EXPECT_TRUE(form.MapPortCheckBox->isChecked());
    form.OwnAddressEdit->setText(QStringLiteral("bot.example.org"));
    form.DCCPortEdit->setText(QStringLiteral("6000"));
    form.MapPortCheckBox->setChecked(false);
    form.ApplyButtonClick();
    EXPECT_EQ(Ini(), irc + "[DCC]\r\nMapPort=0\r\nOwnAddress=bot.example.org\r\nPort=6000\r\n");
}

TEST_F(OptionsTest, IrcCancelWritesNothing) {
    TIRCOptionsForm form(context, reporter);
    form.FormShow();
    form.BotNickEdit->setText(QStringLiteral("Neu"));
    form.CancelButtonClick();
    EXPECT_EQ(Ini(), "");
    form.FormShow();
    EXPECT_EQ(form.BotNickEdit->text(), QStringLiteral("TovikBot"));
}

// --- persona data ---------------------------------------------------------

struct ShownPersona {
    QString pre, last, location, age, size, figure, hair, eye, weight, hobbies;
    int sex;
};

ShownPersona Shown(const TPersonDataOptionsForm& f) {
    return {f.PreNameEdit->text(), f.LastNameEdit->text(), f.LocationEdit->text(), f.AgeEdit->text(),
            f.SizeEdit->text(),    f.FigureEdit->text(),   f.HairColorEdit->text(), f.EyeColorEdit->text(),
            f.WeightEdit->text(),  f.HobbyEdit->text(),    f.SexIndex()};
}

TEST_F(OptionsTest, PersonaLooksAsDesigned) {
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("--] Personendaten Einstellungen [--"));
    EXPECT_EQ(form.size(), QSize(412, 263));
    EXPECT_EQ(form.SexRadioGroup->title(), QStringLiteral("Geschlecht"));
    EXPECT_EQ(form.MaleRadio->text(), QStringLiteral("männlich"));
    EXPECT_EQ(form.FemaleRadio->text(), QStringLiteral("weiblich"));
    EXPECT_EQ(form.PicButton->text(), QStringLiteral("Foto"));
    EXPECT_EQ(form.GenerateButton->text(), QStringLiteral("&Generieren"));
    QStringList labels;
    for (QLabel* l : form.findChildren<QLabel*>()) labels << l->text();
    for (const char* caption : {"Vorname:", "Nachnahme:", "Wohnort:", "Haarfarbe:", "Augenfarbe:", "Gewicht:",
                                "Alter:", "Größe:", "Figure:", "Hobbies:"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(caption))) << caption;
    const std::vector<QWidget*> order{form.PreNameEdit,   form.LastNameEdit, form.CancelButton, form.ApplyButton,
                                      form.GenerateButton, form.MaleRadio,    form.FemaleRadio,  form.LocationEdit,
                                      form.AgeEdit,       form.HairColorEdit, form.SizeEdit,    form.FigureEdit,
                                      form.EyeColorEdit,  form.WeightEdit,   form.PicButton,    form.HobbyEdit};
    EXPECT_EQ(test::TabOrderOf(order), order) << test::FocusChainNames(&form);
}

TEST_F(OptionsTest, PersonaShowsTheDefaultsOfANewProfile) {
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    const ShownPersona p = Shown(form);
    EXPECT_EQ(p.pre, QStringLiteral("Tovik"));
    EXPECT_EQ(p.last, QStringLiteral("B0T"));
    EXPECT_EQ(p.sex, 0);
    EXPECT_TRUE(form.MaleRadio->isChecked());
    EXPECT_EQ(p.location, QStringLiteral("IRC"));
    EXPECT_EQ(p.age, QStringLiteral("18"));
    EXPECT_EQ(p.size, QStringLiteral("1,70"));
    EXPECT_EQ(p.figure, QStringLiteral("schlank"));
    EXPECT_EQ(p.hair, QStringLiteral("blond"));
    EXPECT_EQ(p.eye, QStringLiteral("blau"));
    EXPECT_EQ(p.weight, QStringLiteral("65"));
    EXPECT_EQ(p.hobbies, QStringLiteral("lesen, tanzen, disco, freunde und compuer"));
    EXPECT_EQ(form.PictureFile(), "");
}

TEST_F(OptionsTest, PersonaApplyOfANewProfileWritesAllTwelveKeysInOrder) {
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    form.ApplyButtonClick();
    EXPECT_EQ(Ini(), "[PersonData]\r\nPreName=Tovik\r\nLastName=B0T\r\nSex=0\r\nLocation=IRC\r\nAge=18\r\n"
                     "Size=1,70\r\nFigure=schlank\r\nHairColor=blond\r\nEyeColor=blau\r\nWeight=65\r\n"
                     "Picture=\r\nHobbies=lesen, tanzen, disco, freunde und compuer\r\n");
}

TEST_F(OptionsTest, TypedUmlautsAreStoredAsSingleBytesAndShownBack) {
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    form.LocationEdit->setText(QStringLiteral("Düsseldorf"));
    form.SizeEdit->setText(QStringLiteral("1,82 €"));
    form.ApplyButtonClick();
    const std::string ini = Ini();
    EXPECT_NE(ini.find("Location=D\xFCsseldorf\r\n"), std::string::npos) << Escaped(ini);
    EXPECT_NE(ini.find("Size=1,82 \x80\r\n"), std::string::npos) << Escaped(ini);
    TPersonDataOptionsForm again(context, random, prompts, reporter);
    again.FormShow();
    EXPECT_EQ(again.LocationEdit->text(), QStringLiteral("Düsseldorf"));
    EXPECT_EQ(again.SizeEdit->text(), QStringLiteral("1,82 €"));
}

TEST_F(OptionsTest, SexIsClampedAndNoChoiceStoresMinusOne) {
    struct Row {
        const char* stored;
        int shown;
        const char* applied;
    };
    const Row rows[] = {{"0", 0, "0"}, {"1", 1, "1"}, {"2", 1, "1"}, {"-1", -1, "-1"}, {"-3", -1, "-1"},
                        {"+1", 1, "1"}};
    for (const Row& row : rows) {
        WriteFileBytes(context.ProfilePath(), std::string("[PersonData]\r\nSex=") + row.stored + "\r\n");
        TPersonDataOptionsForm form(context, random, prompts, reporter);
        form.FormShow();
        EXPECT_EQ(form.SexIndex(), row.shown) << row.stored;
        EXPECT_EQ(form.MaleRadio->isChecked(), row.shown == 0) << row.stored;
        EXPECT_EQ(form.FemaleRadio->isChecked(), row.shown == 1) << row.stored;
        form.ApplyButtonClick();
        EXPECT_EQ(ProfileFile(context.ProfilePath()).ReadValue("PersonData", "Sex", "?"), row.applied) << row.stored;
    }
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(OptionsTest, ASexThatIsNoNumberStopsLoadingAfterTheNames) {
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.LocationEdit->setText(QStringLiteral("vorher"));
    WriteFileBytes(context.ProfilePath(), "[PersonData]\r\nPreName=Eva\r\nLastName=Lang\r\nSex=x\r\nLocation=Kiel\r\n");
    form.FormShow();
    ASSERT_EQ(prompts.Errors().size(), 1u);
    EXPECT_EQ(prompts.Errors()[0], QStringLiteral("'x' ist kein gültiger Integerwert"));
    EXPECT_EQ(form.PreNameEdit->text(), QStringLiteral("Eva"));
    EXPECT_EQ(form.LastNameEdit->text(), QStringLiteral("Lang"));
    EXPECT_EQ(form.LocationEdit->text(), QStringLiteral("vorher"));
}

TEST_F(OptionsTest, PhotoChooserStartsInAProgramDirectoryNamedOutsideWindows1252) {
    context.SetProgramDirectory(dir.Path() + "/łódź");
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    form.PicButtonClick();
    EXPECT_EQ(prompts.lastFolder, QString::fromStdString(dir.Path()) + QStringLiteral("/łódź"));
}

TEST_F(OptionsTest, PhotoChooserStartsInTheProgramDirectoryWithThreeFileTypes) {
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    prompts.fileToChoose = QString::fromStdString(dir.Path()) + QStringLiteral("/bild.jpg");
    form.PicButtonClick();
    EXPECT_EQ(prompts.lastFolder, QString::fromStdString(dir.Path()));
    EXPECT_EQ(prompts.lastFilters,
              QStringLiteral("JPEG-Dateien (*.jpg *.jpeg);;GIF-Dateien (*.gif);;BMP-Dateien (*.bmp)"));
    EXPECT_EQ(form.PictureFile(), dir.Path() + "/bild.jpg");
    prompts.fileToChoose.clear();  // cancelled: the remembered photo stays
    form.PicButtonClick();
    EXPECT_EQ(form.PictureFile(), dir.Path() + "/bild.jpg");
    form.ApplyButtonClick();
    EXPECT_EQ(ProfileFile(context.ProfilePath()).ReadValue("PersonData", "Picture", "?"), dir.Path() + "/bild.jpg");
}

// The photo path is stored as Windows-1252 text like every other value; the
// DCC server and the offer turn it back into the file's UTF-8 name.
TEST_F(OptionsTest, PhotoPathWithUmlautIsStoredAsWindows1252) {
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    prompts.fileToChoose = QStringLiteral("/fotos/B\u00e4r.jpg");
    form.PicButtonClick();
    form.ApplyButtonClick();
    EXPECT_EQ(ProfileFile(context.ProfilePath()).ReadValue("PersonData", "Picture", "?"), "/fotos/B\xE4r.jpg");
}

TEST_F(OptionsTest, APhotoPathWindows1252CannotSpellIsRefusedAndTheOldOneKept) {
    WriteFileBytes(context.ProfilePath(), "[PersonData]\r\nPicture=/alt/foto.gif\r\n");
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    prompts.fileToChoose = QStringLiteral("/fotos/\u0141ucja.jpg");
    form.PicButtonClick();
    ASSERT_EQ(prompts.Errors().size(), 1u);
    EXPECT_TRUE(prompts.Errors()[0].contains(QStringLiteral("/fotos/\u0141ucja.jpg")));
    form.ApplyButtonClick();
    EXPECT_EQ(ProfileFile(context.ProfilePath()).ReadValue("PersonData", "Picture", "?"), "/alt/foto.gif");
}

TEST_F(OptionsTest, AChosenPhotoIsForgottenWhenTheDialogIsCancelled) {
    WriteFileBytes(context.ProfilePath(), "[PersonData]\r\nPicture=/alt/foto.gif\r\n");
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    EXPECT_EQ(form.PictureFile(), "/alt/foto.gif");
    prompts.fileToChoose = QStringLiteral("/neu/foto.bmp");
    form.PicButtonClick();
    form.CancelButtonClick();
    form.FormShow();
    EXPECT_EQ(form.PictureFile(), "/alt/foto.gif");
    EXPECT_EQ(Ini(), "[PersonData]\r\nPicture=/alt/foto.gif\r\n");
}

// --- persona generator ------------------------------------------------------

TEST_F(OptionsTest, GenerateFillsEveryFieldWithinItsRangesAndForgetsThePhoto) {
    const QStringList male = QStringLiteral("Frank|Thomas|Peter|Martin|Tom|Max|Dirk|Tobias|Benjamin|Paul|Timm|Mark|Marc").split('|');
    const QStringList female = QStringLiteral("Maria|Tanja|Mandy|Alice|Katja|Claudia|Betti|Nancy|Nadine|Kate|Jane|Susi|Jenny|Sandy").split('|');
    const QStringList last = QStringLiteral("Keller|Pranker|Schulz|Meier|Meyer|Kaiser|Kayser|Belz|Schranz|Pehl").split('|');
    const QStringList towns = QStringLiteral("München|Frankfurt|Berlin|Hamburg|Bremen|Mainz|Main|Koblenz|Magdeburg|Leipzig|Düsseldorf|Duisburg|Kassel|Aachen|Köln").split('|');
    const QStringList figures = QStringLiteral("schlank|vollschlank|dick|fett|dünn|sehr dünn|gut gebaut").split('|');
    const QStringList hair = QStringLiteral("blond|rot|grün|blau|braun|schwarz|bruinett").split('|');
    const QStringList eyes = QStringLiteral("blau|grün|braun|grün-braun|blau-grün").split('|');

    std::uint32_t clock = 0;
    Random changing([&] { return clock; });
    TPersonDataOptionsForm form(context, changing, prompts, reporter);
    form.FormShow();
    bool sawMale = false, sawFemale = false;
    for (clock = 0; clock < 400; clock += 7) {
        prompts.fileToChoose = QStringLiteral("/x/y.jpg");
        form.PicButtonClick();
        form.HobbyEdit->setText(QStringLiteral("anderes"));
        form.GenerateButtonClick();
        const ShownPersona p = Shown(form);
        ASSERT_TRUE(p.sex == 0 || p.sex == 1);
        (p.sex == 0 ? sawMale : sawFemale) = true;
        EXPECT_TRUE((p.sex == 0 ? male : female).contains(p.pre)) << p.pre.toStdString();
        EXPECT_TRUE(last.contains(p.last));
        EXPECT_TRUE(towns.contains(p.location));
        EXPECT_TRUE(figures.contains(p.figure));
        EXPECT_TRUE(hair.contains(p.hair));
        EXPECT_TRUE(eyes.contains(p.eye));
        EXPECT_GE(p.age.toInt(), 14);
        EXPECT_LE(p.age.toInt(), 50);
        ASSERT_TRUE(p.size.startsWith(QStringLiteral("1,"))) << p.size.toStdString();
        EXPECT_EQ(p.size.size(), 4);
        EXPECT_GE(p.size.mid(2).toInt(), 65);
        EXPECT_LE(p.size.mid(2).toInt(), 95);
        EXPECT_GE(p.weight.toInt(), 65);
        EXPECT_LE(p.weight.toInt(), 120);
        EXPECT_EQ(p.hobbies, QStringLiteral("lesen, tanzen, disco, freunde und compuer"));
        EXPECT_EQ(form.PictureFile(), "");
    }
    EXPECT_TRUE(sawMale);
    EXPECT_TRUE(sawFemale);
    EXPECT_TRUE(prompts.Errors().empty());
}

TEST_F(OptionsTest, GeneratedValuesAreStoredOnlyByApply) {
    TPersonDataOptionsForm form(context, random, prompts, reporter);
    form.FormShow();
    form.GenerateButtonClick();
    form.CancelButtonClick();
    EXPECT_EQ(Ini(), "");
    form.FormShow();
    form.GenerateButtonClick();
    const ShownPersona p = Shown(form);
    form.ApplyButtonClick();
    ProfileFile profile(context.ProfilePath());
    EXPECT_EQ(profile.ReadValue("PersonData", "PreName", "?"), FromQt(p.pre));
    EXPECT_EQ(profile.ReadValue("PersonData", "Location", "?"), FromQt(p.location));
    EXPECT_EQ(profile.ReadValue("PersonData", "Sex", "?"), std::to_string(p.sex));
    EXPECT_EQ(profile.ReadValue("PersonData", "Picture", "?"), "");
}

// --- info -------------------------------------------------------------------

TEST(InfoFormTest, ShowsNameCreditAndVersionOnShow) {
    TInfoForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("--] Information [--"));
    EXPECT_EQ(form.size(), QSize(417, 156));
    EXPECT_EQ(form.NameLabel->text(), QStringLiteral("Tovik-B0T"));
    EXPECT_TRUE(form.NameLabel->font().bold());
    EXPECT_EQ(form.NameLabel->font().pixelSize(), 40);
    EXPECT_EQ(form.CreditLabel->font().pixelSize(), 19);
    EXPECT_FALSE(form.CreditLabel->text().isEmpty());
    EXPECT_EQ(form.VersionLabel->text(), QStringLiteral("Version: "));
    EXPECT_EQ(form.Kontakt->title(), QStringLiteral("Kontakt"));
    EXPECT_EQ(form.Kontakt->size(), QSize(233, 57));
    EXPECT_EQ(form.ContactLabel->font().pixelSize(), 13);
    EXPECT_EQ(form.CloseButton->text(), QStringLiteral("&Schließen"));
    form.FormShow();
    EXPECT_EQ(form.VersionLabel->text(), QStringLiteral("Version: 0.10 BETA"));
    QSignalSpy finished(&form, &QDialog::finished);
    form.CloseButtonClick();
    EXPECT_EQ(finished.count(), 1);
}

}  // namespace
}  // namespace tovik
