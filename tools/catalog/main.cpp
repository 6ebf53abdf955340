// lemvora-catalog: prints the template folder and the catalogue the "Yeni Belge" menu shows,
// one entry a line: position, title, then the name a new document gets.
//
//   lemvora-catalog                  print
//   lemvora-catalog --seed APP       first fill a missing template folder with the starter set
//                                    from the application bundle APP (…/Lemvora.app), as the
//                                    host application does when it starts
#include "Templates.h"

#include "platform/Bundle.h"
#include "platform/Text.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--seed") == 0) {
        try {
            Templates::seedIfNeeded(platform::Bundle(argv[2]));
        } catch (const std::filesystem::filesystem_error& e) {
            std::fprintf(stderr, "lemvora-catalog: %s\n", e.code().message().c_str());
            return 1;
        }
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: lemvora-catalog [--seed LEMVORA_APP]\n");
        return 2;
    }
    std::printf("%s\n", platform::text::displayable(Templates::directory().string()).c_str());
    const auto catalogue = Templates::load();
    for (std::size_t i = 0; i < catalogue.size(); ++i)
        std::printf("%2zu  %s\t%s\n", i + 1, catalogue[i].title().c_str(),
                    platform::text::displayable(catalogue[i].fileName()).c_str());
    return 0;
}
