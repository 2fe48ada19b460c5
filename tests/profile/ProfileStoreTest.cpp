#include "profile/ProfileStore.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <climits>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::string W(std::string_view cp1252) { return std::string(cp1252); }

// A value as it reads back: each line break stored as a blank.
std::string OneLineOf(std::string value) {
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    return value;
}

class ProfileStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    std::string Path(const std::string& name = "test.ini") const {
        return dir_.path().toStdString() + "/" + name;
    }

    // Sets the file's timestamps well into the past, as for a profile that
    // has sat on disk for a while (and may be served from the cache).
    static void Age(const std::string& path, long nsec = 0) {
        const timespec times[2] = {{1'000'000'000, nsec}, {1'000'000'000, nsec}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    QTemporaryDir dir_;
};

// ---------------------------------------------------------------------------
// Paths

TEST(ProfileContext, BuildsPathsByConcatenation) {
    ProfileContext context("/home/op/bot", "Lisa");
    EXPECT_EQ(context.ProfilesDirectory(), "/home/op/bot/PROFILES");
    EXPECT_EQ(context.ProfilePath(), "/home/op/bot/PROFILES/Lisa.ini");
    // A name is Windows-1252 text; its file is named in the system's UTF-8.
    EXPECT_EQ(context.ProfileFileOf("Jörg"_w1252), "/home/op/bot/PROFILES/J\xC3\xB6rg.ini");
    EXPECT_EQ(context.LogFile(), "/home/op/bot/PROFILES/Lisa.log");
    context.SetCurrentProfile("");
    EXPECT_EQ(context.ProfilePath(), "/home/op/bot/PROFILES/.ini");
    // A root directory gives two slashes in a row, which the system accepts.
    ProfileContext root("/", "x");
    EXPECT_EQ(root.ProfilePath(), "//PROFILES/x.ini");
}

TEST(ProfileContext, ProgramDirectoryIsTheWorkingDirectory) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.path().toLocal8Bit().constData()), 0);
    char expected[4096];
    ASSERT_NE(::getcwd(expected, sizeof expected), nullptr);
    ProfileContext context;
    context.SetProgramDirectoryFromCwd();
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(context.ProgramDirectory(), expected);
    EXPECT_NE(context.ProgramDirectory().back(), '/');
}

// Started in "łódź", with profile files that Windows-1252 can and cannot
// spell: every file is listed, loaded, written and deleted under its own name.
TEST(ProfileContext, AProgramDirectoryAndFileNamesOutsideWindows1252KeepTheirBytes) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const std::string dir = base.path().toStdString() + "/łódź";
    ASSERT_EQ(::mkdir(dir.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir((dir + "/PROFILES").c_str(), 0777), 0);
    WriteFileBytes(dir + "/PROFILES/Łucja.ini", "[PersonData]\r\nPreName=Lucy\r\n");
    WriteFileBytes(dir + "/PROFILES/Jörg.ini", "[PersonData]\r\nPreName=J\xF6rg\r\n");
    WriteFileBytes(dir + "/PROFILES/Anna.INI", "[PersonData]\r\nPreName=Anna\r\n");

    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    ProfileContext context;
    context.SetProgramDirectoryFromCwd();
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(context.ProgramDirectory(), dir);

    std::map<std::string, ProfileEntry> listed;
    for (ProfileEntry& entry : context.ListProfiles()) listed[entry.file] = entry;
    const struct {
        std::string file, name;
        bool spelled;
        std::string preName, log;
    } rows[] = {
        {"Anna.INI", "Anna", true, "Anna", "Anna.log"},
        {"Jörg.ini", "J\xF6rg", true, "J\xF6rg", "Jörg.log"},
        {"Łucja.ini", "?ucja", false, "Lucy", "Łucja.log"},
    };
    ASSERT_EQ(listed.size(), std::size(rows));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        ASSERT_EQ(listed.count(row.file), 1u);
        const ProfileEntry& entry = listed[row.file];
        EXPECT_EQ(Escaped(entry.name), Escaped(row.name));
        EXPECT_EQ(entry.Spelled(), row.spelled);
        context.SetCurrentProfile(entry.name, entry.Stem());
        EXPECT_EQ(context.ProfilePath(), dir + "/PROFILES/" + row.file);
        EXPECT_EQ(context.LogFile(), dir + "/PROFILES/" + row.log);
        ProfileFile profile(context.ProfilePath());
        EXPECT_EQ(Escaped(profile.ReadValue("PersonData", "PreName", "-")), Escaped(row.preName));
        profile.WriteValue("PersonData", "Age", "30");
        EXPECT_EQ(ProfileFile(context.ProfilePath()).ReadValue("PersonData", "Age", "-"), "30");
    }
    // Typed as text, a name Windows-1252 spells finds its file as before.
    context.SetCurrentProfile(W("Jörg"_w1252));
    EXPECT_EQ(context.ProfilePath(), dir + "/PROFILES/Jörg.ini");

    context.CreateProfile("Żaneta");
    EXPECT_EQ(ReadFileBytes(dir + "/PROFILES/Żaneta.ini"), "");
    EXPECT_TRUE(context.DeleteProfile("Łucja"));
    EXPECT_EQ(::access((dir + "/PROFILES/Łucja.ini").c_str(), F_OK), -1);
    EXPECT_FALSE(context.DeleteProfile("Łucja")) << "gone already";
}

TEST(ProfileContext, AFileThatCannotBeCreatedNamesItselfInTheError) {
    ProfileContext context("/nonexistent-dir-of-tovik/łódź");
    try {
        context.CreateProfile("anna");
        FAIL() << "no error";
    } catch (const FileError& e) {
        // Shown as text: the characters Windows-1252 lacks become '?'.
        EXPECT_EQ(Escaped(e.what()),
                  Escaped("Datei nicht gefunden: /nonexistent-dir-of-tovik/?\xF3" "d?/PROFILES/anna.ini"));
    }
}

// ---------------------------------------------------------------------------
// Reading

struct ReadCase {
    const char* name;
    std::string content;
    std::string section, key;
    std::string expected;
};

TEST_F(ProfileStoreTest, ReadRules) {
    const std::string d = "<default>";
    const std::vector<ReadCase> cases = {
        {"plain", "[IRC]\r\nServer=irc.example.net\r\n", "IRC", "Server", "irc.example.net"},
        {"lf only", "[IRC]\nServer=x\n", "IRC", "Server", "x"},
        {"no final line end", "[IRC]\r\nServer=x", "IRC", "Server", "x"},
        {"section case", "[irc]\r\nServer=x\r\n", "IRC", "Server", "x"},
        {"key case", "[IRC]\r\nSERVER=x\r\n", "irc", "server", "x"},
        {"umlaut names", W("[ÄRGER]\r\nÜber=ja\r\n"_w1252), W("ärger"_w1252), W("üBER"_w1252), "ja"},
        {"umlaut names differ", W("[ÄRGER]\r\nÜber=ja\r\n"_w1252), W("ärger"_w1252), "uber", d},
        {"blanks around value", "[a]\r\nk= \t x y \t\r\n", "a", "k", "x y"},
        {"blanks around names", "[ a ]\r\n  k  =v\r\n", "a", "k", "v"},
        {"double quotes", "[a]\r\nk=\"  x \"\r\n", "a", "k", "  x "},
        {"single quotes", "[a]\r\nk='x'\r\n", "a", "k", "x"},
        {"quotes after blanks", "[a]\r\nk=  \"x\"  \r\n", "a", "k", "x"},
        {"mismatched quotes kept", "[a]\r\nk=\"x'\r\n", "a", "k", "\"x'"},
        {"one quote kept", "[a]\r\nk=\"\r\n", "a", "k", "\""},
        {"only one pair stripped", "[a]\r\nk=\"\"x\"\"\r\n", "a", "k", "\"x\""},
        {"empty quotes", "[a]\r\nk=\"\"\r\n", "a", "k", ""},
        {"empty value is not the default", "[a]\r\nk=\r\n", "a", "k", ""},
        {"blank value is empty", "[a]\r\nk=   \r\n", "a", "k", ""},
        {"value keeps =", "[a]\r\nk=x=y\r\n", "a", "k", "x=y"},
        {"missing key", "[a]\r\nk=v\r\n", "a", "other", d},
        {"missing section", "[a]\r\nk=v\r\n", "b", "k", d},
        {"key of other section", "[a]\r\nk=v\r\n[b]\r\n", "b", "k", d},
        {"key before any section", "k=v\r\n[a]\r\n", "a", "k", d},
        {"empty file", "", "a", "k", d},
        {"first key wins", "[a]\r\nk=1\r\nk=2\r\n", "a", "k", "1"},
        {"duplicate section read as one", "[a]\r\nx=1\r\n[b]\r\n[A]\r\nk=2\r\n", "a", "k", "2"},
        {"header without ] starts a section", "[a]\r\n[b\r\nk=v\r\n", "b", "k", "v"},
        {"its keys are not the section above's", "[a]\r\n[b\r\nk=v\r\n", "a", "k", d},
        {"text after ] ignored", "[a] junk\r\nk=v\r\n", "a", "k", "v"},
        {"line without = ignored", "[a]\r\nk\r\nk=v\r\n", "a", "k", "v"},
        {"nul in value", std::string("[a]\r\nk=x\0y\r\n", 11), "a", "k", std::string("x\0y", 3)},
        {"umlaut value", W("[PersonData]\r\nLocation=München\r\n"_w1252), "PersonData", "Location",
         W("München"_w1252)},
    };
    for (const auto& c : cases) {
        const auto path = Path(std::string(c.name) + ".ini");
        WriteFileBytes(path, c.content);
        EXPECT_EQ(Escaped(ProfileFile(path).ReadValue(c.section, c.key, d)), Escaped(c.expected))
            << c.name;
    }
}

TEST_F(ProfileStoreTest, MissingFileReadsDefaults) {
    ProfileFile file(Path("absent.ini"));
    EXPECT_EQ(file.ReadValue("IRC", "Port", "6667"), "6667");
    EXPECT_EQ(file.ReadValue("IRC", "Port", ""), "");
    ProfileFile inMissingDir(Path("nodir/x.ini"));
    EXPECT_EQ(inMissingDir.ReadValue("IRC", "Port", "6667"), "6667");
    // A directory where the file should be is no profile either.
    ProfileFile directory(dir_.path().toStdString());
    EXPECT_EQ(directory.ReadValue("IRC", "Port", "6667"), "6667");
}

TEST_F(ProfileStoreTest, ValuesAreCutAt2047Characters) {
    const std::string exact(2047, 'v');
    const std::string longer = exact + "WXYZ";
    WriteFileBytes(Path(), "[a]\r\nexact=" + exact + "\r\nlong=" + longer + "\r\nq=\"" + longer +
                               "\"\r\n");
    ProfileFile file(Path());
    EXPECT_EQ(file.ReadValue("a", "exact", ""), exact);
    EXPECT_EQ(file.ReadValue("a", "long", ""), exact);
    EXPECT_EQ(file.ReadValue("a", "q", ""), exact);
}

// ---------------------------------------------------------------------------
// Writing: exact bytes

TEST_F(ProfileStoreTest, WritesProduceExactBytes) {
    struct Step {
        std::string section, key, value;
        std::string after;
    };
    const std::vector<Step> steps = {
        {"IRC", "Server", "x", "[IRC]\r\nServer=x\r\n"},
        {"General", "CharTime", "500", "[IRC]\r\nServer=x\r\n[General]\r\nCharTime=500\r\n"},
        // A new key goes to the end of its section even with one following.
        {"IRC", "Port", "6667",
         "[IRC]\r\nServer=x\r\nPort=6667\r\n[General]\r\nCharTime=500\r\n"},
        // Replaced in place, names matched regardless of case.
        {"irc", "SERVER", "irc.example.net",
         "[IRC]\r\nServer=irc.example.net\r\nPort=6667\r\n[General]\r\nCharTime=500\r\n"},
        {"IRC", "Port", "",
         "[IRC]\r\nServer=irc.example.net\r\nPort=\r\n[General]\r\nCharTime=500\r\n"},
        {"General", "CharTime", "  40",
         "[IRC]\r\nServer=irc.example.net\r\nPort=\r\n[General]\r\nCharTime=  40\r\n"},
    };
    ProfileFile file(Path());
    for (const auto& step : steps) {
        file.WriteValue(step.section, step.key, step.value);
        EXPECT_EQ(Escaped(ReadFileBytes(Path())), Escaped(step.after))
            << step.section << "/" << step.key;
    }
    EXPECT_EQ(file.ReadValue("IRC", "Port", "6667"), "");
    EXPECT_EQ(file.ReadValue("General", "CharTime", "500"), "40");
}

TEST_F(ProfileStoreTest, WritesIntoAHandEditedFileKeepOtherLinesByteIdentical) {
    struct Case {
        const char* name;
        std::string before;
        std::string section, key, value;
        std::string after;
    };
    const std::vector<Case> cases = {
        {"replace keeps neighbours",
         "; note\r\n[a]\r\n  k = old  \r\nz=1\n\r\n[b]\r\nk=2",
         "A", "K", "new",
         "; note\r\n[a]\r\n  k =new\r\nz=1\n\r\n[b]\r\nk=2"},
        {"append after last key, before blank line",
         "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n", "a", "k", "v",
         "[a]\r\nx=1\r\nk=v\r\n\r\n[b]\r\ny=2\r\n"},
        {"append into empty section", "[a]\r\n[b]\r\n", "a", "k", "v",
         "[a]\r\nk=v\r\n[b]\r\n"},
        {"last line without line end", "[a]\r\nx=1", "a", "k", "v", "[a]\r\nx=1\r\nk=v\r\n"},
        {"header without line end", "[a]", "a", "k", "v", "[a]\r\nk=v\r\n"},
        {"new section after unterminated line", "[a]\r\nx=1", "b", "k", "v",
         "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"replace last line without line end", "[a]\r\nk=1", "a", "k", "22", "[a]\r\nk=22"},
        {"replace key in duplicate section", "[a]\r\nx=1\r\n[b]\r\n[a]\r\nk=1\r\n", "a", "k", "2",
         "[a]\r\nx=1\r\n[b]\r\n[a]\r\nk=2\r\n"},
        {"new key into first of duplicate sections", "[a]\r\nx=1\r\n[b]\r\n[a]\r\ny=1\r\n", "a",
         "k", "2", "[a]\r\nx=1\r\nk=2\r\n[b]\r\n[a]\r\ny=1\r\n"},
        {"umlaut names", W("[ÄRGER]\r\nÜBER=1\r\n"_w1252), W("ärger"_w1252), W("über"_w1252), "2",
         W("[ÄRGER]\r\nÜBER=2\r\n"_w1252)},
        // A last line ending in a lone CR stays whole; its line end is completed.
        {"append after a lone CR", "[a]\r\nx=1\r", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n"},
        {"new section after a lone CR", "[a]\r\nx=1\r", "b", "y", "2",
         "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        // A UTF-8 byte-order mark stays first and hides no section.
        {"append behind a byte-order mark", "\xEF\xBB\xBF[a]\r\nx=1\r\n", "A", "y", "2",
         "\xEF\xBB\xBF[a]\r\nx=1\r\ny=2\r\n"},
        {"replace behind a byte-order mark", "\xEF\xBB\xBF[a]\r\nx=1\r\n", "a", "x", "3",
         "\xEF\xBB\xBF[a]\r\nx=3\r\n"},
        {"line breaks in a value cannot plant lines", "", "a", "k", "x\r\n[IRC]\nServer=evil",
         "[a]\r\nk=x  [IRC] Server=evil\r\n"},
    };
    for (const auto& c : cases) {
        const auto path = Path(std::string(c.name) + ".ini");
        WriteFileBytes(path, c.before);
        ProfileFile(path).WriteValue(c.section, c.key, c.value);
        EXPECT_EQ(Escaped(ReadFileBytes(path)), Escaped(c.after)) << c.name;
        // What was written reads back, and so does every key that was there.
        EXPECT_EQ(ProfileFile(path).ReadValue(c.section, c.key, "?"), OneLineOf(c.value)) << c.name;
        if (c.before.find("x=1") != std::string::npos) {
            EXPECT_EQ(ProfileFile(path).ReadValue("a", "x", "?"), c.key == "x" ? c.value : "1") << c.name;
        }
    }
}

TEST_F(ProfileStoreTest, EmptyFileIsValid) {
    WriteFileBytes(Path(), "");
    ProfileFile file(Path());
    EXPECT_EQ(file.ReadValue("IRC", "CommandoChannel", "#BotCommand"), "#BotCommand");
    file.WriteValue("IRC", "CommandoChannel", "#BotCommand");
    EXPECT_EQ(ReadFileBytes(Path()), "[IRC]\r\nCommandoChannel=#BotCommand\r\n");
}

// Reads the file's bytes with a parser of its own, independent of the store.
std::map<std::string, std::string> IndependentRead(const std::string& bytes) {
    std::map<std::string, std::string> values;
    std::string section;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto end = bytes.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(pos, end - pos);
        pos = end + 2;
        if (!line.empty() && line[0] == '[') {
            EXPECT_EQ(line.back(), ']');
            section = line.substr(1, line.size() - 2);
        } else {
            const auto eq = line.find('=');
            EXPECT_NE(eq, std::string::npos) << line;
            values[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

TEST_F(ProfileStoreTest, RoundTripOfTheWholeProfile) {
    const std::vector<std::tuple<std::string, std::string, std::string>> writes = {
        {"General", "CharTime", "500"},      {"IRC", "Server", "irc.example.net"},
        {"IRC", "Port", "6667"},             {"IRC", "CommandoChannel", "#Tovik-B0T"},
        {"IRC", "BotNick", "Lisa19"},        {"PersonData", "PreName", "Lisa"},
        {"PersonData", "LastName", W("Müller"_w1252)}, {"PersonData", "Sex", "1"},
        {"PersonData", "Location", W("München"_w1252)}, {"PersonData", "Age", "19"},
        {"PersonData", "Size", "1,68"},      {"PersonData", "Figure", "schlank"},
        {"PersonData", "HairColor", "blond"}, {"PersonData", "EyeColor", W("grün"_w1252)},
        {"PersonData", "Weight", "55"},      {"PersonData", "Picture", "/home/op/lisa.jpg"},
        {"PersonData", "Hobbies", W("lesen, tanzen, „Fußball“ für 5 €"_w1252)},
    };
    ProfileFile file(Path());
    for (const auto& [s, k, v] : writes) file.WriteValue(s, k, v);
    // Rewrite every value once more: in place, nothing added.
    for (const auto& [s, k, v] : writes) file.WriteValue(s, k, v);

    const auto independent = IndependentRead(ReadFileBytes(Path()));
    EXPECT_EQ(independent.size(), writes.size());
    for (const auto& [s, k, v] : writes) {
        EXPECT_EQ(Escaped(independent.at(s + "/" + k)), Escaped(v));
        EXPECT_EQ(Escaped(file.ReadValue(s, k, "?")), Escaped(v));
    }
}

TEST_F(ProfileStoreTest, LeadingBlanksAreWrittenButNotReadBack) {
    ProfileFile file(Path());
    file.WriteValue("PersonData", "Location", "  Berlin ");
    EXPECT_EQ(ReadFileBytes(Path()), "[PersonData]\r\nLocation=  Berlin \r\n");
    EXPECT_EQ(file.ReadValue("PersonData", "Location", "IRC"), "Berlin");
}

// ---------------------------------------------------------------------------
// Write failures

TEST_F(ProfileStoreTest, WriteIntoMissingDirectoryFails) {
    const auto path = Path("PROFILES/x.ini");
    try {
        ProfileFile(path).WriteValue("IRC", "Server", "x");
        FAIL() << "no error";
    } catch (const ProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "In " + path + " kann nicht geschrieben werden");
    }
}

TEST_F(ProfileStoreTest, WriteToReadOnlyFileFailsAndLeavesItAlone) {
    const std::string before = "[IRC]\r\nServer=x\r\n";
    WriteFileBytes(Path(), before);
    ASSERT_EQ(::chmod(Path().c_str(), 0444), 0);
    try {
        ProfileFile(Path()).WriteValue("IRC", "Server", "y");
        FAIL() << "no error";
    } catch (const ProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "In " + Path() + " kann nicht geschrieben werden");
    }
    EXPECT_EQ(ReadFileBytes(Path()), before);
    EXPECT_EQ(ProfileFile(Path()).ReadValue("IRC", "Server", ""), "x");
    ::chmod(Path().c_str(), 0644);
}

// A looser mode is not taken over: the file may hold a password.
TEST_F(ProfileStoreTest, WriteKeepsOnlyAStricterModeAndLeavesNoTemporaryFile) {
    WriteFileBytes(Path(), "[a]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
    ProfileFile(Path()).WriteValue("a", "k", "2");
    struct stat st {};
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"test.ini"});
}

// A link in PROFILES never carries a write outside it: the profile's keys,
// "&Anlegen" and the writer of the logs refuse it; the file named keeps its
// bytes, the links stay, and no temporary file is left.
TEST_F(ProfileStoreTest, NoWriteFollowsASymbolicLink) {
    const std::string outside = Path("bashrc"), profiles = Path("PROFILES");
    WriteFileBytes(outside, "export A=1\n");
    ASSERT_EQ(::mkdir(profiles.c_str(), 0777), 0);
    for (const char* name : {"/x.ini", "/x.log"}) ASSERT_EQ(::symlink(outside.c_str(), (profiles + name).c_str()), 0);
    try {
        ProfileFile(profiles + "/x.ini").WriteValue("a", "k", "2");
        ADD_FAILURE() << "written through the link";
    } catch (const ProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "In " + profiles + "/x.ini kann nicht geschrieben werden");
    }
    try {
        ProfileContext(dir_.path().toStdString()).CreateProfile("x");
        ADD_FAILURE() << "created through the link";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Dateizugriff verweigert: " + profiles + "/x.ini");
    }
    EXPECT_FALSE(ReplaceWholeFile(profiles + "/x.log", "log\r\n"));
    EXPECT_EQ(ReadFileBytes(outside), "export A=1\n");
    EXPECT_EQ(QDir(QString::fromStdString(profiles)).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 2);
}

// The longest name accepted leaves room for its longest companion files
// (the temporary names of profile and log); one byte more is refused.
TEST_F(ProfileStoreTest, TheLongestNameLeavesRoomForEveryCompanionFile) {
    const std::string longest(NAME_MAX - kLongestCompanionSuffix, 'a');
    EXPECT_EQ(ProfileNameProblem(longest), std::nullopt);
    EXPECT_NE(ProfileNameProblem(longest + "a"), std::nullopt);
    for (const char* companion : {".ini", ".log"})
        EXPECT_TRUE(ReplaceWholeFile(Path(longest + companion), "x") && ReadFileBytes(Path(longest + companion)) == "x");
}

// Log, journal and lock take the stem of the profile's real file, and a
// program that loads its profile again shares its own lock; a second one is
// refused (by name, as the profile manager shows it) until the first lets go.
TEST_F(ProfileStoreTest, AProfileIsLockedForOneProgramAtATime) {
    ASSERT_EQ(::mkdir(Path("PROFILES").c_str(), 0777), 0);
    WriteFileBytes(Path("PROFILES/Anna.ini"), "");
    ProfileContext first(dir_.path().toStdString()), second(dir_.path().toStdString());
    first.SetCurrentProfile("anna", {}, first.LockProfile("anna", "anna"));
    EXPECT_EQ(first.LogFile(), Path("PROFILES/Anna.log"));
    first.SetCurrentProfile("Anna", {}, first.LockProfile("Anna", "Anna"));
    EXPECT_THROW(second.LockProfile("ANNA", "ANNA"), ProfileInUseError);
    first.SetCurrentProfile({});
    EXPECT_TRUE(second.LockProfile("anna", "anna").Held());
}

// ---------------------------------------------------------------------------
// Every change on disk is seen at the very next read

TEST_F(ProfileStoreTest, SeesExternalRewriteOfTheSameSize) {
    WriteFileBytes(Path(), "[a]\r\nk=1\r\n");
    Age(Path(), 100);
    ProfileFile file(Path());
    EXPECT_EQ(file.ReadValue("a", "k", ""), "1");
    EXPECT_EQ(file.ReadValue("a", "k", ""), "1");
    // Same inode, same size; only the timestamps differ.
    WriteFileBytes(Path(), "[a]\r\nk=2\r\n");
    Age(Path(), 200);
    EXPECT_EQ(file.ReadValue("a", "k", ""), "2");
}

TEST_F(ProfileStoreTest, SeesRewriteThatRestoresTheModificationTime) {
    WriteFileBytes(Path(), "[a]\r\nk=1\r\n");
    Age(Path());
    ProfileFile file(Path());
    EXPECT_EQ(file.ReadValue("a", "k", ""), "1");
    WriteFileBytes(Path(), "[a]\r\nk=2\r\n");
    Age(Path());  // the change time still moves on
    EXPECT_EQ(file.ReadValue("a", "k", ""), "2");
}

TEST_F(ProfileStoreTest, SeesFreshRewriteWithinTheSameClockTick) {
    ProfileFile file(Path());
    for (int i = 0; i < 20; ++i) {
        const std::string value(1, static_cast<char>('a' + i));
        WriteFileBytes(Path(), "[a]\r\nk=" + value + "\r\n");
        ASSERT_EQ(file.ReadValue("a", "k", ""), value) << i;
    }
}

TEST_F(ProfileStoreTest, SeesReplacementByRename) {
    WriteFileBytes(Path(), "[a]\r\nk=1\r\n");
    Age(Path());
    ProfileFile file(Path());
    EXPECT_EQ(file.ReadValue("a", "k", ""), "1");
    WriteFileBytes(Path("other"), "[a]\r\nk=2\r\n");
    Age(Path("other"));
    ASSERT_EQ(std::rename(Path("other").c_str(), Path().c_str()), 0);
    EXPECT_EQ(file.ReadValue("a", "k", ""), "2");
}

TEST_F(ProfileStoreTest, SeesDeletionAndOwnWrites) {
    WriteFileBytes(Path(), "[a]\r\nk=1\r\n");
    Age(Path());
    ProfileFile file(Path());
    EXPECT_EQ(file.ReadValue("a", "k", "d"), "1");
    ASSERT_EQ(::unlink(Path().c_str()), 0);
    EXPECT_EQ(file.ReadValue("a", "k", "d"), "d");
    file.WriteValue("a", "k", "3");
    EXPECT_EQ(file.ReadValue("a", "k", "d"), "3");
    // Another ProfileFile on the same path sees the same file.
    ProfileFile(Path()).WriteValue("a", "k", "4");
    EXPECT_EQ(file.ReadValue("a", "k", "d"), "4");
}

// A pinned profile answers from one look at the file: another program's
// change reaches the next look, this process's own writes at once.
TEST_F(ProfileStoreTest, APinnedProfileAnswersFromOneLookAndSeesOwnWritesAtOnce) {
    WriteFileBytes(Path(), "[a]\r\nk=1\r\n");
    Age(Path());
    const ProfileFile pinned = ProfileFile(Path()).Pinned();
    WriteFileBytes(Path(), "[a]\r\nk=2\r\nj=5\r\n");
    Age(Path(), 100);
    EXPECT_EQ(pinned.ReadValue("a", "k", ""), "1");
    EXPECT_EQ(pinned.ReadValue("a", "j", "d"), "d");
    EXPECT_EQ(ProfileFile(Path()).Pinned().ReadValue("a", "j", "d"), "5");
    ProfileFile(Path()).WriteValue("a", "k", "3");
    EXPECT_EQ(pinned.ReadValue("a", "k", ""), "3");
    EXPECT_EQ(ProfileFile(Path("absent.ini")).Pinned().ReadValue("a", "k", "d"), "d");
}

// ---------------------------------------------------------------------------
// Hostile files

TEST_F(ProfileStoreTest, HostileFilesAreReadWithoutHarm) {
    struct Case {
        const char* name;
        std::string content;
        std::string section, key, expected;
    };
    std::string manyKeys = "[big]\r\n";
    for (int i = 0; i < 100000; ++i)
        manyKeys += "key" + std::to_string(i) + "=value" + std::to_string(i) + "\r\n";
    const std::vector<Case> cases = {
        {"very long line", "[a]\r\nk=" + std::string(8 << 20, 'x') + "\r\nz=1\r\n", "a", "z", "1"},
        {"very long section name", "[" + std::string(1 << 20, 's') + "]\r\nk=1\r\n[a]\r\nk=2\r\n",
         "a", "k", "2"},
        {"only line ends", std::string(1 << 20, '\n'), "a", "k", "d"},
        {"only nul bytes", std::string(1 << 20, '\0'), "a", "k", "d"},
        {"binary", std::string("\xFF\xFE[\0a]\r\n=\r\n[\r\n]\r\n", 16), "a", "k", "d"},
        {"unclosed header at end", "[a]\r\nk=1\r\n[", "a", "k", "1"},
        {"100000 keys", manyKeys, "BIG", "KEY99999", "value99999"},
        {"no final line end", "[a]\r\nk=   ", "a", "k", ""},
    };
    for (const auto& c : cases) {
        const auto path = Path(std::string(c.name) + ".ini");
        WriteFileBytes(path, c.content);
        EXPECT_EQ(Escaped(ProfileFile(path).ReadValue(c.section, c.key, "d")), Escaped(c.expected))
            << c.name;
    }
}

TEST_F(ProfileStoreTest, FifoInThePlaceOfTheFileNeitherHangsNorIsWritten) {
    ASSERT_EQ(::mkfifo(Path().c_str(), 0644), 0);
    ProfileFile file(Path());
    EXPECT_EQ(file.ReadValue("IRC", "Port", "6667"), "6667");
    EXPECT_THROW(file.WriteValue("IRC", "Port", "1"), ProfileWriteError);
}

TEST_F(ProfileStoreTest, WritesIntoAFileWith100000Keys) {
    std::string content = "[big]\r\n";
    for (int i = 0; i < 100000; ++i) content.append("k").append(std::to_string(i)).append("=v\r\n");
    content += "[IRC]\r\nServer=x\r\n";
    WriteFileBytes(Path(), content);
    ProfileFile file(Path());
    file.WriteValue("big", "new", "1");
    file.WriteValue("IRC", "Server", "y");
    EXPECT_EQ(file.ReadValue("big", "new", ""), "1");
    EXPECT_EQ(file.ReadValue("big", "k77777", ""), "v");
    EXPECT_EQ(file.ReadValue("IRC", "Server", ""), "y");
    EXPECT_EQ(ReadFileBytes(Path()).size(), content.size() + 7);
}

}  // namespace
}  // namespace tovik

namespace tovik {
namespace {

// Paths are Windows-1252 text inside the program, but the file system names
// files in UTF-8: a profile called "Jürgen" is PROFILES/Jürgen.ini on disk as
// the file manager shows it.
TEST(DesktopProgramDirectory, FollowsTheBaseDirectoryRules) {
    struct Case {
        const char* xdg;
        const char* home;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/data/anna", "/home/anna", "/data/anna/tovik-bot"},
        {nullptr, "/home/anna", "/home/anna/.local/share/tovik-bot"},
        {"", "/home/anna", "/home/anna/.local/share/tovik-bot"},
        {"relativ", "/home/anna", "/home/anna/.local/share/tovik-bot"},  // relative values are ignored
        {"/d/\xC5\x81ucja", nullptr, "/d/\xC5\x81ucja/tovik-bot"},         // bytes pass unchanged
        {nullptr, nullptr, ""},
        {nullptr, "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopProgramDirectory(c.xdg, c.home), c.expected) << (c.xdg ? c.xdg : "(null)");
}

TEST(ProfileFileNames, UmlautProfileNamesAreUtf8OnDisk) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("PROFILES"));
    ProfileContext context(dir.path().toStdString(), std::string("Jürgen"_w1252));
    ProfileFile(context.ProfilePath()).WriteValue("IRC", "Port", "6667");
    const std::string onDisk = dir.path().toStdString() + "/PROFILES/J\xC3\xBCrgen.ini";
    EXPECT_EQ(test::ReadFileBytes(onDisk), "[IRC]\r\nPort=6667\r\n");
    EXPECT_EQ(ProfileFile(context.ProfilePath()).ReadValue("IRC", "Port", "x"), "6667");
}

}  // namespace
}  // namespace tovik
