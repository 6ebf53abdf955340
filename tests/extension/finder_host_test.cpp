// End to end: lemvora-finder in script mode running the built LemvoraMenu.appex as a process.
#include "Templates.h"

#include "TestSupport.h"
#include "platform/Bundle.h"
#include "platform/FinderSync.h"
#include "platform/Text.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <ctime>
#include <set>
#include <sstream>

#include <linux/magic.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>

namespace {

using namespace testing_support;
using Json = nlohmann::ordered_json;
using V = std::vector<std::string>;

const fs::path builtApp = fs::path(LEMVORA_BINARY_DIR) / "Lemvora.app";
const fs::path appex = builtApp / "Contents/PlugIns/LemvoraMenu.appex";
const fs::path finder = fs::path(LEMVORA_BINARY_DIR) / "tools/finder/lemvora-finder";

std::vector<Json> lines(const std::string& out) {
    std::vector<Json> parsed;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        parsed.push_back(Json::parse(line));
    return parsed;
}

std::string request(const Json& r) {
    return r.dump() + "\n";
}
std::string menuRequest(unsigned kind, const fs::path& target) {
    return request({{"op", "menu"}, {"kind", kind}, {"target", target.string()}});
}
std::string sendRequest(const std::string& selector, const fs::path& target) {
    return request({{"op", "send"}, {"selector", selector}, {"target", target.string()}});
}
// A path as the protocol carries it: a string, or {"bytes":HEX} where it is not UTF-8.
Json pathJSON(const fs::path& p) {
    if (platform::text::displayable(p.native()) == p.native())
        return p.string();
    std::string hex;
    for (unsigned char c : p.native()) {
        static const char digits[] = "0123456789abcdef";
        hex += {digits[c >> 4], digits[c & 15]};
    }
    return Json{{"bytes", hex}};
}

class FinderHost : public HomeTest {
protected:
    std::vector<Json> script(const std::string& input, ProcessOptions options = {},
                             const fs::path& extension = appex) {
        options.input = input;
        auto result =
            runProcess({finder.string(), "--script", "--extension", extension.string()}, options);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return lines(result.out);
    }
    fs::path folder() const { return scratch() / "Belgeler"; }
    void seed() { ASSERT_TRUE(Templates::seedIfNeeded(platform::Bundle(builtApp))); }
    // An extension bundle whose executable is a script of tests/support. (The script stays in the
    // source tree: a temporary folder may forbid running files.)
    fs::path standIn(const std::string& script) const {
        const fs::path bundle = scratch() / (script + ".appex");
        writeFile(bundle / "Contents/Info.plist",
                  "<plist><dict><key>CFBundleExecutable</key><string>run</string>"
                  "<key>NSExtension</key><dict><key>NSExtensionPointIdentifier</key>"
                  "<string>com.apple.FinderSync</string></dict></dict></plist>");
        fs::create_directories(bundle / "Contents/MacOS");
        fs::create_symlink(fs::path(LEMVORA_SOURCE_DIR) / "tests/support" / script,
                           bundle / "Contents/MacOS/run");
        return bundle;
    }
};

TEST_F(FinderHost, StarterSetMenuHasTheExactShape) {
    seed();
    fs::create_directories(folder());
    const auto out = script(menuRequest(1, folder()) + menuRequest(2, folder()));
    ASSERT_EQ(out.size(), 2u);
    Json entries = Json::array();
    const V titles = {"Metin Belgesi", "Markdown Belgesi", "Word Belgesi", "Excel Çalışma Kitabı",
                      "PowerPoint Sunusu"};
    for (std::size_t i = 0; i < titles.size(); ++i)
        entries.push_back({{"title", titles[i]},
                           {"action", "doc0" + std::to_string(i) + ":"},
                           {"keyEquivalent", ""},
                           {"submenu", nullptr}});
    const Json expected = {{"menu",
                            {{"title", ""},
                             {"items",
                              {{{"title", "Yeni Belge"},
                                {"action", nullptr},
                                {"keyEquivalent", ""},
                                {"submenu", {{"title", "Yeni Belge"}, {"items", entries}}}}}}}}};
    EXPECT_EQ(out[0].dump(), expected.dump()); // key order included
    EXPECT_EQ(out[1].dump(), R"({"menu":null})");
}

TEST_F(FinderHost, CreatesInTheFolderOrTheFilesParentWithNumbering) {
    seed();
    writeFile(folder() / "mevcut.txt", "x");
    const auto out = script(menuRequest(0, folder()) + sendRequest("doc02:", folder()) +
                            sendRequest("doc02:", folder() / "mevcut.txt") +
                            sendRequest("doc00:", folder() / "mevcut.txt"));
    ASSERT_EQ(out.size(), 7u);
    const std::string word = (folder() / "Yeni Word Belgesi.docx").string();
    const std::string word2 = (folder() / "Yeni Word Belgesi 2.docx").string();
    const std::string text = (folder() / "Yeni Metin Belgesi.txt").string();
    EXPECT_EQ(out[1].dump(), Json({{"event", "reveal"}, {"urls", {word}}}).dump());
    EXPECT_EQ(out[2].dump(), R"({"done":true})");
    EXPECT_EQ(out[3].dump(), Json({{"event", "reveal"}, {"urls", {word2}}}).dump());
    EXPECT_EQ(out[5].dump(), Json({{"event", "reveal"}, {"urls", {text}}}).dump());
    EXPECT_EQ(readFile(word2),
              readFile(fs::path(LEMVORA_SOURCE_DIR) / "resources/Templates/bos.docx"));
    EXPECT_EQ(fs::file_size(text), 0u);
}

TEST_F(FinderHost, OnlyTheCopyThatShowedTheMenuKeepsItsList) {
    makeTemplates({"1 A.txt", "2 B.txt", "3 C.txt", "4 D.txt", "5 E.txt", "6 F.txt"});
    fs::create_directories(folder());
    for (const bool anotherCopy : {false, true}) {
        SCOPED_TRACE(anotherCopy ? "the action in another copy" : "one copy");
        std::vector<std::string> argv{finder.string(), "--script", "--extension", appex.string()};
        if (anotherCopy)
            argv.push_back("--action-in-another-copy");
        LineSession session(argv);
        session.writeLine(menuRequest(1, folder()));
        EXPECT_NE(session.readLine().find("\"doc05:\""), std::string::npos);
        // Three templates vanish between the menu and the choice of slot 5: the extension process
        // that showed the menu resolves the slot through the list it showed; another, which never
        // built that list, has only its fresh scan, too short for slot 5.
        for (const char* name : {"4 D.txt", "5 E.txt", "6 F.txt"})
            fs::rename(templates() / name, scratch() / name);
        session.writeLine(sendRequest("doc05:", folder()));
        if (!anotherCopy) {
            const Json alert = Json::parse(session.readLine());
            EXPECT_EQ(alert["event"], "alert");
            EXPECT_EQ(alert["message"], "F oluşturulamadı");
        }
        EXPECT_EQ(session.readLine(), R"({"done":true})");
        session.writeLine(sendRequest("doc01:", folder()));
        EXPECT_EQ(Json::parse(session.readLine())["urls"][0], (folder() / "B.txt").string());
        EXPECT_EQ(session.readLine(), R"({"done":true})");
        EXPECT_EQ(session.finish(), 0);
        fs::remove(folder() / "B.txt");
        for (const char* name : {"4 D.txt", "5 E.txt", "6 F.txt"})
            fs::rename(scratch() / name, templates() / name);
    }
}

TEST_F(FinderHost, FailureAlertComesAfterTheActionAndBeforeDone) {
    // The host and the extension run as an ordinary user, in a folder that user may not write.
    makeTemplates({"10 Yeni Metin Belgesi.txt"});
    fs::create_directories(folder());
    chmod(folder().c_str(), 0555);
    const auto out =
        script(menuRequest(1, folder()) + sendRequest("doc00:", folder()), {.unprivileged = true});
    chmod(folder().c_str(), 0755);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1].dump(), Json({{"event", "alert"},
                                   {"style", "warning"},
                                   {"message", "Metin Belgesi oluşturulamadı"},
                                   {"informative", "Permission denied"},
                                   {"buttons", {"Tamam"}}})
                                 .dump());
    EXPECT_EQ(out[2].dump(), R"({"done":true})");
    EXPECT_TRUE(namesIn(folder()).empty());
}

TEST_F(FinderHost, TheAlertSpeaksTheUsersLanguage) {
    // The system's description of the error, in Turkish, in its own letters.
    makeTemplates({"10 Yeni Metin Belgesi.txt"});
    fs::create_directories(folder());
    chmod(folder().c_str(), 0555);
    const auto out = script(menuRequest(1, folder()) + sendRequest("doc00:", folder()),
                            {.environment = {{"LANG", "tr_TR.UTF-8"}}, .unprivileged = true});
    chmod(folder().c_str(), 0755);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1]["informative"], "Erişim engellendi")
        << "tr_TR.UTF-8 must be installed (scripts/install-deps.sh makes it)";
}

TEST_F(FinderHost, MissingTargetUsesItsParentAndAMissingParentFailsWithAnAlert) {
    makeTemplates({"Not.txt"});
    fs::create_directories(folder());
    const auto out = script(menuRequest(1, folder()) + sendRequest("doc00:", folder() / "yok.txt") +
                            sendRequest("doc00:", folder() / "yok" / "yok.txt"));
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[1]["urls"][0], (folder() / "Not.txt").string());
    EXPECT_EQ(out[3]["event"], "alert");
    EXPECT_EQ(out[3]["message"], "Not oluşturulamadı");
    EXPECT_EQ(out[4].dump(), R"({"done":true})");
}

TEST_F(FinderHost, TheDocumentGoesWhereTheUserClickedHoweverFinderDeliversTheAction) {
    makeTemplates({"Not.txt"});
    const fs::path inner = folder() / "Alt \xff"; // in the byte form, too
    const fs::path a = inner / "a.txt", other = folder() / "Diğer" / "c.txt";
    fs::create_directories(other.parent_path());
    writeFile(a, "x");
    writeFile(other, "x");
    // Finder as it usually is; an action sent to another copy of the extension; one told that
    // nothing is selected; both. Without the menu's kind or selection the folder in view is all
    // that is left; a copy that served no menu goes by the selection alone.
    const fs::path echo = standIn("request-echo-extension.sh");
    const std::vector<std::string> ways[] = {
        {},
        {"--action-in-another-copy"},
        {"--action-without-selection"},
        {"--action-in-another-copy", "--action-without-selection"}};
    const struct {
        unsigned kind;
        std::vector<fs::path> selected;
        fs::path where[4]; // one a way
    } cases[] = {
        {0, {inner}, {inner, inner, inner, folder()}},
        {0, {a}, {inner, inner, inner, folder()}},
        {0, {a, other}, {folder(), folder(), folder(), folder()}},
        {1, {inner}, {folder(), inner, folder(), folder()}},
        {1, {}, {folder(), folder(), folder(), folder()}},
    };
    for (std::size_t way = 0; way < std::size(ways); ++way) {
        SCOPED_TRACE(::testing::PrintToString(ways[way]));
        // Another extension, enabled before ours, offers a menu here too: the action, and a copy
        // made for it, belong to the one whose menu offered it.
        std::vector<std::string> argv{finder.string(), "--script",    "--extension",
                                      echo.string(),   "--extension", appex.string()};
        argv.insert(argv.end(), ways[way].begin(), ways[way].end());
        LineSession session(argv);
        for (const auto& c : cases) {
            Json place = {{"target", folder().string()}, {"selected", Json::array()}};
            for (const auto& item : c.selected)
                place["selected"].push_back(pathJSON(item));
            Json menu = {{"op", "menu"}, {"kind", c.kind}};
            Json send = {{"op", "send"}, {"selector", "doc00:"}};
            menu.update(place);
            send.update(place);
            session.writeLine(request(menu));
            session.readLine();
            session.writeLine(request(send));
            const fs::path made = c.where[way] / "Not.txt";
            EXPECT_EQ(Json::parse(session.readLine(), nullptr, false),
                      (Json{{"event", "reveal"}, {"urls", {pathJSON(made)}}}))
                << c.kind << " " << ::testing::PrintToString(c.selected);
            EXPECT_EQ(session.readLine(), R"({"done":true})");
            fs::remove(made);
        }
        EXPECT_EQ(session.finish(), 0);
    }
}

// A copy onto a volume that stopped answering (its FUSE daemon stopped, as a share that hangs)
// holds up no other request: the menu is served meanwhile, through the same extension process,
// and a document on another volume is made and revealed at once. When the volume answers again,
// the first document follows, whole and revealed once; each action's answer comes in the order
// asked. So too when each action goes to a copy of its own, which the host, as the system does,
// ends as soon as its action returned unless it holds an activity: the waiting one must.
TEST_F(FinderHost, ACopyThatWaitsForItsVolumeHoldsUpNoOtherRequest) {
    const fs::path stick = scratch() / "USB";
    MountedVolume volume(MountedVolume::Kind::exfat, scratch() / "exfat.img", stick);
    if (!volume.mounted())
        GTEST_SKIP() << volume.why();
    const pid_t daemon = volume.daemon();
    ASSERT_GT(daemon, 0);
    ASSERT_EQ(volume.requestsWaiting(), 0) << "no FUSE control file system";
    std::string content(4 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7919 >> 5);
    makeTemplates({});
    writeFile(templates() / "10 Yeni Not.txt", content);
    fs::create_directories(folder());
    for (const bool anotherCopy : {false, true}) {
        SCOPED_TRACE(anotherCopy ? "each action in a copy of its own" : "one copy");
        std::vector<std::string> argv{finder.string(), "--script", "--extension", appex.string()};
        if (anotherCopy)
            argv.push_back("--action-in-another-copy");
        LineSession host(argv);
        host.writeLine(menuRequest(1, stick));
        ASSERT_NE(host.readLine().find("\"doc00:\""), std::string::npos);

        ASSERT_EQ(kill(daemon, SIGSTOP), 0);
        // "/" is the first registered folder: the host asks nothing of the stopped volume for it.
        host.writeLine(sendRequest("doc00:", stick));
        const bool copying = waitUntil([&] { return volume.requestsWaiting() > 0; }, 20);
        host.writeLine(menuRequest(1, "/"));
        const std::string menu = host.readLine();
        host.writeLine(sendRequest("doc00:", folder()));
        const std::string elsewhere = host.readLine();
        const bool wholeMeanwhile =
            fs::exists(folder() / "Yeni Not.txt") && readFile(folder() / "Yeni Not.txt") == content;
        kill(daemon, SIGCONT);
        EXPECT_TRUE(copying) << "the action never reached the volume";
        EXPECT_NE(menu.find("\"doc00:\""), std::string::npos)
            << "no menu while a copy waits: " << menu;
        EXPECT_EQ(Json::parse(elsewhere, nullptr, false),
                  (Json{{"event", "reveal"}, {"urls", {(folder() / "Yeni Not.txt").string()}}}))
            << "no document on another volume while a copy waits";
        EXPECT_TRUE(wholeMeanwhile);
        const fs::path made = stick / "Yeni Not.txt";
        EXPECT_EQ(Json::parse(host.readLine(), nullptr, false),
                  (Json{{"event", "reveal"}, {"urls", {made.string()}}}));
        EXPECT_EQ(host.readLine(), R"({"done":true})");
        EXPECT_EQ(host.readLine(), R"({"done":true})");
        host.writeLine(
            menuRequest(1, stick)); // what comes next is its answer: nothing more was due
        EXPECT_NE(host.readLine().find("\"menu\""), std::string::npos);
        EXPECT_EQ(host.finish(), 0);
        EXPECT_TRUE(fs::exists(made) && readFile(made) == content) << "not whole";
        fs::remove(made);
        fs::remove(folder() / "Yeni Not.txt");
    }
}

// An alert waits for its answer as a modal one does on a Mac, where the main run loop goes on
// meanwhile: the extension answers a menu, and performs another action, whose effects and end
// come before the alert's answer; the failing action's own end comes after it.
TEST_F(FinderHost, WhileAnAlertWaitsTheExtensionGoesOnServing) {
    makeTemplates({"Not.txt"});
    fs::create_directories(folder());
    LineSession extension({(appex / "Contents/MacOS/LemvoraMenu").string()});
    ASSERT_NE(extension.readLine().find(R"("ready":true)"), std::string::npos);
    auto send = [](const fs::path& target, int action) {
        return Json{{"op", "send"}, {"selector", "doc00:"}, {"target", target}, {"action", action}}
            .dump();
    };
    auto next = [&extension] {
        return Json::parse(extension.readLine(), nullptr, false);
    };
    extension.writeLine(send(folder() / "yok" / "yok.txt", 1));
    EXPECT_EQ(next()["activity"], "begin");
    EXPECT_EQ(next(), (Json{{"returned", true}, {"action", 1}}));
    const Json alert = next();
    EXPECT_EQ(alert["event"], "alert");
    EXPECT_EQ(alert["action"], 1);
    extension.writeLine(menuRequest(1, folder()));
    EXPECT_NE(extension.readLine().find(R"("doc00:")"), std::string::npos) << "no menu";
    extension.writeLine(send(folder(), 2));
    EXPECT_EQ(next(), (Json{{"returned", true}, {"action", 2}}));
    EXPECT_EQ(
        next(),
        (Json{{"event", "reveal"}, {"urls", {(folder() / "Not.txt").string()}}, {"action", 2}}));
    EXPECT_EQ(next(), (Json{{"done", true}, {"action", 2}}));
    extension.writeLine(R"({"op":"alertResponse","button":1000})");
    EXPECT_EQ(next(), (Json{{"done", true}, {"action", 1}}));
    EXPECT_EQ(next(), (Json{{"activity", "end"}}));
    EXPECT_EQ(extension.finish(), 0);
}

// A URL that is not a file's, should Finder hand one over ({"url":…}), names no place: it is
// skipped, as target and as a selected item, never taken for a path.
TEST_F(FinderHost, AURLThatIsNotAFilesIsSkipped) {
    makeTemplates({"Not.txt"});
    const fs::path a = folder() / "Alt" / "a.txt";
    writeFile(a, "x");
    const Json share = {{"url", "smb://sunucu/Paylaşım/"}};
    auto send = [](const Json& target, const Json& selected) {
        return request(
            {{"op", "send"}, {"selector", "doc00:"}, {"target", target}, {"selected", selected}});
    };
    const auto out =
        script(menuRequest(0, folder()) + send(share, {share, a.string()}) +
               send(folder().string(), Json::array({share})) + send(share, Json::array()));
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[1]["urls"][0], (a.parent_path() / "Not.txt").string()); // beside the file
    EXPECT_EQ(out[3]["urls"][0], (folder() / "Not.txt").string());        // in the target
    EXPECT_EQ(out[5].dump(), R"({"done":true})");                         // nowhere
}

TEST_F(FinderHost, EmptyFolderEntryReportsTheHostApplication) {
    makeTemplates({});
    const auto out = script(menuRequest(1, scratch()) + sendRequest("openHostApp:", scratch()));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0]["menu"]["items"][0]["submenu"]["items"][0]["action"], "openHostApp:");
    EXPECT_EQ(out[1].dump(),
              Json({{"event", "openApplication"}, {"url", builtApp.string()}}).dump());
    EXPECT_EQ(out[2].dump(), R"({"done":true})");
}

TEST_F(FinderHost, BadRequestsGetAnErrorAndTheSessionGoesOn) {
    makeTemplates({"Not.txt"});
    const V bad = {
        "{",
        "[1,2]",
        R"({"op":"menu"})",
        R"({"op":"menu","kind":-1})",
        R"({"op":"dance"})",
        R"({"op":"send","selector":"doc99:"})",
        R"x({"op":"send","selector":"$(rm -rf /)"})x",
        R"({"op":"menu","kind":1,"target":"relative/path"})",
        R"({"op":"menu","kind":0,"target":"/","selected":"/"})",
        R"({"op":"send","selector":"doc00:","target":"/","selected":["/","relative/path"]})",
        R"({"op":"send","selector":"doc00:","target":"/","selected":[""]})",
        R"({"op":"menu","kind":0,"target":"/","selected":["/",7]})",
        std::string(70000, 'x'),
    };
    std::string input;
    for (const auto& line : bad)
        input += line + "\n";
    const auto out = script(input + menuRequest(1, scratch()));
    ASSERT_EQ(out.size(), bad.size() + 1);
    for (std::size_t i = 0; i < bad.size(); ++i)
        EXPECT_TRUE(out[i].contains("error")) << out[i].dump();
    EXPECT_EQ(out.back()["menu"]["items"][0]["submenu"]["items"][0]["title"], "Not");

    // A copy started for one action that it refuses is ended with it: none is left behind.
    LineSession host(
        {finder.string(), "--script", "--extension", appex.string(), "--action-in-another-copy"});
    host.writeLine(sendRequest("doc99:", scratch()));
    EXPECT_NE(host.readLine().find("unknown selector"), std::string::npos);
    const std::string task =
        "/proc/" + std::to_string(host.pid()) + "/task/" + std::to_string(host.pid()) + "/children";
    EXPECT_EQ(readFile(task), "") << "a copy is left running";
    EXPECT_EQ(host.finish(), 0);
}

TEST_F(FinderHost, ACrashingExtensionNeverTakesTheHostDown) {
    // An extension that dies on its first request, every time it is started.
    const fs::path crasher = standIn("crashing-extension.sh");
    const auto out = script(menuRequest(1, scratch()) + sendRequest("doc00:", scratch()) +
                                menuRequest(1, scratch()),
                            {}, crasher);
    ASSERT_EQ(out.size(), 3u);
    for (const auto& line : out)
        EXPECT_EQ(line["error"], "the extension ended unexpectedly");

    // One that ends once its action returned, before the action is done: the action's answer
    // says so at once (well within the limit), in script mode and in interactive mode, which
    // fails with it.
    const fs::path quitter = standIn("dies-after-return-extension.sh");
    auto result =
        runProcess({finder.string(), "--script", "--extension", quitter.string(), "--timeout", "5"},
                   {.input = sendRequest("echo:", scratch())});
    EXPECT_EQ(result.out, "{\"error\":\"the extension ended unexpectedly\"}\n");
    ASSERT_EQ(runProcess({finder.string(), "extensions", "enable", quitter.string()}).exitCode, 0);
    result = runProcess({finder.string(), "--timeout", "5", scratch().string()}, {.input = "1\n"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "lemvora-finder: the extension ended unexpectedly\n");
    runProcess({finder.string(), "extensions", "disable", quitter.string()});
}

// A copy started for one action that returned holding no activity is ended at once, as the
// system ends it, its action cut short. Silent actions are each given the whole limit, from the
// moment each went silent: the first is given up when its own time runs out, not when the last
// one's does. (Each action goes to a copy of its own, which takes a second to start.)
TEST_F(FinderHost, EachSilentActionIsGivenUpWhenItsOwnTimeRunsOut) {
    const fs::path silent = standIn("silent-extension.sh");
    const std::vector<std::string> argv{finder.string(),           "--script",  "--extension",
                                        silent.string(),           "--timeout", "1.5",
                                        "--action-in-another-copy"};
    EXPECT_EQ(runProcess(argv, {.input = sendRequest("echo:", scratch())}).out,
              R"({"error":"the copy of the extension was ended with its action under way: it )"
              R"(held no activity"})"
              "\n");
    LineSession host(argv);
    host.writeLine(sendRequest("held:", scratch()));
    host.writeLine(sendRequest("held:", scratch()));
    const std::string first = host.readLine();
    const auto firstAt = std::chrono::steady_clock::now();
    const std::string second = host.readLine();
    const auto secondAt = std::chrono::steady_clock::now();
    for (const auto& answer : {first, second})
        EXPECT_EQ(answer, R"({"error":"the extension did not finish in time"})");
    EXPECT_GE(secondAt - firstAt, std::chrono::milliseconds(500))
        << "both given up at once: the first waited for the second's time";
    EXPECT_EQ(host.finish(), 0);
}

// The extension says it is ready, with "/" and every volume but the kernel's own file systems
// (in whatever order the mount table has them), and ends when its input closes.
TEST_F(FinderHost, ExtensionEndsCleanlyWhenItsInputCloses) {
    auto result = runProcess({(appex / "Contents/MacOS/LemvoraMenu").string()}, {});
    EXPECT_EQ(result.exitCode, 0);
    const auto out = lines(result.out);
    ASSERT_EQ(out.size(), 1u) << result.out;
    EXPECT_EQ(out[0].dump().rfind(R"({"ready":true,"principalClass":"FinderSyncExt",)", 0), 0u);
    std::set<std::string> registered, expected = {R"("/")"};
    for (const auto& url : out[0]["directoryURLs"])
        registered.insert(url.dump());
    for (const auto& volume : platform::mountedVolumeURLs())
        expected.insert(pathJSON(volume).dump());
    EXPECT_EQ(registered, expected);
    bool kernelFileSystemSeen = false;
    for (const auto& [path, type] : {std::pair{"/proc", PROC_SUPER_MAGIC},
                                     {"/sys", SYSFS_MAGIC},
                                     {"/dev/pts", DEVPTS_SUPER_MAGIC}}) {
        struct statfs st {};
        if (statfs(path, &st) != 0 || st.f_type != type)
            continue;
        kernelFileSystemSeen = true;
        EXPECT_EQ(registered.count(Json(path).dump()), 0u) << path << " has no documents";
    }
    EXPECT_TRUE(kernelFileSystemSeen) << "no /proc?";

    // Three actions, then the input closes: each is carried out, with its effects and its end,
    // before the process ends.
    makeTemplates({"Not.txt"});
    fs::create_directories(folder());
    std::string sends;
    for (int action = 1; action <= 3; ++action)
        sends += request({{"op", "send"},
                          {"selector", "doc00:"},
                          {"target", folder().string()},
                          {"action", action}});
    result = runProcess({(appex / "Contents/MacOS/LemvoraMenu").string()}, {.input = sends});
    EXPECT_EQ(result.exitCode, 0);
    std::multiset<std::string> told;
    for (const auto& line : lines(result.out))
        if (line.contains("action"))
            told.insert(line.contains("event") ? "reveal" : line.dump());
    EXPECT_EQ(told, (std::multiset<std::string>{
                        "reveal", "reveal", "reveal", R"({"done":true,"action":1})",
                        R"({"done":true,"action":2})", R"({"done":true,"action":3})",
                        R"({"returned":true,"action":1})", R"({"returned":true,"action":2})",
                        R"({"returned":true,"action":3})"}))
        << result.out;
    EXPECT_EQ(namesIn(folder()), (V{"Not 2.txt", "Not 3.txt", "Not.txt"}));
}

// Waiting for a request, the extension sleeps: the mount table is always readable, and only its
// change event may wake it.
TEST_F(FinderHost, IdleExtensionSleeps) {
    LineSession extension({(appex / "Contents/MacOS/LemvoraMenu").string()});
    ASSERT_NE(extension.readLine().find(R"("ready":true)"), std::string::npos);
    clockid_t itsClock;
    ASSERT_EQ(clock_getcpuclockid(extension.pid(), &itsClock), 0);
    auto seconds = [](clockid_t clock) {
        timespec t{};
        clock_gettime(clock, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    // Its CPU time while this thread spends 0.3 s of its own: however busy the machine, the
    // scheduler gives a spinning extension a share like this thread's, and a sleeping one none.
    const double itsStart = seconds(itsClock), ownStart = seconds(CLOCK_THREAD_CPUTIME_ID);
    auto own = [&] {
        return seconds(CLOCK_THREAD_CPUTIME_ID) - ownStart;
    };
    waitUntil([&] {
        for (const double until = own() + 0.02; own() < until;) {
        }
        return own() >= 0.3;
    });
    const double its = seconds(itsClock) - itsStart, mine = own();
    EXPECT_LE(its, mine / 4) << "the idle extension took " << its << " s of CPU time, this test "
                             << mine << " s";
    EXPECT_EQ(extension.finish(), 0);
}

// As in Finder, a registered folder covers its own volume only: the extension registers every
// volume, and follows them as they are mounted and unmounted while it runs.
TEST_F(FinderHost, EveryVolumeHasTheMenuThoseMountedLaterToo) {
    seed();
    const fs::path stick = scratch() / "USB bellek"; // the mount table escapes the blank
    fs::create_directories(stick);
    const fs::path rootOnly = standIn("root-only-extension.sh");
    // The first card goes over a folder of the kernel's /proc, which no registered volume covers:
    // unmounted, it leaves no menu behind. The second goes on the stick.
    const fs::path firstCard = "/proc/driver", secondCard = stick / "Kart";
    const auto result = inPrivateTmpfs(stick, "size=1m", [&] {
        auto hasMenu = [](LineSession& host, const fs::path& target) {
            host.writeLine(menuRequest(1, target));
            const Json reply = Json::parse(host.readLine(), nullptr, false);
            return reply.is_object() && reply["menu"].is_object();
        };
        struct statfs st {};
        if (statfs(firstCard.c_str(), &st) != 0 || st.f_type != PROC_SUPER_MAGIC)
            return 10;
        LineSession strict({finder.string(), "--script", "--extension", rootOnly.string()});
        if (!hasMenu(strict, "/") || hasMenu(strict, stick))
            return 1;
        LineSession host({finder.string(), "--script", "--extension", appex.string()});
        if (!hasMenu(host, stick) || hasMenu(host, firstCard))
            return 2;
        fs::create_directory(secondCard);
        if (mount("tmpfs", firstCard.c_str(), "tmpfs", 0, "size=64k") != 0)
            return 3;
        if (!waitUntil([&] { return hasMenu(host, firstCard); }, 10))
            return 4;
        if (mount("tmpfs", secondCard.c_str(), "tmpfs", 0, "size=64k") != 0)
            return 3;
        if (!waitUntil([&] { return hasMenu(host, secondCard); }, 10) || !hasMenu(host, firstCard))
            return 5;
        if (umount(firstCard.c_str()) != 0)
            return 3;
        if (!waitUntil([&] { return !hasMenu(host, firstCard); }, 10) || !hasMenu(host, secondCard))
            return 6;
        host.writeLine(sendRequest("doc00:", secondCard));
        return host.readLine().find("Kart/Yeni Metin Belgesi.txt") != std::string::npos ? 0 : 7;
    });
    if (!result)
        GTEST_SKIP() << "this machine lets the test mount no file system, not even in a user "
                        "namespace";
    if (*result == 10)
        GTEST_SKIP() << firstCard << " is not the kernel's proc here";
    EXPECT_EQ(*result, 0) << "1: \"/\" covers another volume, 2: a volume mounted before the "
                             "extension started has no menu, or the kernel's has, 3: cannot mount, "
                             "4: a volume mounted later has none, 5: nor a second one, 6: an "
                             "unmounted one keeps it or the other loses it, 7: no document there";
}

TEST_F(FinderHost, RegistryEnablesListsAndDisablesExtensions) {
    const fs::path registry = testHome() / ".local/state/lemvora-finder/extensions";
    fs::remove(registry);
    auto run = [](V args) {
        args.insert(args.begin(), finder.string());
        return runProcess(args);
    };
    EXPECT_EQ(run({"extensions"}).out, "");
    EXPECT_EQ(run({"extensions", "enable", appex.string()}).exitCode, 0);
    EXPECT_EQ(run({"extensions", "enable", appex.string()}).exitCode, 0); // once only
    EXPECT_EQ(run({"extensions"}).out, appex.string() + "\n");
    EXPECT_EQ(readFile(registry), appex.string() + "\n");
    EXPECT_EQ(run({"extensions", "enable", scratch().string()}).exitCode, 1);

    // Without --extension, script mode uses the enabled extensions.
    makeTemplates({"Not.txt"});
    auto result = runProcess({finder.string(), "--script"}, {.input = menuRequest(1, scratch())});
    EXPECT_NE(result.out.find("\"doc00:\""), std::string::npos) << result.out << result.err;

    EXPECT_EQ(run({"extensions", "disable", appex.string()}).exitCode, 0);
    EXPECT_EQ(run({"extensions"}).out, "");
    result = runProcess({finder.string(), "--script"}, {.input = menuRequest(1, scratch())});
    EXPECT_EQ(result.out, "{\"menu\":null}\n");
}

TEST_F(FinderHost, InteractiveMenuMakesTheChosenDocument) {
    seed();
    fs::create_directories(folder());
    ASSERT_EQ(runProcess({finder.string(), "extensions", "enable", appex.string()}).exitCode, 0);
    auto result = runProcess({finder.string(), folder().string()}, {.input = "4\n"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("   4) Excel Çalışma Kitabı\n"), std::string::npos) << result.out;
    EXPECT_NE(
        result.out.find("Oluşturuldu: " + (folder() / "Yeni Excel Çalışma Kitabı.xlsx").string()),
        std::string::npos);
    EXPECT_TRUE(fs::exists(folder() / "Yeni Excel Çalışma Kitabı.xlsx"));

    // An answer that names no entry is asked again, in Turkish; an empty line or the end of the
    // input leaves quietly.
    result = runProcess({finder.string(), folder().string()}, {.input = "9\nbir\n1\n"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Böyle bir seçenek yok: 9\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Böyle bir seçenek yok: bir\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(namesIn(folder()).size(), 2u);
    for (const std::string input : {"\n", "9\n", ""}) {
        result = runProcess({finder.string(), folder().string()}, {.input = input});
        EXPECT_EQ(result.exitCode, 0) << input;
        EXPECT_EQ(result.err, "") << input;
        EXPECT_EQ(namesIn(folder()).size(), 2u);
    }
    runProcess({finder.string(), "extensions", "disable", appex.string()});

    // A menu on a file is Finder's on a selected item: it targets the folder in view. The options
    // hold here as in script mode: the action goes to a new process, told nothing is selected.
    const fs::path echo = standIn("request-echo-extension.sh"), file = folder() / "not.txt";
    writeFile(file, "x");
    ASSERT_EQ(runProcess({finder.string(), "extensions", "enable", echo.string()}).exitCode, 0);
    for (const bool options : {false, true}) {
        std::vector<std::string> argv{finder.string(), file.string()};
        if (options)
            argv.insert(argv.begin() + 1,
                        {"--action-in-another-copy", "--action-without-selection"});
        result = runProcess(argv, {.input = "1\n"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::vector<std::pair<std::string, std::string>> seen; // each request, after its PID
        std::istringstream err(result.err);
        for (std::string line; std::getline(err, line);)
            seen.emplace_back(line.substr(0, line.find(' ')), line.substr(line.find(' ') + 1));
        ASSERT_EQ(seen.size(), 2u) << result.err;
        Json menu = {{"op", "menu"}, {"kind", 0}}, send = {{"op", "send"}, {"selector", "echo:"}};
        for (Json* r : {&menu, &send})
            r->update({{"target", folder().string()}, {"selected", {file.string()}}});
        if (options)
            send.erase("selected");
        send["action"] = 1; // the host's name for it, which the extension gives back
        EXPECT_EQ(seen[0].second + "\n", request(menu));
        EXPECT_EQ(seen[1].second + "\n", request(send));
        EXPECT_EQ(seen[0].first != seen[1].first, options) << "the action's process";
    }
}

TEST_F(FinderHost, PathsThatAreNotUtf8CrossTheProtocolUnchanged) {
    seed();
    const fs::path bad = scratch() / "Belgeler \xff";
    fs::create_directories(bad);
    writeFile(bad / "Dosya\xfe.txt", "mevcut");
    const auto bytesOf = pathJSON;
    // Script mode: the folder itself, then a file inside it, as targets.
    const auto out = script(
        request({{"op", "menu"}, {"kind", 1}, {"target", bytesOf(bad)}}) +
        request({{"op", "send"}, {"selector", "doc00:"}, {"target", bytesOf(bad)}}) +
        request(
            {{"op", "send"}, {"selector", "doc00:"}, {"target", bytesOf(bad / "Dosya\xfe.txt")}}));
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[1],
              (Json{{"event", "reveal"}, {"urls", {bytesOf(bad / "Yeni Metin Belgesi.txt")}}}));
    EXPECT_EQ(out[3],
              (Json{{"event", "reveal"}, {"urls", {bytesOf(bad / "Yeni Metin Belgesi 2.txt")}}}));
    EXPECT_EQ(namesIn(bad),
              (V{"Dosya\xfe.txt", "Yeni Metin Belgesi 2.txt", "Yeni Metin Belgesi.txt"}));
    EXPECT_TRUE(namesIn(scratch()).size() == 1u) << "nothing lands in the parent folder";

    // Interactive mode, with the folder and with the file inside it.
    ASSERT_EQ(runProcess({finder.string(), "extensions", "enable", appex.string()}).exitCode, 0);
    for (const auto& target : {bad, bad / "Dosya\xfe.txt"}) {
        const auto result = runProcess({finder.string(), target.string()}, {.input = "2\n"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.out.find("Oluşturuldu: " + bad.string() + "/Yeni Markdown Belgesi"),
                  std::string::npos)
            << result.out;
    }
    EXPECT_TRUE(fs::exists(bad / "Yeni Markdown Belgesi.md"));
    EXPECT_TRUE(fs::exists(bad / "Yeni Markdown Belgesi 2.md"));
    EXPECT_TRUE(namesIn(scratch()).size() == 1u);
    runProcess({finder.string(), "extensions", "disable", appex.string()});

    // A valid UTF-8 path stays a plain string, and a malformed byte form is refused.
    const auto plain =
        script(menuRequest(1, folder()) +
               request({{"op", "menu"}, {"kind", 1}, {"target", {{"bytes", "2f7"}}}}));
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_TRUE(plain[0].contains("menu"));
    EXPECT_EQ(plain[1], (Json{{"error", "target must be an absolute path"}}));
}

} // namespace
