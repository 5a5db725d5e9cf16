// Lists the machine's processes, one a line: "<id><TAB><executable path>" (the name alone when the
// path cannot be read, nothing after the tab when neither can). Under Wine these are the ids and
// paths that Windows programs see, which the end-to-end tests compare with the Linux side.
// Ends with 1 when no list could be taken.
#include <cstdio>

#include "sys/process_list.h"

int main() {
    CProcessInfo processes;
    if (!processes.Init(true) || !processes.Refresh()) {
        return 1;
    }
    bool more = true;
    while (more) {
        char name[kProcessTextSize] = {};
        char path[kProcessTextSize] = {};
        std::uint32_t id = 0;
        if (processes.NextProcess(name, path, &id, &more)) {
            std::printf("%lu\t%s\n", static_cast<unsigned long>(id), path[0] != '\0' ? path : name);
        }
    }
    return 0;
}
