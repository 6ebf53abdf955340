#include "platform/FinderSync.h"

int main(int argc, char** argv) {
    return platform::NSExtensionMain(argc, argv);
}
