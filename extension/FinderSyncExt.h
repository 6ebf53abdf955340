// The principal class of the Finder extension LemvoraMenu: the "Yeni Belge" submenu, its twenty
// action slots, the document action, the failure alert and the launch of the host application.
#pragma once

#include "Templates.h"
#include "platform/FinderSync.h"

#include <array>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace lemvora {

class FinderSyncExt : public platform::FinderSync {
public:
    FinderSyncExt();
    ~FinderSyncExt() override;

    std::shared_ptr<platform::Menu> menu(platform::MenuKind kind) override;

    // The twenty action slots: slot NN makes a document from entry NN of the catalogue. The
    // sender is ignored: the slot alone tells which template was chosen.
    // clang-format off
    void doc00(platform::Object*) { openDocument(0); }
    void doc01(platform::Object*) { openDocument(1); }
    void doc02(platform::Object*) { openDocument(2); }
    void doc03(platform::Object*) { openDocument(3); }
    void doc04(platform::Object*) { openDocument(4); }
    void doc05(platform::Object*) { openDocument(5); }
    void doc06(platform::Object*) { openDocument(6); }
    void doc07(platform::Object*) { openDocument(7); }
    void doc08(platform::Object*) { openDocument(8); }
    void doc09(platform::Object*) { openDocument(9); }
    void doc10(platform::Object*) { openDocument(10); }
    void doc11(platform::Object*) { openDocument(11); }
    void doc12(platform::Object*) { openDocument(12); }
    void doc13(platform::Object*) { openDocument(13); }
    void doc14(platform::Object*) { openDocument(14); }
    void doc15(platform::Object*) { openDocument(15); }
    void doc16(platform::Object*) { openDocument(16); }
    void doc17(platform::Object*) { openDocument(17); }
    void doc18(platform::Object*) { openDocument(18); }
    void doc19(platform::Object*) { openDocument(19); }
    // clang-format on

    // The empty-folder entry: starts the host application this extension is installed in.
    void openHostApp(platform::Object* sender);

    bool perform(const platform::Selector& selector, platform::Object* sender) override;
    bool respondsTo(const platform::Selector& selector) const override;

    // Every action the menu's items can send; on macOS each must be a method of the principal
    // class.
    static const platform::SelectorTable<FinderSyncExt>& selectorTable();

    // "doc00:" … "doc19:", one per catalogue position.
    static const std::array<platform::Selector, Templates::maxItems>& selectors();

private:
    void watchVolumes();
    void registerDirectories(const std::string& source);
    void openDocument(int index);
    // What the folder of a document is decided from: what Finder handed over at the click, and
    // what the menu it was chosen from left.
    struct Place {
        std::optional<platform::URL> target;
        std::vector<platform::URL> selected;
        std::optional<platform::MenuKind> shownKind;
        std::vector<platform::URL> menuSelection;
    };
    static std::vector<platform::URL> selectionFor(const Place& place);
    static std::optional<Templates::URL> destinationDirectory(const Place& place);
    // The volume whose document queue makes the document: told without touching any volume.
    std::string documentVolume(const Place& place) const;
    static void makeDocument(const Templates::Template& chosen, const Place& place);
    static void presentError(const std::exception& error, const std::string& title);

    // The last menu this object served: the list behind it, its kind, and what Finder had
    // selected when it was built. None of it reaches another copy of the extension.
    std::vector<Templates::Template> templates;
    std::optional<platform::MenuKind> shownKind;
    std::vector<platform::URL> menuSelection;
    // Main thread only: the folders as last registered, and the watch that registers them anew.
    std::set<platform::URL> registered;
    // The same folders, for an action on whatever thread Finder delivers it.
    mutable std::mutex volumesLock;
    std::set<platform::URL> volumesForDocuments;
    std::unique_ptr<platform::VolumeObserver> volumes;
    // Gone with this object, so that a job it queued and that runs later knows.
    std::shared_ptr<FinderSyncExt*> self;
};

} // namespace lemvora
