// Prints where the main bundle of a program is and what it finds in it: built into a package
// folder (Probe.app/Contents/MacOS) and as a plain program, for the bundle tests.
#include "platform/Bundle.h"

#include <cstdio>

int main(int argc, char** argv) {
    const auto& bundle = platform::Bundle::main();
    std::printf("bundle %s\nresources %s\n", bundle.bundleURL().c_str(),
                bundle.resourceURL().c_str());
    for (int i = 1; i < argc; ++i) {
        auto found = bundle.urlForResource(argv[i], "Templates");
        std::printf("%s %s\n", argv[i], found ? found->c_str() : "-");
    }
    return 0;
}
