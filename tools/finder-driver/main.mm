// lemvora-finder-driver: drives the real Finder, and reads the Lemvora window, through the
// Accessibility API, for the Mac workflow's end-to-end job (scripts/finder-e2e.sh).
//
//   lemvora-finder-driver probe
//       prints whether this process is trusted for Accessibility (AXIsProcessTrusted), and may
//       post events and capture the screen without asking (CGPreflightPostEventAccess,
//       CGPreflightScreenCaptureAccess); its ancestry up to launchd, a line "ancestry: PID PATH"
//       each, among which is the process whose grants it has; and every window in front of
//       Finder's, a line "in front of Finder: OWNER (PID P, layer L)" each; exits 0
//   lemvora-finder-driver menu --folder DIR [[--expand FOLDER] --item NAME] --entry TITLE
//                              (--expect FILE | --expect-app | --expect-alert TEXT)
//                              [--target DIR] [--listed NAME]... [--timeout S] [--dump PREFIX]
//                              [--event-timeout S] [--no-apple-events]
//       opens a Finder window on DIR, shows the context menu of its background (or of its item
//       NAME, selected; with --expand, of the item NAME of DIR/FOLDER, its folder row opened in
//       the list first), finds "Yeni Belge", opens its submenu, presses TITLE, then waits until
//       FILE exists in the target folder (--target; DIR, or the item when there is one) and
//       Finder shows it selected; or until Lemvora runs; or until an alert with TEXT and "Tamam"
//       appears, then records how the alert behaves ("seen: " lines: its keyboard focus, the
//       context menu opened again, what Return did; AlertRecord.h), and presses "Tamam" if it is
//       still up. The list of DIR's files is the one whose rows hold every entry of DIR: those
//       named by --listed, each given once (every entry the job made there), else those DIR
//       holds; two such lists (the sidebar holding them too) fail the step naming both. With
//       --dump, keeps what Finder showed as accessibility trees (Dump.h's dump):
//       PREFIX.window.txt, the case's window once found, again when a later step fails (all of
//       Finder's windows when it never was found), PREFIX.menu-N.txt, the Nth context menu
//       opened, and in the alert case PREFIX.alert.txt, the records. Each Apple event to Finder
//       waits --event-timeout seconds (10) for its answer, and is sent once more if none came.
//       With --no-apple-events (no --item then), it sends Finder none: DIR opens through Launch
//       Services (`open -a Finder DIR`), and the selection is read through Accessibility. A
//       right-click or a key is never sent while another process's window is in front of Finder
//   lemvora-finder-driver window [--press BUTTON] --text T... --title T... --button B...
//                                [--timeout S]
//       reads Lemvora's window (after pressing BUTTON): the texts in this order, the table's
//       titles exactly, the buttons exactly; prints the window's frame for a screenshot
//
// It runs as a plain program from the job's shell: the grants that cover it are those of the
// process responsible for it, one of the ancestors its probe prints. Each step prints "ok: STEP";
// the first that fails prints one line naming it (with the menu titles it saw) and the program
// exits 1.
//
// Finder's own model (opening a window on a folder, the view, which items it has selected) is
// asked with AppleScript through NSAppleScript: Finder answers "selection" and "target of front
// Finder window" in paths, where its accessibility tree holds only display names that hide
// extensions and differ per view. In the process, not through osascript, because the wait for
// the selection asks many times.
#import <ApplicationServices/ApplicationServices.h>

#include "AXElement.h"
#include "System.h"
#include "Verbs.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

using namespace lemvora::driver;

int main(int argc, char** argv) {
    @autoreleasepool {
        if (!roleNamesMatchTheSdk())
            return 2;
        // Every element's calls wait at most this long, not only the applications': set on the
        // system-wide element, the timeout holds for the whole process (AXUIElement.h). An
        // element that is gone answers kAXErrorInvalidUIElement at once, whatever the timeout.
        if (const AXUIElementRef systemWide = AXUIElementCreateSystemWide()) {
            AXUIElementSetMessagingTimeout(systemWide, 3);
            CFRelease(systemWide);
        }
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "probe") {
            // AXIsProcessTrusted first, on a line of its own: the job's grant step reads it.
            std::cout << "AXIsProcessTrusted: " << (AXIsProcessTrusted() ? "yes" : "no") << "\n"
                      << "CGPreflightPostEventAccess: " // CGEvent.h
                      << (CGPreflightPostEventAccess() ? "yes" : "no") << "\n"
                      << "CGPreflightScreenCaptureAccess: " // CGWindow.h
                      << (CGPreflightScreenCaptureAccess() ? "yes" : "no") << "\n";
            for (const auto& entry : ancestry(getpid(), processEntry))
                std::cout << ancestryLine(entry) << "\n";
            const auto inFront = windowsInFrontOfFinder();
            for (const auto& window : inFront)
                std::cout << "in front of Finder: " << window << "\n";
            if (inFront.empty())
                std::cout << "in front of Finder: none\n";
            return 0;
        }
        const auto options =
            parseOptions(std::vector<std::string>(argv + std::min(argc, 2), argv + argc),
                         {"--expect-app", "--no-apple-events"});
        if (options && command == "menu")
            return menuCommand(*options);
        if (options && command == "window")
            return windowCommand(*options);
        std::cerr << "usage: lemvora-finder-driver probe | menu --folder DIR [[--expand FOLDER] "
                     "--item NAME] --entry TITLE (--expect FILE | --expect-app | --expect-alert "
                     "TEXT) [--target DIR] [--listed NAME]... [--timeout S] [--dump PREFIX] "
                     "[--event-timeout S] [--no-apple-events] | window "
                     "[--press BUTTON] "
                     "--text T... --title T... --button B... [--timeout S]\n";
        return 2;
    }
}
