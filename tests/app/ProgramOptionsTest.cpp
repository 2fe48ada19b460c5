// The command line as the window and the bot without one read it.

#include "app/ProgramOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovik {
namespace {

TEST(ProgramOptions, EachLineGivesItsOptionsOrSaysWhatIsWrong) {
    struct Row {
        std::vector<std::string> args;
        std::string profile;  // "-" when none
        bool online, headless, help;
        std::string problem;  // empty when the line is right
    };
    const Row rows[] = {
        {{}, "-", false, false, false, ""},
        {{"--profile", "anna", "--online"}, "anna", true, false, false, ""},
        {{"--headless", "--online", "--profile=anna"}, "anna", true, true, false, ""},
        {{"--profile", ""}, "", false, false, false, ""},  // refused as a name, later
        {{"-platform", "offscreen", "--help", "--online"}, "-", true, false, true, ""},
        // systemd hands the instance over as it stands in the unit's name.
        {{"--instance", "Anna-Lena"}, "Anna-Lena", false, false, false, ""},
        {{"--instance", "Anna\\x2dLena"}, "Anna-Lena", false, false, false, ""},
        {{"--instance=\\xc5\\x81ucja\\x20M"}, "Łucja M", false, false, false, ""},
        {{"--instance", "a\\x2Fb\\x4"}, "a/b\\x4", false, false, false, ""},
        {{"--profile"}, "", false, false, false, "--profile braucht einen Profilnamen"},
        {{"--online", "--instance"}, "", false, false, false, "--instance braucht einen Profilnamen"},
        {{"--online"}, "", false, false, false, "--online braucht --profile NAME"},
        {{"--headless"}, "", false, false, false, "--headless braucht --profile NAME"},
        {{"--profile", "anna", "--onlien"}, "", false, false, false,
         "unbekannte Option --onlien (--help zeigt die Optionen)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        std::string problem;
        const auto options = ParseProgramOptions(row.args, &problem);
        EXPECT_EQ(problem, row.problem);
        ASSERT_EQ(options.has_value(), row.problem.empty());
        if (!options) continue;
        EXPECT_EQ(options->profile.value_or("-"), row.profile);
        EXPECT_EQ(options->online, row.online);
        EXPECT_EQ(options->headless, row.headless);
        EXPECT_EQ(options->help, row.help);
    }
}

}  // namespace
}  // namespace tovik
