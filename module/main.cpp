// Kavro: carries out the one command of kavro.cmd and leaves its answer in log.txt.
#include "module_run.h"

#ifndef _WIN32
#include "platform/platform_classes.h"
#endif

int main()
{
    // Every outcome leaves as a line of the result file, never as an exit status.
    try {
#ifndef _WIN32
        RegisterPlatformClasses();
#endif
        RunModule();
    } catch (...) {
    }
    return 0;
}
