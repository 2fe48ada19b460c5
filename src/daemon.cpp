// tovik-botd: the bot without a window, on Qt Core and Network alone, for a
// home server or a small VPS where it runs for weeks: no GUI library is
// mapped, so none costs memory. `tovik-bot --headless` runs this program in
// its own place; the options, the texts and the exit statuses are the same.

#include "app/HeadlessBot.h"
#include "app/ProgramOptions.h"

int main(int argc, char* argv[]) {
    tovik::ProgramOptions options;
    if (const auto status = tovik::ReadCommandLine(argc, argv, options, true)) return *status;
    if (options.desktop) tovik::EnterDesktopDataFolder();
    return tovik::RunHeadless(argc, argv, options);
}
