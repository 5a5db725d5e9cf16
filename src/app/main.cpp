// Process entry of the launcher. So far it reads its command line and its settings and ends; the
// servers, the browser and the windows join as they are built.
#include "config/command_line.h"
#include "config/settings.h"
#include "sys/folders.h"

int main() {
    const CommandLineArgs args(kSwitchCharacters);
    // -config given without a value reads from an empty path, which gives every default.
    const std::string configPath = args.FindSwitch("config") != 0
                                       ? args.GetSwitchValue("config", "")
                                       : GetModuleFolder() + "hub_config.ini";
    AppSettings settings;
    ReadSettings(settings, configPath);
    if (args.FindSwitch("urlparam") != 0) {
        settings.urlParam = args.GetSwitchValue("urlparam", "");
    }
    return 0;
}
