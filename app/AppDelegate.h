// The host application's delegate: it seeds the template folder at start, builds the window,
// keeps its status line, table and count line up to date, and answers the window's buttons.
#pragma once

#include "Templates.h"
#include "platform/AppKitViews.h"
#include "platform/FileSystem.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lemvora {

// Whether a copy of the application at `bundle`, on a volume with these properties, runs from a
// place that goes away, and its extension with it: a translocated copy, or any volume that is
// read-only, ejectable or removable (AppDelegate.cpp tells why).
bool runsFromAPlaceThatGoesAway(const platform::fs::path& bundle,
                                const platform::fs::VolumeProperties& volume);

class AppDelegate : public platform::Object,
                    public platform::ApplicationDelegate,
                    public platform::TableViewDataSource,
                    public platform::TableViewDelegate {
public:
    AppDelegate() = default;

    const std::shared_ptr<platform::Window>& window() const { return window_; }
    const std::shared_ptr<platform::TextField>& statusLabel() const { return statusLabel_; }
    const std::shared_ptr<platform::TextField>& countLabel() const { return countLabel_; }
    const std::shared_ptr<platform::TableView>& table() const { return table_; }
    const std::vector<Templates::Template>& templates() const { return templates_; }

    void applicationDidFinishLaunching() override;
    void applicationDidBecomeActive() override;
    bool applicationShouldTerminateAfterLastWindowClosed() override;

    void buildWindow();
    std::shared_ptr<platform::ScrollView> buildTable();
    std::shared_ptr<platform::Button> button(const std::string& title, platform::Selector action);

    long numberOfRows(platform::TableView& table) override;
    std::shared_ptr<platform::View>
    tableView(platform::TableView& table, const platform::TableColumn* column, long row) override;

    void refresh();
    void openExtensionSettings();
    void openTemplatesFolder();

    bool perform(const platform::Selector& selector, platform::Object* sender) override;
    bool respondsTo(const platform::Selector& selector) const override;
    // The window's actions; on macOS each must be a method of the buttons' target class.
    static const platform::SelectorTable<AppDelegate>& selectorTable();

private:
    std::shared_ptr<platform::Window> window_;
    std::shared_ptr<platform::TextField> statusLabel_;
    std::shared_ptr<platform::TextField> countLabel_;
    std::shared_ptr<platform::TableView> table_;
    std::vector<Templates::Template> templates_;
    std::optional<bool> placeGoesAway_; // once known
};

} // namespace lemvora
