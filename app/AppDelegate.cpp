#include "AppDelegate.h"

#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/FinderSync.h"

#include <string>

namespace lemvora {

using namespace platform;

// The system registers the extension where the application lies, so the menu vanishes when the
// volume it was opened from goes: a disk image ejected, read-only (a downloaded .dmg) or
// read/write alike (UDRW, UDSP, UDSB in hdiutil(1)'s list of formats), a stick or a card taken
// out; or when a translocated copy quits. A read-only volume that stays (a locked card left in, a
// read-only share) cannot be told from one that goes, and warns all the same.
//
// No public call tells translocation (the SDK's Security framework exports SecTranslocate
// functions, but no header declares them), and when it happens is not documented (Apple DTS, "App
// Translocation Notes", developer forums thread 724969). What this relies on is where such a copy
// runs: a randomised folder .../AppTranslocation/<UUID>/d/, a read-only volume mounted there while
// it runs (eclecticlight.co, "How can you tell when an app is running in translocation?",
// 2024-05-17; "What causes App Translocation?", 2023-05-09, quoting Apple's Platform Security
// Guide).
bool runsFromAPlaceThatGoesAway(const fs::path& bundle, const fs::VolumeProperties& volume) {
    for (const auto& component : bundle)
        if (component == "AppTranslocation")
            return true;
    return volume.readOnly || volume.ejectable || volume.removable;
}

const SelectorTable<AppDelegate>& AppDelegate::selectorTable() {
    static const SelectorTable<AppDelegate> table{
        {"refresh",
         [](AppDelegate& d, Object*) {
             d.refresh();
         }},
        {"openExtensionSettings",
         [](AppDelegate& d, Object*) {
             d.openExtensionSettings();
         }},
        {"openTemplatesFolder",
         [](AppDelegate& d, Object*) {
             d.openTemplatesFolder();
         }},
    };
    return table;
}

bool AppDelegate::perform(const Selector& selector, Object* sender) {
    return selectorTable().perform(*this, selector, sender);
}

bool AppDelegate::respondsTo(const Selector& selector) const {
    return selectorTable().contains(selector);
}

void AppDelegate::applicationDidFinishLaunching() {
    try {
        Templates::seedIfNeeded(Bundle::main());
    } catch (const std::exception& error) {
        NSLog("Şablon klasörü kurulamadı: " + localizedDescription(error));
    }
    buildWindow();
    refresh();
    Application::sharedApplication().activateIgnoringOtherApps(true);
}

void AppDelegate::applicationDidBecomeActive() {
    if (window_)
        refresh();
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed() {
    return true;
}

void AppDelegate::buildWindow() {
    window_ = std::make_shared<Window>(Rect{0, 0, 540, 460},
                                       WindowStyle::titled | WindowStyle::closable |
                                           WindowStyle::miniaturizable,
                                       BackingStore::buffered, false);
    window_->setTitle("Lemvora");
    window_->center();

    auto headlineLabel = TextField::labelWithString("Finder sağ tık menüsüne \"Yeni Belge\" ekler");
    headlineLabel->setFont(Font::systemFontOfSize(15, FontWeight::semibold));

    auto usageLabel = TextField::wrappingLabelWithString(
        "Bir Finder penceresinde boş alana ya da bir öğeye sağ tıkla, \"Yeni Belge\" alt "
        "menüsünden türü seç. Belge o klasörde oluşur.");
    usageLabel->setFont(Font::systemFontOfSize(12));
    usageLabel->setTextColor(Color::secondaryLabelColor());
    usageLabel->setPreferredMaxLayoutWidth(480);

    statusLabel_ = TextField::labelWithString("");
    statusLabel_->setFont(Font::systemFontOfSize(12, FontWeight::medium));

    auto statusButtonRow =
        StackView::stackViewWithViews({button("Uzantı Ayarlarını Aç", "openExtensionSettings"),
                                       button("Durumu Yenile", "refresh")});
    statusButtonRow->setOrientation(Orientation::horizontal);
    statusButtonRow->setSpacing(10);

    auto separatorBox = std::make_shared<Box>();
    separatorBox->setBoxType(BoxType::separator);

    auto listHeadingLabel = TextField::labelWithString("Menüdeki belge türleri");
    listHeadingLabel->setFont(Font::systemFontOfSize(13, FontWeight::semibold));

    auto listHelpLabel = TextField::wrappingLabelWithString(
        "Menü şablon klasöründen üretiliyor. Klasöre attığın her dosya bir satır olur — kendi "
        "Word şablonun, bir .pages belgesi, boş bir Photoshop dosyası, fark etmez. Dosya adı "
        "oluşacak belgenin adıdır; baştaki sayı yalnızca sırayı belirler.");
    listHelpLabel->setFont(Font::systemFontOfSize(11));
    listHelpLabel->setTextColor(Color::secondaryLabelColor());
    listHelpLabel->setPreferredMaxLayoutWidth(480);

    auto tableScrollView = buildTable();

    countLabel_ = TextField::labelWithString("");
    countLabel_->setFont(Font::systemFontOfSize(11));
    countLabel_->setTextColor(Color::secondaryLabelColor());

    auto folderButtonRow =
        StackView::stackViewWithViews({button("Şablon Klasörünü Aç", "openTemplatesFolder")});
    folderButtonRow->setOrientation(Orientation::horizontal);
    folderButtonRow->setSpacing(10);

    auto mainStack = StackView::stackViewWithViews(
        {headlineLabel, usageLabel, statusLabel_, statusButtonRow, separatorBox, listHeadingLabel,
         listHelpLabel, tableScrollView, countLabel_, folderButtonRow});
    mainStack->setOrientation(Orientation::vertical);
    mainStack->setAlignment(StackAlignment::leading);
    mainStack->setSpacing(12);
    mainStack->setTranslatesAutoresizingMaskIntoConstraints(false);
    mainStack->setEdgeInsets({22, 24, 22, 24});
    mainStack->setCustomSpacing(18, statusButtonRow.get());
    mainStack->setCustomSpacing(18, separatorBox.get());
    mainStack->setCustomSpacing(6, tableScrollView.get());

    auto rootView = std::make_shared<View>(Rect{0, 0, 540, 460});
    rootView->addSubview(mainStack);

    LayoutConstraint::activateConstraints({
        mainStack->leadingAnchor().constraintEqualToAnchor(rootView->leadingAnchor()),
        mainStack->trailingAnchor().constraintEqualToAnchor(rootView->trailingAnchor()),
        mainStack->topAnchor().constraintEqualToAnchor(rootView->topAnchor()),
        mainStack->bottomAnchor().constraintEqualToAnchor(rootView->bottomAnchor()),
        separatorBox->widthAnchor().constraintEqualToAnchor(mainStack->widthAnchor(), -48),
        tableScrollView->widthAnchor().constraintEqualToAnchor(mainStack->widthAnchor(), -48),
        tableScrollView->heightAnchor().constraintGreaterThanOrEqualToConstant(150),
    });

    window_->setContentView(rootView);
    window_->makeKeyAndOrderFront(nullptr);
}

std::shared_ptr<ScrollView> AppDelegate::buildTable() {
    table_ = std::make_shared<TableView>();
    table_->setDataSource(this);
    table_->setDelegate(this);
    table_->setHeaderView(true);
    table_->setUsesAlternatingRowBackgroundColors(true);
    table_->setRowHeight(22);
    table_->setAllowsEmptySelection(true);

    auto menuColumn = std::make_shared<TableColumn>("menu");
    menuColumn->setTitle("Menüde");
    menuColumn->setWidth(200);
    auto fileColumn = std::make_shared<TableColumn>("file");
    fileColumn->setTitle("Oluşan dosya");
    fileColumn->setWidth(260);
    table_->addTableColumn(menuColumn);
    table_->addTableColumn(fileColumn);

    auto scrollView = std::make_shared<ScrollView>();
    scrollView->setDocumentView(table_);
    scrollView->setHasVerticalScroller(true);
    scrollView->setBorderType(BorderType::bezel);
    scrollView->setTranslatesAutoresizingMaskIntoConstraints(false);
    return scrollView;
}

std::shared_ptr<Button> AppDelegate::button(const std::string& title, Selector action) {
    auto button = Button::buttonWithTitle(title, this, std::move(action));
    button->setBezelStyle(BezelStyle::rounded);
    return button;
}

long AppDelegate::numberOfRows(TableView&) {
    return static_cast<long>(templates_.size());
}

std::shared_ptr<View> AppDelegate::tableView(TableView&, const TableColumn* column, long row) {
    if (row < 0 || static_cast<std::size_t>(row) >= templates_.size() || column == nullptr)
        return nullptr;
    const auto& entry = templates_[static_cast<std::size_t>(row)];
    const bool menu = column->identifier() == "menu";

    auto cellLabel = TextField::labelWithString(menu ? entry.title() : entry.fileName());
    cellLabel->setFont(Font::systemFontOfSize(12));
    cellLabel->setLineBreakMode(LineBreakMode::byTruncatingMiddle);
    if (!menu)
        cellLabel->setTextColor(Color::secondaryLabelColor());

    auto cell = std::make_shared<TableCellView>();
    cell->addSubview(cellLabel);
    cellLabel->setTranslatesAutoresizingMaskIntoConstraints(false);
    LayoutConstraint::activateConstraints({
        cellLabel->leadingAnchor().constraintEqualToAnchor(cell->leadingAnchor(), 4),
        cellLabel->trailingAnchor().constraintEqualToAnchor(cell->trailingAnchor(), -4),
        cellLabel->centerYAnchor().constraintEqualToAnchor(cell->centerYAnchor()),
    });
    return cell;
}

void AppDelegate::refresh() {
    // Where this copy lies does not change while it runs: the system is asked once (on Linux
    // that is several reads of sysfs, as long as loading the folder takes).
    if (!placeGoesAway_) {
        const fs::path bundle = Bundle::main().bundleURL();
        placeGoesAway_ = runsFromAPlaceThatGoesAway(bundle, fs::volumeProperties(bundle));
    }
    if (*placeGoesAway_) {
        // Whatever the extension's state, it holds only until this copy goes: the user is told
        // where Lemvora belongs. It never moves itself.
        statusLabel_->setStringValue("✗ Lemvora geçici bir yerden açıldı — Uygulamalar'a taşı, "
                                     "oradan aç");
        statusLabel_->setTextColor(Color::systemOrangeColor());
    } else if (FinderSyncController::isExtensionEnabled()) {
        statusLabel_->setStringValue("✓ Uzantı etkin");
        statusLabel_->setTextColor(Color::systemGreenColor());
    } else {
        statusLabel_->setStringValue("✗ Uzantı kapalı — Sistem Ayarları → Uzantılar → Finder");
        statusLabel_->setTextColor(Color::systemOrangeColor());
    }
    templates_ = Templates::load();
    table_->reloadData();

    const std::size_t n = templates_.size();
    const std::size_t m = Templates::maxItems;
    if (n == 0)
        countLabel_->setStringValue("Şablon klasörü boş — menüde hiçbir tür görünmeyecek.");
    else if (n < m)
        countLabel_->setStringValue(std::to_string(n) + " şablon.");
    else
        countLabel_->setStringValue(std::to_string(n) + " şablon — sınır " + std::to_string(m) +
                                    "; " + "fazlası menüde gösterilmez.");
}

void AppDelegate::openExtensionSettings() {
    FinderSyncController::showExtensionManagementInterface();
}

void AppDelegate::openTemplatesFolder() {
    try {
        Templates::seedIfNeeded(Bundle::main());
    } catch (const std::exception&) {
        // Silently: the folder is opened all the same, and the window shows what it holds.
    }
    Workspace::sharedWorkspace().openURL(Templates::directory());
}

} // namespace lemvora
