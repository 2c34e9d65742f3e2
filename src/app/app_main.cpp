#include "app_main.h"

#include "error_box.h"
#include "language.h"
#include "settings/instance_lock.h"
#include "settings/profile_file.h"
#include "settings/program_settings.h"
#include "string_table.h"
#include "torvex_application.h"

namespace {

void showAlreadyRunning(const std::filesystem::path &settingsFile)
{
    const int number = torvex::ProfileFile(settingsFile).readInteger(torvex::kOptionsSection, "Language", 0) + 1;
    LanguageSwitcher language;
    language.activate(LanguageSwitcher::isValid(number) ? number : kPolish);
    torvex::showErrorBox(idsText(u"IDS_ALREADY_RUNNING"));
}

} // namespace

int runMainWindow(TFMainOptions options)
{
    // Decided once, so that the lock and the window cannot disagree about the file.
    options.settingsPath = settingsPathFor(options);
    const std::filesystem::path settingsFile = filesystemPath(options.settingsPath);
    torvex::InstanceLock instance(settingsFile);
    if (instance.state() == torvex::InstanceLock::State::HeldElsewhere) {
        showAlreadyRunning(settingsFile);
        instance.bringHolderToFront();
        return 0;
    }
    TFMain window(options);
    window.show();
    instance.announceWindow(static_cast<std::uintptr_t>(window.winId()));
    QApplication::exec();
    return 0;
}

int runTorvexApp(int &argc, char **argv, TFMainOptions options)
{
    try {
        TorvexApplication app(argc, argv);
        try {
            runMainWindow(std::move(options));
        } catch (...) {
            torvex::showCurrentException();
        }
    } catch (...) {
        // Without an application object there is no error box to show.
    }
    return 0;
}
