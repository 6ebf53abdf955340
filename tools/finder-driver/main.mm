// lemvora-finder-driver: drives the real Finder, and reads the Lemvora window, through the
// Accessibility API, for the Mac workflow's end-to-end job (scripts/finder-e2e.sh).
//
//   lemvora-finder-driver probe
//       prints whether this process is trusted for Accessibility (AXIsProcessTrusted); exits 0
//   lemvora-finder-driver menu --folder DIR [[--expand FOLDER] --item NAME] --entry TITLE
//                              (--expect FILE | --expect-app | --expect-alert TEXT)
//                              [--target DIR] [--listed NAME]... [--timeout S] [--dump PREFIX]
//       opens a Finder window on DIR, shows the context menu of its background (or of its item
//       NAME, selected; with --expand, of the item NAME of DIR/FOLDER, its folder row opened in
//       the list first), finds "Yeni Belge", opens its submenu, presses TITLE, then waits until
//       FILE exists in the target folder (--target; DIR, or the item when there is one) and
//       Finder shows it selected; or until Lemvora runs; or until an alert with TEXT and "Tamam"
//       appears, and presses "Tamam". The list of DIR's files is the one whose rows hold every
//       entry of DIR: those named by --listed, each given once (every entry the job made there),
//       else those DIR holds. With --dump, keeps
//       what Finder showed as accessibility trees (ElementTree.h's dump): PREFIX.window.txt, the
//       case's window once found, again when a later step fails (all of Finder's windows when
//       it never was found), and PREFIX.menu-N.txt, the Nth context menu opened
//   lemvora-finder-driver window [--press BUTTON] --text T... --title T... --button B...
//                                [--timeout S]
//       reads Lemvora's window (after pressing BUTTON): the texts in this order, the table's
//       titles exactly, the buttons exactly; prints the window's frame for a screenshot
//
// It runs as a plain program from the job's shell, so that it is the agent's Accessibility grant
// that covers it. Each step prints "ok: STEP"; the first that fails prints one line naming it
// (with the menu titles it saw) and the program exits 1.
//
// Finder's own model (opening a window on a folder, the view, which items it has selected) is
// asked with AppleScript through NSAppleScript: Finder answers "selection" and "target of front
// Finder window" in paths, where its accessibility tree holds only display names that hide
// extensions and differ per view. In the process, not through osascript, because the wait for
// the selection asks many times.
#import <AppKit/AppKit.h>
#import <ApplicationServices/ApplicationServices.h>
#include <libproc.h>
#include <sys/stat.h>

#include "ElementTree.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <thread>

namespace {

using namespace lemvora::driver;
namespace fs = std::filesystem;

// Compared in composed form: Finder and the file system may hand back decomposed letters.
std::string utf8(CFStringRef string) {
    if (!string)
        return "";
    NSString* composed = [(__bridge NSString*)string precomposedStringWithCanonicalMapping];
    return composed.UTF8String ? composed.UTF8String : "";
}

std::string utf8(NSString* string) {
    return utf8((__bridge CFStringRef)string);
}

NSString* ns(const std::string& string) {
    return [NSString stringWithUTF8String:string.c_str()];
}

class AXElement final : public Element {
public:
    // Takes over one reference (an element from a Copy or Create call, or retained).
    explicit AXElement(AXUIElementRef ref) : ref_(ref) {}
    ~AXElement() override { CFRelease(ref_); }
    AXElement(const AXElement&) = delete;
    AXElement& operator=(const AXElement&) = delete;

    AXUIElementRef ref() const { return ref_; }

    // A string's text, a number's as text ("1", "0.5"); "" for values of other types.
    std::string attribute(CFStringRef name) const {
        CFTypeRef value = copy(name);
        if (!value)
            return "";
        std::string text;
        // A pool of its own: the waits read attributes for minutes, under main's one pool.
        @autoreleasepool {
            if (CFGetTypeID(value) == CFStringGetTypeID())
                text = utf8(static_cast<CFStringRef>(value));
            else if (CFGetTypeID(value) == CFNumberGetTypeID())
                text = utf8([(__bridge NSNumber*)value stringValue]);
        }
        CFRelease(value);
        return text;
    }
    std::string role() const override { return attribute(kAXRoleAttribute); }
    std::string title() const override { return attribute(kAXTitleAttribute); }
    std::string value() const override { return attribute(kAXValueAttribute); }
    std::string subrole() const override { return attribute(kAXSubroleAttribute); }
    std::string identifier() const override { return attribute(kAXIdentifierAttribute); }
    std::string description() const override { return attribute(kAXDescriptionAttribute); }

    std::optional<int> disclosureLevel() const override {
        CFTypeRef value = copy(kAXDisclosureLevelAttribute);
        std::optional<int> level;
        int number = 0;
        if (value && CFGetTypeID(value) == CFNumberGetTypeID() &&
            CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberIntType, &number))
            level = number;
        if (value)
            CFRelease(value);
        return level;
    }
    std::optional<bool> disclosing() const override {
        CFTypeRef value = copy(kAXDisclosingAttribute);
        std::optional<bool> shown;
        // A CFBoolean, or a number as some applications answer.
        if (value && CFGetTypeID(value) == CFBooleanGetTypeID())
            shown = CFBooleanGetValue(static_cast<CFBooleanRef>(value));
        else if (value && CFGetTypeID(value) == CFNumberGetTypeID())
            shown = [(__bridge NSNumber*)value boolValue];
        if (value)
            CFRelease(value);
        return shown;
    }

    ElementPtr parent() const override { return elementAttribute(kAXParentAttribute); }
    ElementPtr focused() const override { return elementAttribute(kAXFocusedUIElementAttribute); }

    std::vector<ElementPtr> children() const override {
        std::vector<ElementPtr> kids;
        CFTypeRef value = nullptr;
        // kAXErrorInvalidUIElement for an element that is gone, kAXErrorNoValue for one without
        // children: no children either way.
        if (AXUIElementCopyAttributeValue(ref_, kAXChildrenAttribute, &value) != kAXErrorSuccess ||
            !value)
            return kids;
        if (CFGetTypeID(value) == CFArrayGetTypeID()) {
            const auto array = static_cast<CFArrayRef>(value);
            for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
                auto child = static_cast<AXUIElementRef>(
                    const_cast<void*>(CFArrayGetValueAtIndex(array, i)));
                CFRetain(child);
                kids.push_back(std::make_shared<AXElement>(child));
            }
        }
        CFRelease(value);
        return kids;
    }

    bool perform(const std::string& action) override {
        return performAction((__bridge CFStringRef)ns(action)) == kAXErrorSuccess;
    }

    AXError performAction(CFStringRef action) {
        // kAXErrorInvalidUIElement when the element is gone, kAXErrorActionUnsupported when it
        // has no such action, kAXErrorCannotComplete when the application did not answer within
        // the messaging timeout: the header warns that applications run modal work inside an
        // action (a menu opening, an alert), so the action may still have happened.
        return AXUIElementPerformAction(ref_, action);
    }

    std::optional<Frame> frame() const override {
        const auto r = cgFrame();
        if (!r)
            return std::nullopt;
        return Frame{r->origin.x, r->origin.y, r->size.width, r->size.height};
    }
    // Position and size in global screen coordinates (origin top left, as CGEvent's); none when
    // the element is gone (kAXErrorInvalidUIElement) or has no frame.
    std::optional<CGRect> cgFrame() const {
        CFTypeRef position = nullptr, size = nullptr;
        std::optional<CGRect> rect;
        // Both: kAXErrorInvalidUIElement when the element is gone, kAXErrorNoValue or
        // kAXErrorAttributeUnsupported when it has no frame.
        if (AXUIElementCopyAttributeValue(ref_, kAXPositionAttribute, &position) ==
                kAXErrorSuccess &&
            AXUIElementCopyAttributeValue(ref_, kAXSizeAttribute, &size) == kAXErrorSuccess) {
            CGRect r = CGRectZero;
            // Values of another type (an application may answer anything) are no frame.
            if (CFGetTypeID(position) == AXValueGetTypeID() &&
                CFGetTypeID(size) == AXValueGetTypeID() &&
                AXValueGetValue(static_cast<AXValueRef>(position), kAXValueTypeCGPoint,
                                &r.origin) &&
                AXValueGetValue(static_cast<AXValueRef>(size), kAXValueTypeCGSize, &r.size))
                rect = r;
        }
        if (position)
            CFRelease(position);
        if (size)
            CFRelease(size);
        return rect;
    }

    bool disclose() override {
        // kAXErrorInvalidUIElement when the row is gone, kAXErrorAttributeUnsupported or
        // kAXErrorIllegalArgument where it cannot be opened this way: refused. Not
        // kAXErrorCannotComplete: the application may still be opening it (AXUIElement.h), and
        // the wait after it looks.
        const AXError error =
            AXUIElementSetAttributeValue(ref_, kAXDisclosingAttribute, kCFBooleanTrue);
        return error == kAXErrorSuccess || error == kAXErrorCannotComplete;
    }

    void setTimeout(float seconds) {
        // kAXErrorInvalidUIElement when the element is gone; kAXErrorIllegalArgument for a
        // timeout that is not positive. Neither matters here: the calls after it fail alike.
        AXUIElementSetMessagingTimeout(ref_, seconds);
    }

    bool select() {
        // kAXErrorInvalidUIElement when the element is gone, kAXErrorAttributeUnsupported or
        // kAXErrorIllegalArgument where the selection cannot be set this way.
        return AXUIElementSetAttributeValue(ref_, kAXSelectedAttribute, kCFBooleanTrue) ==
               kAXErrorSuccess;
    }

private:
    // An attribute whose value is an element (an AXUIElementRef); null for one of another type.
    ElementPtr elementAttribute(CFStringRef name) const {
        CFTypeRef value = copy(name);
        if (!value)
            return nullptr;
        if (CFGetTypeID(value) != AXUIElementGetTypeID()) {
            CFRelease(value);
            return nullptr;
        }
        return std::make_shared<AXElement>(static_cast<AXUIElementRef>(value)); // takes it over
    }

    // The attribute's value, to release; null when there is none: kAXErrorInvalidUIElement when
    // the element is gone (a closed menu's item, a closed window), kAXErrorNoValue or
    // kAXErrorAttributeUnsupported when it has no such attribute, kAXErrorCannotComplete when
    // the application did not answer in time.
    CFTypeRef copy(CFStringRef name) const {
        CFTypeRef value = nullptr;
        if (AXUIElementCopyAttributeValue(ref_, name, &value) != kAXErrorSuccess)
            return nullptr;
        return value;
    }

    AXUIElementRef ref_;
};

std::shared_ptr<AXElement> applicationElement(pid_t pid) {
    // Never null; for a process that is gone, or has no accessibility, every call on it fails
    // (kAXErrorInvalidUIElement, kAXErrorCannotComplete, kAXErrorNotImplemented).
    auto app = std::make_shared<AXElement>(AXUIElementCreateApplication(pid));
    app->setTimeout(3);
    return app;
}

AXElement& ax(const ElementPtr& element) {
    return static_cast<AXElement&>(*element);
}

class RealClock final : public Clock {
public:
    double now() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void pause(double seconds) override {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
};

// The processes whose executable's path ends so, such as ".../Lemvora.app/Contents/MacOS/Lemvora".
std::vector<pid_t> processesEndingIn(const std::string& suffix) {
    std::vector<pid_t> pids(4096);
    const int count = proc_listallpids(pids.data(), static_cast<int>(pids.size() * sizeof(pid_t)));
    std::vector<pid_t> found;
    for (int i = 0; i < count && i < static_cast<int>(pids.size()); ++i) {
        char path[PROC_PIDPATHINFO_MAXSIZE] = {};
        if (proc_pidpath(pids[i], path, sizeof path) <= 0)
            continue;
        const std::string p(path);
        if (p.size() >= suffix.size() &&
            p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(pids[i]);
    }
    return found;
}

std::optional<pid_t> finderProcess() {
    const auto pids = processesEndingIn("/CoreServices/Finder.app/Contents/MacOS/Finder");
    if (pids.empty())
        return std::nullopt;
    return pids.front();
}

std::string quoted(const std::string& text) { // an AppleScript string literal
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Runs AppleScript; throws the step's failure with AppleScript's own message.
std::string appleScript(const std::string& source) {
    NSDictionary* error = nil;
    // An Apple event waits two minutes for its answer by default (AppleScript Language Guide,
    // "with timeout"), and the messaging timeout of the Accessibility calls does not bind it:
    // Finder busy in a menu would hold a step past its own limit.
    NSAppleScript* script = [[NSAppleScript alloc]
        initWithSource:ns("with timeout of 10 seconds\n" + source + "\nend timeout")];
    NSAppleEventDescriptor* result = [script executeAndReturnError:&error];
    if (!result)
        throw StepFailure{"AppleScript: " + utf8((NSString*)error[NSAppleScriptErrorMessage]) +
                          " (" + utf8([error[NSAppleScriptErrorNumber] description]) + ")"};
    return result.stringValue ? utf8(result.stringValue) : "";
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

// The posting of synthesized input: the fallback right-click, hovering over an item, a key.
void postMouse(CGEventType type, CGPoint at, CGMouseButton button) {
    CGEventRef event = CGEventCreateMouseEvent(nullptr, type, at, button);
    if (event) {
        // A button's press and release are one click, as a real mouse counts it
        // (kCGMouseEventClickState, CGEventTypes.h): a count of 0 is no click to an application
        // that reads it.
        if (type != kCGEventMouseMoved)
            CGEventSetIntegerValueField(event, kCGMouseEventClickState, 1);
        CGEventPost(kCGHIDEventTap, event);
        CFRelease(event);
    }
}
void postKey(CGKeyCode key) { // virtual key codes of HIToolbox's Events.h
    for (bool down : {true, false}) {
        CGEventRef event = CGEventCreateKeyboardEvent(nullptr, key, down);
        if (event) {
            CGEventPost(kCGHIDEventTap, event);
            CFRelease(event);
        }
    }
}
constexpr CGKeyCode keyEscape = 0x35;     // kVK_Escape
constexpr CGKeyCode keyRightArrow = 0x7C; // kVK_RightArrow

CGPoint centre(const CGRect& r) {
    return CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r));
}

// The role and action names the core compares with or performs are the SDK's own.
bool roleNamesMatchTheSdk() {
    const std::pair<const char*, CFStringRef> names[] = {
        {role::application, kAXApplicationRole},
        {role::window, kAXWindowRole},
        {role::menuBar, kAXMenuBarRole},
        {role::menuBarItem, kAXMenuBarItemRole},
        {role::menu, kAXMenuRole},
        {role::menuItem, kAXMenuItemRole},
        {role::button, kAXButtonRole},
        {role::staticText, kAXStaticTextRole},
        {role::textField, kAXTextFieldRole},
        {role::scrollArea, kAXScrollAreaRole},
        {role::table, kAXTableRole},
        {role::outline, kAXOutlineRole},
        {role::row, kAXRowRole},
        {role::cell, kAXCellRole},
        {role::group, kAXGroupRole},
        {role::browser, kAXBrowserRole},
        {role::list, kAXListRole},
        {role::popUpButton, kAXPopUpButtonRole},
        {role::menuButton, kAXMenuButtonRole},
        {role::disclosureTriangle, kAXDisclosureTriangleRole},
        {action::press, kAXPressAction},
    };
    for (const auto& [core, sdk] : names)
        if (utf8(sdk) != core) {
            std::cerr << "the name " << core << " is " << utf8(sdk) << " in the SDK\n";
            return false;
        }
    return true;
}

// --timeout S, 30 when not given; none for anything but a positive number of seconds.
std::optional<double> timeoutOf(const Options& options) {
    const std::string given = options.one("--timeout");
    if (given.empty())
        return 30;
    char* end = nullptr;
    const double seconds = std::strtod(given.c_str(), &end);
    if (end != given.c_str() + given.size() || !(seconds > 0) || seconds > 3600)
        return std::nullopt;
    return seconds;
}

void requireTrust() {
    if (!AXIsProcessTrusted())
        throw StepFailure{"AXIsProcessTrusted() is false: this program may not use the "
                          "Accessibility API (see the job's TCC step)"};
}

// An entry of a folder as Finder's list may name it: its name, or the name Finder shows.
EntryName entryNamed(const std::string& path) {
    return {utf8(ns(fs::path(path).filename().string())),
            utf8([NSFileManager.defaultManager displayNameAtPath:ns(path)])};
}

// The entries Finder lists of a folder: not those it hides (a name beginning with ".", the
// hidden flag).
std::vector<EntryName> entriesOf(const std::string& folder) {
    std::vector<EntryName> entries;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        struct stat info {};
        if (entry.path().filename().string().rfind('.', 0) == 0 ||
            (lstat(entry.path().c_str(), &info) == 0 && (info.st_flags & UF_HIDDEN)))
            continue;
        entries.push_back(entryNamed(entry.path().string()));
    }
    return entries;
}

// Windows hold the list (the menu bar's menus hold many more elements): an outline five levels
// down in list view, a browser column's list seven.
constexpr int listDepth = 9;
// A dump of the window reaches a column view's names and a menu's submenu hanging under the
// list; a menu's, its submenu's items.
constexpr int windowDumpDepth = 9, menuDumpDepth = 4;

// Finder's context menu for the list's background, or for one of its rows: AXShowMenu first,
// and a synthesized right-click when no menu came of it.
class FinderMenu final : public MenuSource {
public:
    // `keep` is handed each menu opened, by its number from 1, to keep as it shows.
    FinderMenu(std::shared_ptr<AXElement> finder, Clock& clock,
               std::function<std::optional<ListFound>()> locate, bool forRow,
               std::function<void(int, const Element&)> keep)
        : finder_(std::move(finder)), clock_(clock), locate_(std::move(locate)), forRow_(forRow),
          keep_(std::move(keep)) {}

    ElementPtr open() override {
        // Found anew each time: Finder may have replaced the elements since.
        const auto found = locate_();
        const ElementPtr target = !found ? nullptr : forRow_ ? found->row : found->list();
        if (!target)
            return nullptr;
        // AXShowMenu may keep the call until the menu closes, or answer an error although the
        // menu opened: a short timeout, and the menu is looked for whatever the answer.
        ax(target).setTimeout(1.5);
        ax(target).performAction(kAXShowMenuAction);
        ElementPtr menu;
        auto menuOpen = [&] {
            return (menu = openContextMenu(*finder_, contextMenuDepth)) != nullptr;
        };
        if (waitFor(clock_, 2, 0.1, menuOpen))
            return opened(menu);
        // On the row, or below the rows: a click elsewhere in the list opens another menu (the
        // header's columns) or a row's; better none, and the step says why.
        const Click click = forRow_ ? rowClick(*found, *target) : backgroundClick(*found);
        if (!click.at)
            throw StepFailure{"AXShowMenu opened no menu, and no right-click: " + click.problem};
        const CGPoint point = CGPointMake(click.at->x, click.at->y);
        // The pointer goes there first, as a hand's would, and the button stays down a moment.
        postMouse(kCGEventMouseMoved, point, kCGMouseButtonLeft);
        clock_.pause(0.05);
        postMouse(kCGEventRightMouseDown, point, kCGMouseButtonRight);
        clock_.pause(0.05);
        postMouse(kCGEventRightMouseUp, point, kCGMouseButtonRight);
        waitFor(clock_, 2, 0.1, menuOpen);
        return opened(menu);
    }

    // The menu last opened, as it shows now, while it is open.
    void keep() {
        // A menu that closed is gone: its role reads empty.
        if (menu_ && !menu_->role().empty())
            keep_(openings_, *menu_);
    }

    void close() override {
        keep();
        auto closed = [&] {
            return openContextMenu(*finder_, contextMenuDepth) == nullptr;
        };
        if (const auto menu = openContextMenu(*finder_, contextMenuDepth))
            ax(menu).performAction(kAXCancelAction);
        else
            postKey(keyEscape); // a menu open where Accessibility does not show it
        // Escape closes one menu at a time: an open submenu takes one more.
        for (int i = 0; i < 3 && !waitFor(clock_, 0.7, 0.1, closed); ++i)
            postKey(keyEscape);
        waitFor(clock_, 1, 0.1, closed);
    }

private:
    ElementPtr opened(const ElementPtr& menu) {
        if (menu)
            ++openings_;
        return menu_ = menu;
    }

    std::shared_ptr<AXElement> finder_;
    Clock& clock_;
    std::function<std::optional<ListFound>()> locate_;
    bool forRow_;
    std::function<void(int, const Element&)> keep_;
    ElementPtr menu_;
    int openings_ = 0;
};

// The alert the extension shows: a window of one of its processes (or Finder's) with the text
// and the button.
struct Alert {
    ElementPtr window, button;
};
std::optional<Alert> findAlert(const std::string& text, const std::string& buttonTitle) {
    auto pids = processesEndingIn("/LemvoraMenu.appex/Contents/MacOS/LemvoraMenu");
    if (const auto finder = finderProcess())
        pids.push_back(*finder);
    for (pid_t pid : pids)
        for (auto& window : applicationElement(pid)->children())
            if (window->role() == role::window && findByRole(*window, role::staticText, text, 6))
                if (auto button = findByRole(*window, role::button, buttonTitle, 6))
                    return Alert{window, button};
    return std::nullopt;
}

// Finder's front window's folder, then its selected items, a path a line; what went wrong when
// it cannot say (no window yet is an AppleScript error).
std::string finderWindowAndSelection() {
    try {
        return appleScript("tell application \"Finder\"\n"
                           "  set out to POSIX path of (target of front Finder window as alias)\n"
                           "  repeat with f in (get selection)\n"
                           "    set out to out & linefeed & POSIX path of (f as alias)\n"
                           "  end repeat\n"
                           "  return out\n"
                           "end tell");
    } catch (const StepFailure& failure) {
        return failure.reason;
    }
}

int menuCommand(const Options& options) {
    const std::string folder = withoutTrailingSlash(options.one("--folder"));
    const std::string itemName = options.one("--item");
    const std::string opened = options.one("--expand");
    const std::string entry = options.one("--entry");
    const auto timeoutGiven = timeoutOf(options);
    if (!timeoutGiven) {
        std::cerr << "menu: --timeout takes a number of seconds\n";
        return 2;
    }
    const double timeout = *timeoutGiven;
    if (folder.empty() || entry.empty() ||
        options.has("--expect") + options.has("--expect-app") + options.has("--expect-alert") !=
            1) {
        std::cerr << "menu: --folder, --entry and one of --expect, --expect-app, --expect-alert\n";
        return 2;
    }
    if (!opened.empty() && itemName.empty()) {
        std::cerr << "menu: --expand names the folder row that holds --item\n";
        return 2;
    }
    // The item is in the folder, or in its folder row opened in the list.
    const std::string item = itemName.empty() ? ""
                             : opened.empty() ? folder + "/" + itemName
                                              : folder + "/" + opened + "/" + itemName;
    const std::string target = options.has("--target")
                                   ? withoutTrailingSlash(options.one("--target"))
                               : item.empty() ? folder
                                              : item;
    const std::string dumpPrefix = options.one("--dump");
    auto keep = [&](const std::string& name, const Element& root, int depth) {
        if (dumpPrefix.empty())
            return;
        const std::string path = dumpPrefix + "." + name + ".txt";
        std::ofstream out(path);
        dumpTree(root, depth, out);
        if (!out)
            std::cerr << "could not write " << path << "\n";
    };
    auto keepMenu = [&](int number, const Element& menu) {
        keep("menu-" + std::to_string(number), menu, menuDumpDepth);
    };
    ElementPtr caseWindow;
    RealClock clock;
    std::vector<std::string> seen;
    std::shared_ptr<AXElement> finder;
    ElementPtr yeniBelge, submenu, entryItem;
    // The rows that tell the case's list: every entry of the folder (none for an empty one), as
    // the job lists them (--listed) or else as the folder holds them, read before the menu adds
    // one; the item's first (its folder row's when that is to be opened), whose row is clicked.
    // A sidebar holds a few of them at most.
    std::vector<EntryName> wanted;
    const EntryName openedEntry = opened.empty() ? EntryName{} : entryNamed(folder + "/" + opened),
                    itemEntry = item.empty() ? EntryName{} : entryNamed(item);
    auto folderEntries = [&] {
        const auto listed = options.all("--listed");
        std::vector<EntryName> entries;
        for (const auto& name : listed)
            entries.push_back(entryNamed(folder + "/" + name));
        if (listed.empty())
            entries = entriesOf(folder);
        const EntryName& first = opened.empty() ? itemEntry : openedEntry;
        if (!first.name.empty()) {
            std::erase_if(entries, [&](const EntryName& e) { return e.name == first.name; });
            entries.insert(entries.begin(), first);
        }
        return entries;
    };
    auto locate = [&] {
        auto found = onlyList(findList(*finder, wanted, listDepth));
        if (found && !opened.empty())
            found->row = rowWithin(*found->list(), openedEntry, itemEntry);
        return found;
    };
    std::optional<FinderMenu> menuSource;

    std::vector<Step> steps{
        {"trust", requireTrust},
        {"open a Finder window on " + folder,
         [&] {
             const auto pid = finderProcess();
             if (!pid)
                 throw StepFailure{"Finder does not run"};
             finder = applicationElement(*pid);
             appleScript("tell application \"Finder\"\n"
                         "  activate\n"
                         "  close every Finder window\n"
                         "  set w to make new Finder window to (POSIX file " +
                         quoted(folder) +
                         " as alias)\n"
                         "  set current view of w to list view\n"
                         "  set bounds of w to {60, 60, 960, 660}\n"
                         "end tell");
         }},
        {"the list view shows " + (itemName.empty() ? folder + "'s entries"
                                   : opened.empty() ? itemName
                                                    : opened),
         [&] {
             wanted = folderEntries();
             std::optional<ListFound> found;
             if (!waitFor(clock, timeout, 0.25, [&] { return (found = locate()).has_value(); }))
                 throw StepFailure{
                     "no list in Finder's windows with " +
                     (wanted.empty()
                          ? std::string("no rows (an empty folder)")
                          : "a row for each of " + std::to_string(wanted.size()) + " entries") +
                     " within " + std::to_string(int(timeout)) + " s"};
             caseWindow = found->window();
             keep("window", *caseWindow, windowDumpDepth);
         }},
    };
    if (!opened.empty())
        steps.push_back({"open " + opened + " in the list until it lists " + itemName, [&] {
                             const Expansion done = expandTo(
                                 [&] {
                                     const auto found =
                                         onlyList(findList(*finder, wanted, listDepth));
                                     return found ? found->list() : nullptr;
                                 },
                                 openedEntry, itemEntry, clock, timeout);
                             if (!done.row)
                                 throw StepFailure{done.problem};
                             keep("window", *caseWindow, windowDumpDepth);
                         }});
    // Selected once its row is listed: Finder may not select an item of a closed folder row.
    if (!item.empty())
        steps.push_back({"select " + itemName, [&] {
                             appleScript("tell application \"Finder\" to select (POSIX file " +
                                         quoted(item) + " as alias)");
                         }});
    steps.insert(
        steps.end(),
        {
            {"find \"Yeni Belge\" in the context menu" +
                 (itemName.empty() ? std::string(" of the background") : " of " + itemName),
             [&] {
                 menuSource.emplace(finder, clock, locate, !itemName.empty(), keepMenu);
                 const Found found = findInMenu(*menuSource, clock, "Yeni Belge", timeout, 3);
                 seen = found.seen;
                 if (!found.menu && found.seen.empty())
                     throw StepFailure{
                         "no context menu opened (AXShowMenu and a right-click) within " +
                         std::to_string(int(timeout)) + " s"};
                 if (!found.item)
                     throw StepFailure{"no item \"Yeni Belge\" in the context menu within " +
                                       std::to_string(int(timeout)) + " s"};
                 yeniBelge = found.item;
             }},
            {"open the submenu of \"Yeni Belge\"",
             [&] {
                 // Pressing an item with a submenu does nothing: the selection is moved onto it, by
                 // hovering, then by selecting it and the right arrow key.
                 if (const auto frame = ax(yeniBelge).cgFrame())
                     postMouse(kCGEventMouseMoved, centre(*frame), kCGMouseButtonLeft);
                 auto entryShown = [&] {
                     submenu = submenuOf(*yeniBelge);
                     if (submenu)
                         seen = titlesOf(*submenu);
                     return submenu && (entryItem = findItem(*submenu, entry)) != nullptr;
                 };
                 if (!waitFor(clock, 2, 0.1, entryShown)) {
                     ax(yeniBelge).select();
                     postKey(keyRightArrow);
                     if (!waitFor(clock, 5, 0.1, entryShown))
                         throw StepFailure{"no entry \"" + entry + "\" in the submenu"};
                 }
                 menuSource->keep(); // with its submenu open
             }},
            {"press \"" + entry + "\"",
             [&] {
                 ax(entryItem).setTimeout(2);
                 const AXError error = ax(entryItem).performAction(kAXPressAction);
                 if (error != kAXErrorSuccess && error != kAXErrorCannotComplete)
                     throw StepFailure{"AXPress answered " + std::to_string(error)};
             }},
        });
    if (options.has("--expect")) {
        const std::string file = target + "/" + options.one("--expect");
        steps.push_back({"wait until " + file + " exists and Finder shows it selected", [&, file] {
                             std::string finderSays;
                             const bool done = waitFor(clock, timeout, 0.5, [&] {
                                 if (!fs::exists(fs::path(file)))
                                     return false;
                                 // Both composed: Finder's paths come through utf8() too.
                                 finderSays = finderWindowAndSelection();
                                 return showsSelected(finderSays, utf8(ns(file)));
                             });
                             if (!done)
                                 throw StepFailure{
                                     fs::exists(fs::path(file))
                                         ? "Finder does not show it selected; its front window "
                                           "and selection: " +
                                               oneLine(finderSays)
                                         : "no such file after " + std::to_string(int(timeout)) +
                                               " s"};
                         }});
    } else if (options.has("--expect-app")) {
        steps.insert(steps.begin() + 1,
                     {"Lemvora does not run yet", [] {
                          if (!processesEndingIn("/Lemvora.app/Contents/MacOS/Lemvora").empty())
                              throw StepFailure{"it runs already: its start could not be seen"};
                      }});
        steps.push_back(
            {"wait until Lemvora runs", [&] {
                 if (!waitFor(clock, timeout, 0.25, [] {
                         return !processesEndingIn("/Lemvora.app/Contents/MacOS/Lemvora").empty();
                     }))
                     throw StepFailure{"no Lemvora process after " + std::to_string(int(timeout)) +
                                       " s"};
             }});
    } else {
        const std::string text = options.one("--expect-alert");
        steps.push_back(
            {"the alert \"" + text + "\" with \"Tamam\", and press it", [&, text] {
                 std::optional<Alert> alert;
                 if (!waitFor(clock, timeout, 0.25,
                              [&] { return (alert = findAlert(text, "Tamam")).has_value(); }))
                     throw StepFailure{"no such alert after " + std::to_string(int(timeout)) +
                                       " s"};
                 ax(alert->button).performAction(kAXPressAction);
                 if (!waitFor(clock, 10, 0.25, [&] { return !findAlert(text, "Tamam"); }))
                     throw StepFailure{"the alert stays after \"Tamam\""};
             }});
    }
    const int status = runSteps(steps, std::cout, seen);
    if (status != 0 && finder) {
        // What Finder shows at the failure: the case's window, or before it was found (or once it
        // is gone: its role reads empty) all of Finder's windows.
        if (caseWindow && !caseWindow->role().empty())
            keep("window", *caseWindow, windowDumpDepth);
        else
            keep("window", *finder, windowDumpDepth + 1);
    }
    // A menu left open by a failed step would hold the next case's window.
    if (status != 0 && menuSource)
        menuSource->close();
    return status;
}

int windowCommand(const Options& options) {
    const auto timeoutGiven = timeoutOf(options);
    if (!timeoutGiven) {
        std::cerr << "window: --timeout takes a number of seconds\n";
        return 2;
    }
    const double timeout = *timeoutGiven;
    const WindowExpectation expected{options.all("--text"), options.all("--title"),
                                     options.all("--button")};
    RealClock clock;
    ElementPtr window;
    const std::vector<std::string> seen;
    std::vector<Step> steps{
        {"trust", requireTrust},
        {"find the window \"Lemvora\"",
         [&] {
             const bool found = waitFor(clock, timeout, 0.25, [&] {
                 for (pid_t pid : processesEndingIn("/Lemvora.app/Contents/MacOS/Lemvora"))
                     for (auto& child : applicationElement(pid)->children())
                         if (child->role() == role::window && child->title() == "Lemvora")
                             return (window = child) != nullptr;
                 return false;
             });
             if (!found)
                 throw StepFailure{"no Lemvora process with that window after " +
                                   std::to_string(int(timeout)) + " s"};
         }},
    };
    if (options.has("--press"))
        steps.push_back({"press \"" + options.one("--press") + "\"", [&] {
                             const auto button =
                                 findByRole(*window, role::button, options.one("--press"), 8);
                             // kAXErrorCannotComplete does not say the press failed
                             // (AXUIElement.h): the application may still be busy with it. The next
                             // step looks at its effect.
                             const AXError pressed = button
                                                         ? ax(button).performAction(kAXPressAction)
                                                         : kAXErrorInvalidUIElement;
                             if (pressed != kAXErrorSuccess && pressed != kAXErrorCannotComplete)
                                 throw StepFailure{"no button to press"};
                         }});
    steps.push_back({"read the window", [&] {
                         std::vector<std::string> problems;
                         const bool same = waitFor(clock, timeout, 0.25, [&] {
                             problems = compare(readWindow(*window), expected);
                             return problems.empty();
                         });
                         if (!same)
                             throw StepFailure{joined(problems)};
                         if (const auto frame = ax(window).cgFrame())
                             std::cout << "window frame: " << int(frame->origin.x) << ","
                                       << int(frame->origin.y) << "," << int(frame->size.width)
                                       << "," << int(frame->size.height) << "\n";
                     }});
    return runSteps(steps, std::cout, seen);
}

} // namespace

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
            std::cout << "AXIsProcessTrusted: " << (AXIsProcessTrusted() ? "yes" : "no") << "\n";
            return 0;
        }
        const auto options = parseOptions(
            std::vector<std::string>(argv + std::min(argc, 2), argv + argc), {"--expect-app"});
        if (options && command == "menu")
            return menuCommand(*options);
        if (options && command == "window")
            return windowCommand(*options);
        std::cerr
            << "usage: lemvora-finder-driver probe | menu --folder DIR [[--expand FOLDER] "
               "--item NAME] --entry TITLE (--expect FILE | --expect-app | --expect-alert "
               "TEXT) [--target DIR] [--listed NAME]... [--timeout S] [--dump PREFIX] | window "
               "[--press BUTTON] "
               "--text T... --title T... --button B... [--timeout S]\n";
        return 2;
    }
}
