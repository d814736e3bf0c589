// Helper of the crash test: rewrites the settings file at argv[1] for ever, moving
// its five keys between the two sets of values of crashstates.h, and says "writing"
// once it is about to start, so that the test can kill it at a random moment of
// the writes rather than while it starts up.

#include "crashstates.h"
#include "settings/inifile.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    using namespace ktb::e2e::crash;
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_writer FILE\n");
        return 2;
    }
    TIniFile ini(QString::fromLocal8Bit(argv[1]));
    std::fputs("writing\n", stdout);
    std::fflush(stdout);
    for (;;) {
        for (const auto *values : {&valuesB, &valuesA}) {
            for (std::size_t i = 0; i < keys.size(); ++i)
                ini.WriteInteger(section, keys[i], (*values)[i]);
        }
    }
}
