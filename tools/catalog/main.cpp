// lemvora-catalog: prints the template folder and the catalogue the "Yeni Belge" menu shows,
// one entry a line: position, title, then the name a new document gets.
#include "Templates.h"

#include "platform/Text.h"

#include <cstdio>

int main() {
    std::printf("%s\n", platform::text::displayable(Templates::directory().string()).c_str());
    const auto catalogue = Templates::load();
    for (std::size_t i = 0; i < catalogue.size(); ++i)
        std::printf("%2zu  %s\t%s\n", i + 1, catalogue[i].title().c_str(),
                    platform::text::displayable(catalogue[i].fileName()).c_str());
    return 0;
}
