// The host application's window, with the platform's real views: Qt widgets on the offscreen
// platform on Linux, AppKit's views on a Mac. The assertions go through the platform layer, so
// both systems check the same; what only Qt can show (its settings window, its widgets' own
// fonts and palettes) is marked as Linux's. This program is built into
// AppHost.app/Contents/MacOS, with the starter resources in its bundle.
#include "AppDelegate.h"

#include "TestSupport.h"
#include "platform/Bundle.h"

#if defined(LEMVORA_QT)
#include "platform/ExtensionRegistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QTableWidget>
#include <QTimer>
#endif

#include <cstdio>
#include <functional>
#include <sstream>

#include <fcntl.h>
#if defined(__APPLE__)
#include <objc/runtime.h>
#endif
#include <signal.h>
#include <sys/stat.h>
#if defined(__linux__)
#include <sys/sysmacros.h>
#endif
#include <unistd.h>

namespace {

using namespace testing_support;
using namespace platform;
namespace fs = std::filesystem; // not the platform layer's, which says so in full
using V = std::vector<std::string>;

struct RecordingWorkspace : Workspace {
    V opened;
    void activateFileViewerSelectingURLs(const std::vector<URL>&) override {}
    void openApplicationAtURL(const URL&, const OpenConfiguration&) override {}
    bool openURL(const URL& url) override {
        opened.push_back(url.string());
        return true;
    }
};

#if defined(LEMVORA_QT)
const fs::path ownAppex = Bundle::main().bundleURL() / "Contents/PlugIns/LemvoraMenu.appex";
#endif

std::string rgb(const Color& c) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f %.3f %.3f", c.red, c.green, c.blue);
    return text;
}

class HostApp : public HomeTest {
protected:
    void SetUp() override {
        HomeTest::SetUp();
#if defined(__linux__)
        // Whatever volume this machine keeps the build and the scratch folder on (a stick, a disk
        // image), this process sees a fixed disk there; the copies the tests start see the real
        // one, and those tests skip where it would warn.
        scratchGoesAway = lemvora::runsFromAPlaceThatGoesAway(
            scratch(), platform::fs::volumeProperties(scratch()));
        platform::fs::testing::setDeviceFolder((scratch() / "fixed-disk").string());
#endif
        workspace = std::make_shared<RecordingWorkspace>();
        Workspace::setShared(workspace);
#if defined(LEMVORA_QT)
        registry::disable(ownAppex);
#endif
        delegate = std::make_unique<lemvora::AppDelegate>();
        Application::sharedApplication().setDelegate(delegate.get());
        Application::sharedApplication().handleActivation(false);
    }
    void TearDown() override {
        Application::sharedApplication().setDelegate(nullptr);
        delegate.reset();
#if defined(__linux__)
        platform::fs::testing::setDeviceFolder("/sys");
#endif
        HomeTest::TearDown();
    }
    void launch() {
        delegate->applicationDidFinishLaunching();
        Application::sharedApplication().runLoopOnce();
    }
    const StackView& mainStack() const {
        return static_cast<const StackView&>(*delegate->window()->contentView()->subviews().at(0));
    }
    template <class T> T& element(std::size_t i) const {
        return dynamic_cast<T&>(*mainStack().arrangedSubviews().at(i));
    }
    std::string count() const {
        return delegate->countLabel()->stringValue();
    }
    V column(std::size_t c) const {
        V texts;
        for (long row = 0; row < delegate->table()->numberOfRows(); ++row) {
            auto* cell = delegate->table()->viewAtColumn(c, row);
            texts.push_back(static_cast<TextField&>(*cell->subviews().at(0)).stringValue());
        }
        return texts;
    }
    TextField& cellLabel(std::size_t c, long row) const {
        Application::sharedApplication().runLoopOnce(); // the table lays out its fresh cells
        return static_cast<TextField&>(*delegate->table()->viewAtColumn(c, row)->subviews().at(0));
    }
    Button& buttonTitled(const std::string& title) const {
        for (std::size_t row : {3u, 9u})
            for (const auto& view : element<StackView>(row).arrangedSubviews())
                if (auto* b = dynamic_cast<Button*>(view.get()); b && b->title() == title)
                    return *b;
        throw std::runtime_error("no button " + title);
    }

    // The lines of this process's standard error that mention `subject` (the template folder
    // unless told), while body runs.
    V logLines(const std::function<void()>& body,
               const std::string& subject = "Şablon klasörü") const {
        const fs::path log = scratch() / "stderr";
        std::fflush(stderr);
        const int saved = dup(2);
        const int file = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(file, 2);
        body();
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        close(file);
        V lines;
        std::istringstream in(readFile(log));
        for (std::string line; std::getline(in, line);)
            if (line.find(subject) != std::string::npos)
                lines.push_back(line);
        return lines;
    }

#if defined(LEMVORA_QT)
    // This program's bundle copied to `bundle`, with its extension switched on.
    static void copyBundle(const fs::path& bundle) {
        fs::create_directories(bundle.parent_path());
        fs::copy(Bundle::main().bundleURL(), bundle, fs::copy_options::recursive);
        registry::enable(bundle / "Contents/PlugIns/LemvoraMenu.appex");
    }
    // The copy at `bundle` started as a program of its own (main's --status-line): its status
    // line's text and colour, and the window's width.
    static V statusLineOf(const fs::path& bundle) {
        const auto run =
            runProcess({(bundle / "Contents/MacOS/app_test").string(), "--status-line"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        V lines;
        std::istringstream in(run.out);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    const V away{"✗ Lemvora geçici bir yerden açıldı — Uygulamalar'a taşı, oradan aç",
                 rgb(Color::systemOrangeColor()), "540"};
#endif

    std::shared_ptr<RecordingWorkspace> workspace;
    std::unique_ptr<lemvora::AppDelegate> delegate;
    bool scratchGoesAway = false; // this machine keeps the scratch folder on such a volume
};

TEST_F(HostApp, FirstStartSeedsThenShowsTheStarterSet) {
    ASSERT_FALSE(fs::exists(templates()));
    // Brought to the front where the system stacks windows; Qt's offscreen platform does not,
    // and is not asked to (each window would log that it cannot).
    EXPECT_EQ(logLines([&] { launch(); }, "raise()"), V{});
    EXPECT_EQ(namesIn(templates()).size(), 5u);
    ASSERT_TRUE(delegate->window());
    EXPECT_TRUE(delegate->window()->isVisible());
    EXPECT_EQ(delegate->window()->title(), "Lemvora");
    EXPECT_EQ(column(0), (V{"Metin Belgesi", "Markdown Belgesi", "Word Belgesi",
                            "Excel Çalışma Kitabı", "PowerPoint Sunusu"}));
    EXPECT_EQ(column(1),
              (V{"Yeni Metin Belgesi.txt", "Yeni Markdown Belgesi.md", "Yeni Word Belgesi.docx",
                 "Yeni Excel Çalışma Kitabı.xlsx", "Yeni PowerPoint Sunusu.pptx"}));
    EXPECT_EQ(count(), "5 şablon.");
    EXPECT_FALSE(delegate->window()->firstResponderIsTextField()); // nothing opens selected
#if defined(LEMVORA_QT)
    EXPECT_TRUE(Application::sharedApplication().isActive());
    EXPECT_FALSE(QApplication::windowIcon().isNull()); // the bundle's icon
#endif
    // Whenever the user comes back to the application, as the system reports it, it refreshes.
    Application::sharedApplication().handleActivation(false);
    fs::remove(templates() / "50 Yeni PowerPoint Sunusu.pptx");
    Application::sharedApplication().handleActivation(true);
    EXPECT_EQ(count(), "4 şablon.");
}

TEST_F(HostApp, WindowHoldsTheTenElementsWithTheirTextsFontsAndColours) {
    launch();
    const auto& views = mainStack().arrangedSubviews();
    ASSERT_EQ(views.size(), 10u);
    struct LabelSpec {
        std::size_t index;
        std::string text;
        Font font;
        Color color;
        bool wrapping;
    };
    const LabelSpec labels[] = {
        {0,
         "Finder sağ tık menüsüne \"Yeni Belge\" ekler",
         {15, FontWeight::semibold},
         Color::labelColor(),
         false},
        {1,
         "Bir Finder penceresinde boş alana ya da bir öğeye sağ tıkla, \"Yeni Belge\" alt "
         "menüsünden türü seç. Belge o klasörde oluşur.",
         {12, FontWeight::regular},
         Color::secondaryLabelColor(),
         true},
        {5, "Menüdeki belge türleri", {13, FontWeight::semibold}, Color::labelColor(), false},
        {6,
         "Menü şablon klasöründen üretiliyor. Klasöre attığın her dosya bir satır olur — kendi "
         "Word şablonun, bir .pages belgesi, boş bir Photoshop dosyası, fark etmez. Dosya adı "
         "oluşacak belgenin adıdır; baştaki sayı yalnızca sırayı belirler.",
         {11, FontWeight::regular},
         Color::secondaryLabelColor(),
         true},
    };
    for (const auto& spec : labels) {
        SCOPED_TRACE(spec.index);
        auto& label = element<TextField>(spec.index);
        EXPECT_EQ(label.stringValue(), spec.text);
        EXPECT_EQ(label.font(), spec.font);
        EXPECT_EQ(label.textColor(), spec.color);
        EXPECT_EQ(label.isWrapping(), spec.wrapping);
        EXPECT_EQ(label.isSelectable(), spec.wrapping);
#if defined(LEMVORA_QT)
        EXPECT_EQ(label.widget()->font().pixelSize(), int(spec.font.pointSize));
#endif
        if (spec.wrapping) {
            EXPECT_LE(label.frame().width, 480);
        }
    }
    EXPECT_EQ(&element<TextField>(2), delegate->statusLabel().get());
    EXPECT_EQ(delegate->statusLabel()->font(), (Font{12, FontWeight::medium}));
#if defined(LEMVORA_QT)
    EXPECT_EQ(delegate->statusLabel()->widget()->font().weight(), QFont::Medium);
#endif
    EXPECT_EQ(&element<TextField>(8), delegate->countLabel().get());
    EXPECT_EQ(delegate->countLabel()->font(), (Font{11, FontWeight::regular}));
    EXPECT_EQ(delegate->countLabel()->textColor(), Color::secondaryLabelColor());
    EXPECT_FALSE(delegate->statusLabel()->isWrapping());
    EXPECT_FALSE(delegate->countLabel()->isWrapping());
    EXPECT_EQ(element<Box>(4).boxType(), BoxType::separator);
    EXPECT_EQ(element<ScrollView>(7).borderType(), BorderType::bezel);
    EXPECT_TRUE(element<ScrollView>(7).hasVerticalScroller());
    EXPECT_EQ(delegate->window()->styleMask(),
              WindowStyle::titled | WindowStyle::closable | WindowStyle::miniaturizable);

    V buttons;
    for (std::size_t row : {3u, 9u})
        for (const auto& view : element<StackView>(row).arrangedSubviews()) {
            auto& b = dynamic_cast<Button&>(*view);
            buttons.push_back(b.title() + " -> " + b.action());
            EXPECT_EQ(b.target(), delegate.get());
            EXPECT_EQ(b.bezelStyle(), BezelStyle::rounded);
        }
    EXPECT_EQ(buttons,
              (V{"Uzantı Ayarlarını Aç -> openExtensionSettings", "Durumu Yenile -> refresh",
                 "Şablon Klasörünü Aç -> openTemplatesFolder"}));

    const auto& columns = delegate->table()->tableColumns();
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0]->identifier(), "menu");
    EXPECT_EQ(columns[0]->title(), "Menüde");
    EXPECT_EQ(columns[0]->width(), 200);
    EXPECT_EQ(columns[1]->identifier(), "file");
    EXPECT_EQ(columns[1]->title(), "Oluşan dosya");
    EXPECT_EQ(columns[1]->width(), 260);
    EXPECT_EQ(delegate->table()->rowHeight(), 22);
    columns[1]->setTitle("Dosya"); // what the table shows changes with it
    EXPECT_EQ(columns[1]->title(), "Dosya");
    // A column kept after its table is gone reads and keeps its own title.
    auto kept = std::make_shared<TableColumn>("kalan");
    std::make_shared<TableView>()->addTableColumn(kept);
    kept->setTitle("Kalan");
    EXPECT_EQ(kept->title(), "Kalan");
    EXPECT_TRUE(delegate->table()->hasHeaderView());
    EXPECT_TRUE(delegate->table()->usesAlternatingRowBackgroundColors());
    EXPECT_TRUE(delegate->table()->allowsEmptySelection());
}

TEST_F(HostApp, CellsFollowTheirColumnWhenTheUserReordersThem) {
    makeTemplates({"10 Yeni Not.txt"});
    launch();
    delegate->table()->moveColumn(0, 1); // the user drags "Menüde" to the right
    delegate->refresh();
    EXPECT_EQ(column(0), V{"Not"});
    EXPECT_EQ(column(1), V{"Yeni Not.txt"});
    EXPECT_EQ(delegate->table()->tableColumnWithIdentifier("file"),
              delegate->table()->tableColumns()[1].get());
    EXPECT_EQ(delegate->table()->tableColumnWithIdentifier("yok"), nullptr);
#if defined(LEMVORA_QT)
    // On the screen, the file name now comes first.
    auto* table = static_cast<QTableWidget*>(delegate->table()->widget());
    auto* shown = table->cellWidget(0, table->horizontalHeader()->logicalIndex(0));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->findChild<QLabel*>()->text().toStdString(), "Yeni Not.txt");
#endif
}

TEST_F(HostApp, GeometryFollowsTheConstraints) {
    launch();
    const auto& views = mainStack().arrangedSubviews();
    const Rect content = delegate->window()->contentView()->frame();
    EXPECT_EQ(content.width, 540);
    EXPECT_EQ(mainStack().frame().width, 540);
    EXPECT_EQ(views[4]->frame().width, 492); // separator
    EXPECT_EQ(views[7]->frame().width, 492); // table
    EXPECT_GE(views[7]->frame().height, 150);
    for (const auto& view : views)
        EXPECT_EQ(view->frame().x, 24);
    EXPECT_EQ(views.front()->frame().y, 22);
    const double gaps[] = {12, 12, 12, 18, 18, 12, 12, 6, 12};
    for (std::size_t i = 0; i + 1 < views.size(); ++i) {
        const Rect a = views[i]->frame(), b = views[i + 1]->frame();
        EXPECT_EQ(b.y - (a.y + a.height), gaps[i]) << "after element " << i + 1;
    }
    // The window is exactly as high as its content: the insets, the elements and the gaps.
    EXPECT_EQ(content.height, views.back()->frame().y + views.back()->frame().height + 22);
    EXPECT_FALSE(delegate->window()->styleMask() & WindowStyle::resizable);
#if defined(LEMVORA_QT)
    // With Qt's fonts here, that is 485 (more than the 460 the window is made with).
    QWidget* window = delegate->window()->widget();
    EXPECT_EQ(window->size(), QSize(540, 485));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // the user cannot resize it
    // The last column on the screen reaches the table's right edge, as AppKit's last-column
    // autoresizing has it.
    auto* table = static_cast<QTableWidget*>(delegate->table()->widget());
    const QHeaderView* header = table->horizontalHeader();
    const int last = header->logicalIndex(header->count() - 1);
    EXPECT_EQ(header->sectionViewportPosition(last) + header->sectionSize(last),
              table->viewport()->width());
#endif
}

#if defined(LEMVORA_QT)
// Linux only: the registry is the finder host's, and the activation comes from Qt.
TEST_F(HostApp, StatusLineFollowsTheRegistryOnActivation) {
    launch();
    EXPECT_EQ(delegate->statusLabel()->stringValue(),
              "✗ Uzantı kapalı — Sistem Ayarları → Uzantılar → Finder");
    EXPECT_EQ(delegate->statusLabel()->textColor(), Color::systemOrangeColor());

    // The user goes elsewhere, enables the extension, and comes back: no click needed. The
    // application hears of it as it does in use, from Qt's application-state signal.
    auto* qt = static_cast<QGuiApplication*>(QCoreApplication::instance());
    emit qt->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(Application::sharedApplication().isActive());
    registry::enable(ownAppex);
    EXPECT_EQ(delegate->statusLabel()->stringValue(),
              "✗ Uzantı kapalı — Sistem Ayarları → Uzantılar → Finder");
    emit qt->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(delegate->statusLabel()->stringValue(), "✓ Uzantı etkin");
    EXPECT_EQ(delegate->statusLabel()->textColor(), Color::systemGreenColor());
    EXPECT_EQ(delegate->statusLabel()->widget()->palette().color(QPalette::WindowText),
              QColor(52, 199, 89));
}

// A copy that runs from a place that goes away says so instead of the extension's state, even an
// enabled one; in a writable folder it shows that state. Each copy is this program's own bundle,
// started as a program of its own, so that its main bundle is where the copy lies.
TEST_F(HostApp, ACopyInAWritableFolderShowsTheExtensionAndATranslocatedOneWarns) {
    if (scratchGoesAway)
        GTEST_SKIP() << scratch() << " lies on a volume that goes away here: every copy warns";
    const fs::path copy = scratch() / "İndirilenler/AppHost.app";
    copyBundle(copy);
    EXPECT_EQ(statusLineOf(copy), (V{"✓ Uzantı etkin", rgb(Color::systemGreenColor()), "540"}));
    registry::disable(copy / "Contents/PlugIns/LemvoraMenu.appex");
    EXPECT_EQ(statusLineOf(copy), (V{"✗ Uzantı kapalı — Sistem Ayarları → Uzantılar → Finder",
                                     rgb(Color::systemOrangeColor()), "540"}));
    // Where macOS runs a quarantined download from (eclecticlight.co, 2024-05-17).
    const fs::path translocated =
        scratch() / "T/AppTranslocation/613DF902-6BE1-4C37-A4C2-349AA050923C/d/AppHost.app";
    copyBundle(translocated);
    EXPECT_EQ(statusLineOf(translocated), away);
}

// As a disk image is: the same copy warns on a read-only mount, and on a writable file system on a
// loop device (Linux's disk image, read/write as a UDRW one is; any such file system will do).
TEST_F(HostApp, ACopyOnAReadOnlyVolumeOrAWritableDiskImageWarns) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounts need root";
    if (scratchGoesAway)
        GTEST_SKIP() << scratch() << " lies on a volume that goes away here: every copy warns";
    const fs::path folder = scratch() / "image", volume = scratch() / "Volumes/Lemvora";
    copyBundle(folder / "AppHost.app");
    {
        MountedVolume mounted(MountedVolume::Kind::readOnlyFolder, folder, volume);
        ASSERT_TRUE(mounted.mounted()) << mounted.why();
        registry::enable(volume / "AppHost.app/Contents/PlugIns/LemvoraMenu.appex");
        EXPECT_EQ(statusLineOf(folder / "AppHost.app").at(0), "✓ Uzantı etkin");
        EXPECT_EQ(statusLineOf(volume / "AppHost.app"), away);
    }
    MountedVolume image(MountedVolume::Kind::ext4UnknownTypes, scratch() / "disk.img", volume);
    ASSERT_TRUE(image.mounted()) << image.why();
    copyBundle(volume / "AppHost.app");
    EXPECT_EQ(statusLineOf(volume / "AppHost.app"), away);
}

// What Linux tells of a volume on a block device, from a sysfs tree of the kernel's shape laid in
// the scratch folder, where the scratch folder's own device number leads.
TEST_F(HostApp, SysfsTellsARemovableOrLoopDeviceUnderAPartitionOrADisk) {
    struct stat st {};
    ASSERT_EQ(stat(scratch().c_str(), &st), 0);
    const fs::path sys = scratch() / "sys";
    const fs::path number =
        sys / "dev/block" /
        (std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)));
    const std::string usb = "pci0000:00/0000:00:14.0/usb2/2-1",
                      sdb = usb + "/2-1:1.0/host6/block/sdb";
    using P = platform::fs::VolumeProperties;
    const struct {
        std::string device; // where the number leads, under devices/
        std::vector<std::pair<std::string, std::string>> attributes; // under devices/
        P expected;
    } cases[] = {
        {sdb + "/sdb1", {{sdb + "/removable", "1"}}, {.removable = true}}, // a card's partition
        {sdb, {{sdb + "/removable", "1"}}, {.removable = true}},           // a whole stick
        {sdb + "/sdb1", {{sdb + "/removable", "0"}, {usb + "/removable", "fixed"}}, {}},
        {sdb + "/sdb1",
         {{sdb + "/removable", "0"}, {usb + "/removable", "removable"}},
         {.removable = true}}, // a USB disk, whose media is fixed
        {"virtual/block/loop3",
         {{"virtual/block/loop3/removable", "0"},
          {"virtual/block/loop3/loop/backing_file", "/a.img"}},
         {.ejectable = true}},
    };
    platform::fs::testing::setDeviceFolder(sys.string()); // TearDown puts it back
    for (const auto& c : cases) {
        fs::remove_all(sys);
        fs::create_directories(sys / "devices" / c.device);
        for (const auto& [file, value] : c.attributes)
            writeFile(sys / "devices" / file, value + "\n");
        fs::create_directories(number.parent_path());
        fs::create_directory_symlink(sys / "devices" / c.device, number);
        EXPECT_EQ(platform::fs::volumeProperties(scratch()), c.expected) << c.device;
    }
}
#endif

// The rule as a function of what the system tells: a translocated copy, and a copy on a volume
// that is read-only (whether it stays or not), ejectable or removable, runs from a place that
// goes away.
TEST(PlaceThatGoesAway, TranslocatedOrOnAVolumeThatIsReadOnlyEjectableOrRemovable) {
    const fs::path installed = "/Applications/Lemvora.app",
                   translocated = "/private/var/folders/x/T/AppTranslocation/"
                                  "613DF902-6BE1-4C37-A4C2-349AA050923C/d/Lemvora.app";
    const struct {
        fs::path bundle;
        platform::fs::VolumeProperties volume;
        bool away;
    } cases[] = {
        {installed, {}, false},
        {translocated, {}, true},
        {installed, {.readOnly = true}, true},  // a downloaded disk image, a locked card
        {installed, {.ejectable = true}, true}, // a read/write disk image
        {installed, {.removable = true}, true}, // a stick, a card
    };
    for (const auto& c : cases)
        EXPECT_EQ(lemvora::runsFromAPlaceThatGoesAway(c.bundle, c.volume), c.away) << c.bundle;
}

TEST_F(HostApp, CountLineForEmptyOneNineteenTwentyAndMore) {
    makeTemplates({});
    launch();
    EXPECT_EQ(count(), "Şablon klasörü boş — menüde hiçbir tür görünmeyecek.");
    EXPECT_EQ(delegate->table()->numberOfRows(), 0);
    const std::pair<int, std::string> cases[] = {
        {1, "1 şablon."},
        {19, "19 şablon."},
        {20, "20 şablon — sınır 20; fazlası menüde gösterilmez."},
        {25, "20 şablon — sınır 20; fazlası menüde gösterilmez."},
    };
    int made = 0;
    for (const auto& [files, text] : cases) {
        for (; made < files; ++made) {
            char name[32];
            std::snprintf(name, sizeof name, "%02d t.txt", made + 1);
            writeFile(templates() / name);
        }
        buttonTitled("Durumu Yenile").performClick();
        EXPECT_EQ(count(), text);
        EXPECT_EQ(delegate->table()->numberOfRows(), std::min(files, 20));
        EXPECT_EQ(delegate->countLabel()->textColor(), Color::secondaryLabelColor());
    }
}

TEST_F(HostApp, RowsFollowTheFolderWithFreshCells) {
    makeTemplates({"10 Yeni Not.txt", "20 Rapor.docx"});
    launch();
    EXPECT_EQ(column(0), (V{"Not", "Rapor"}));
    EXPECT_EQ(cellLabel(0, 0).textColor(), Color::labelColor());
    EXPECT_EQ(cellLabel(1, 0).textColor(), Color::secondaryLabelColor());
    EXPECT_EQ(cellLabel(0, 0).font(), (Font{12, FontWeight::regular}));
#if defined(LEMVORA_QT)
    QPointer<QWidget> before = delegate->table()->viewAtColumn(0, 0)->widget();
#endif

    fs::remove(templates() / "10 Yeni Not.txt");
    const std::string longName = "30 Çok uzun bir dosya adı ki sütuna asla sığmayacak kadar uzun "
                                 "ve daha da uzun.txt";
    writeFile(templates() / longName);
    delegate->refresh();
    Application::sharedApplication().runLoopOnce();
    EXPECT_EQ(column(0), (V{"Rapor", "Çok uzun bir dosya adı ki sütuna asla sığmayacak kadar uzun "
                                     "ve daha da uzun"}));
#if defined(LEMVORA_QT)
    EXPECT_TRUE(before.isNull()); // the old cell is gone: cells are never reused
#endif
    EXPECT_EQ(delegate->tableView(*delegate->table(), nullptr, 0), nullptr);
    EXPECT_EQ(
        delegate->tableView(*delegate->table(), delegate->table()->tableColumns()[0].get(), 2),
        nullptr);
    EXPECT_EQ(
        delegate->tableView(*delegate->table(), delegate->table()->tableColumns()[0].get(), -1),
        nullptr);

    // The long file name is shortened in the middle (its start and extension stay visible).
    EXPECT_TRUE(cellLabel(1, 1).isTruncated());
    EXPECT_EQ(cellLabel(1, 1).lineBreakMode(), LineBreakMode::byTruncatingMiddle);
    EXPECT_FALSE(cellLabel(1, 0).isTruncated());
    EXPECT_LE(cellLabel(1, 1).frame().width,
              delegate->table()->viewAtColumn(1, 1)->frame().width - 8);
    EXPECT_EQ(cellLabel(1, 1).frame().x, 4);
}

TEST_F(HostApp, RefreshTwiceChangesNothing) {
    makeTemplates({"1 A.txt", "2 B.md"});
    launch();
    auto snapshot = [&] {
        return std::make_tuple(delegate->statusLabel()->stringValue(),
                               delegate->statusLabel()->textColor().green, count(), column(0),
                               column(1));
    };
    buttonTitled("Durumu Yenile").performClick();
    const auto first = snapshot();
    buttonTitled("Durumu Yenile").performClick();
    EXPECT_EQ(snapshot(), first);
}

TEST_F(HostApp, FolderButtonReseedsADeletedFolderAndOpensIt) {
    launch();
    fs::remove_all(templates());
    buttonTitled("Şablon Klasörünü Aç").performClick();
    EXPECT_EQ(namesIn(templates()).size(), 5u);
    EXPECT_EQ(workspace->opened, V{Templates::directory().string()});
    EXPECT_EQ(count(), "5 şablon."); // the table waits for the next refresh

    // An existing empty folder is only opened.
    for (const auto& name : namesIn(templates()))
        fs::remove(templates() / name);
    buttonTitled("Şablon Klasörünü Aç").performClick();
    EXPECT_TRUE(namesIn(templates()).empty());
    EXPECT_EQ(workspace->opened.size(), 2u);
}

#if defined(LEMVORA_QT)
// Linux only: the settings window over the finder host's registry stands in for System Settings.
TEST_F(HostApp, ExtensionSettingsButtonOpensTheSettingsAndComingBackRefreshes) {
    launch();
    buttonTitled("Uzantı Ayarlarını Aç").performClick();
    QDialog* settings = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "extensionSettings" && w->isVisible())
            settings = static_cast<QDialog*>(w);
    ASSERT_NE(settings, nullptr);
    EXPECT_FALSE(Application::sharedApplication().isActive());
    settings->findChild<QCheckBox*>()->setChecked(true); // the user switches it on
    EXPECT_TRUE(registry::isEnabled(ownAppex));
    settings->close();
    EXPECT_EQ(delegate->statusLabel()->stringValue(), "✓ Uzantı etkin");
}
#endif

TEST_F(HostApp, ActivationBeforeTheWindowExistsDoesNothing) {
    delegate->applicationDidBecomeActive();
    EXPECT_FALSE(delegate->window());
    EXPECT_TRUE(delegate->templates().empty());
    EXPECT_FALSE(fs::exists(templates()));
}

TEST_F(HostApp, FolderThatCannotBeCreatedIsLoggedOnceAndShownAsEmpty) {
    writeFile(testHome() / "Library/Application Support"); // a file where a folder must be
    const V lines = logLines([&] { launch(); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("] Şablon klasörü kurulamadı: Not a directory")) << lines[0];
    EXPECT_TRUE(delegate->window()->isVisible());
    EXPECT_EQ(count(), "Şablon klasörü boş — menüde hiçbir tür görünmeyecek.");
}

TEST_F(HostApp, DanglingLinkForTheFolderIsLoggedOnceAndNothingIsMadeThroughIt) {
    fs::create_directories(templates().parent_path());
    fs::create_symlink(scratch() / "nowhere", templates());
    const V lines = logLines([&] { launch(); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("] Şablon klasörü kurulamadı: File exists")) << lines[0];
    EXPECT_TRUE(delegate->window()->isVisible());
    EXPECT_EQ(count(), "Şablon klasörü boş — menüde hiçbir tür görünmeyecek.");
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch() / "nowhere")));

    // The folder button says nothing of the same failure, and opens the folder all the same.
    const V again = logLines([&] { buttonTitled("Şablon Klasörünü Aç").performClick(); });
    EXPECT_TRUE(again.empty());
    EXPECT_EQ(workspace->opened, V{Templates::directory().string()});
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch() / "nowhere")));
}

#if defined(LEMVORA_QT)
// Linux only: the window is closed through Qt.
TEST_F(HostApp, ClosingTheWindowEndsTheRun) {
    // The whole life: run() finishes launching, and closing the window ends the event loop.
    QTimer::singleShot(
        0, [this] { QTimer::singleShot(0, [this] { delegate->window()->widget()->close(); }); });
    Application::sharedApplication().run();
    EXPECT_TRUE(delegate->window());
    EXPECT_FALSE(delegate->window()->isVisible());
    EXPECT_TRUE(delegate->applicationShouldTerminateAfterLastWindowClosed());
}
#endif

#if defined(__APPLE__)
// Every action of the window is a real method of the class the buttons send it to.
TEST(AppKitBridge, EveryActionIsAMethodOfTheButtonsTarget) {
    Class target = objc_getClass("LVObjectProxy");
    ASSERT_NE(target, nullptr);
    for (const auto& selector : lemvora::AppDelegate::selectorTable().selectors())
        EXPECT_TRUE(class_respondsToSelector(target, sel_registerName(selector.c_str())))
            << selector;
}
#endif

// The real program, started from its bundle as a user (or the finder host) starts it.
TEST_F(HostApp, TheBuiltApplicationStartsFromItsBundleAndSeeds) {
    const fs::path app = LEMVORA_TESTED_APP;
    BackgroundProcess lemvora({(app / "Contents/MacOS/Lemvora").string()},
                              {{"QT_QPA_PLATFORM", "offscreen"}});
    EXPECT_TRUE(waitUntil([&] {
        return fs::exists(templates()) && namesIn(templates()).size() == 5u;
    })) << "the starter set did not appear";
    EXPECT_TRUE(lemvora.isRunning()) << "it ended on its own";
    EXPECT_EQ(readFile(templates() / "30 Yeni Word Belgesi.docx"),
              readFile(app / "Contents/Resources/Templates/bos.docx"));
}

#if defined(LEMVORA_QT)
// Linux only: lemvora-finder is the Linux stand-in for Finder.
TEST_F(HostApp, TheFinderHostsEmptyFolderEntryStartsTheApplication) {
    const fs::path app = fs::path(LEMVORA_BINARY_DIR) / "Lemvora.app";
    const fs::path finder = fs::path(LEMVORA_BINARY_DIR) / "tools/finder/lemvora-finder";
    const fs::path appex = app / "Contents/PlugIns/LemvoraMenu.appex";
    makeTemplates({}); // empty: the menu offers to open Lemvora
    ASSERT_EQ(runProcess({finder.string(), "extensions", "enable", appex.string()}).exitCode, 0);
    // The application is started detached, out of this test's reach; it carries this run's own
    // marker in its environment, by which the test finds it, and only it.
    const std::string marker = "LEMVORA_TEST_MARKER=" + scratch().string();
    auto result = runProcess({finder.string(), scratch().string()},
                             {.input = "1\n",
                              .environment = {{"QT_QPA_PLATFORM", "offscreen"},
                                              {"LEMVORA_TEST_MARKER", scratch().string()}}});
    runProcess({finder.string(), "extensions", "disable", appex.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Açılıyor: " + app.string()), std::string::npos) << result.out;
    std::vector<pid_t> started;
    EXPECT_TRUE(waitUntil([&] {
        started = processesWithEnvironment(marker);
        return !started.empty();
    })) << "the application did not start";
    for (pid_t pid : started) {
        EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(pid) + "/exe"),
                  app / "Contents/MacOS/Lemvora");
        kill(pid, SIGTERM);
    }
    EXPECT_TRUE(waitUntil([&] { return processesWithEnvironment(marker).empty(); }))
        << "the application did not end";
}
#endif

} // namespace

// What a copy of this program runs (HostApp::statusLineOf): Lemvora's start, from wherever the
// copy's bundle lies.
static int printStatusLine() {
    auto& application = platform::Application::sharedApplication();
    application.setActivationPolicy(platform::ActivationPolicy::regular);
    application.finishLaunching();
    lemvora::AppDelegate delegate;
    application.setDelegate(&delegate);
    delegate.applicationDidFinishLaunching();
    application.runLoopOnce();
    std::printf("%s\n%s\n%g\n", delegate.statusLabel()->stringValue().c_str(),
                rgb(delegate.statusLabel()->textColor()).c_str(),
                delegate.window()->contentView()->frame().width);
    application.setDelegate(nullptr);
    return 0;
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc == 2 && std::string(argv[1]) == "--status-line")
        return printStatusLine();
    ::testing::InitGoogleTest(&argc, argv);
    // The application exists before any view, as an ordinary application, launched.
    auto& application = platform::Application::sharedApplication();
    application.setActivationPolicy(platform::ActivationPolicy::regular);
    application.finishLaunching();
    return RUN_ALL_TESTS();
}
