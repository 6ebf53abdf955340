#include "FinderMenu.h"

#include "AlertRecord.h"
#include "AppleEvents.h"
#include "Verbs.h"

#include <fstream>
#include <iostream>

namespace lemvora::driver {

namespace {

// Finder as Return may change it: its front window and selection, and its focused element (a
// name's text field once it renames the selected item).
std::string finderState(const Element& finder) {
    const auto focused = finder.focused();
    return oneLine(finderWindowAndSelection()) +
           "; focused: " + (focused ? labelOf(*focused) : std::string("none"));
}

} // namespace

Step alertStep(const std::string& text, double timeout, Clock& clock,
               const std::shared_ptr<AXElement>& finder, std::optional<FinderMenu>& menuSource,
               const std::string& dumpPrefix) {
    return {"the alert \"" + text + "\" with \"Tamam\", and press it",
            [=, &clock, &finder, &menuSource] {
                std::optional<Alert> alert;
                if (!waitFor(clock, timeout, 0.25,
                             [&] { return (alert = findAlert(text, "Tamam")).has_value(); }))
                    throw StepFailure{"no such alert after " + std::to_string(int(timeout)) + " s"};
                std::vector<std::string> records;
                auto record = [&](const std::string& line) {
                    records.push_back(line);
                    std::cout << "seen: " << line << std::endl;
                };
                record(focusRecord(*alert->application, *alert->window));

                // The context menu again where it was opened, with as long for the item to come
                // as each opening of the case had.
                ElementPtr menu;
                std::string why;
                try {
                    menu = menuSource ? menuSource->open() : nullptr;
                } catch (const StepFailure& failure) {
                    why = ": " + failure.reason;
                }
                if (menu) {
                    waitFor(clock, 3, 0.25,
                            [&] { return findItem(*menu, "Yeni Belge") != nullptr; });
                    menuSource->keep();
                    postKey(keyEscape);
                    const bool closed = waitFor(clock, 2, 0.1, [&] {
                        return openContextMenu(*finder, contextMenuDepth) == nullptr;
                    });
                    record(menuRecord(menu.get(), "Yeni Belge", closed));
                    if (!closed)
                        menuSource->close();
                } else {
                    record(menuRecord(nullptr, "Yeni Belge", false) + why);
                }

                const std::string before = finderState(*finder);
                postKey(keyReturn);
                const bool gone = waitFor(clock, 2, 0.1, [&] { return !findAlert(text, "Tamam"); });
                record(returnRecord(gone, before, finderState(*finder)));
                if (!dumpPrefix.empty()) {
                    const std::string path = dumpPrefix + ".alert.txt";
                    std::ofstream out(path);
                    for (const auto& line : records)
                        out << line << '\n';
                    if (!out)
                        std::cerr << "could not write " << path << "\n";
                }

                // As the user would: "Tamam", while the alert is still up.
                if (const auto still = findAlert(text, "Tamam")) {
                    ax(still->button).performAction(kAXPressAction);
                    if (!waitFor(clock, 10, 0.25, [&] { return !findAlert(text, "Tamam"); }))
                        throw StepFailure{"the alert stays after \"Tamam\""};
                }
            }};
}

} // namespace lemvora::driver
