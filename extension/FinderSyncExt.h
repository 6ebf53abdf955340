// The principal class of the Finder extension LemvoraMenu: the "Yeni Belge" submenu, its twenty
// action slots, the document action, the failure alert and the launch of the host application.
#pragma once

#include "Templates.h"
#include "platform/FinderSync.h"

#include <array>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace lemvora {

class FinderSyncExt : public platform::FinderSync {
public:
    FinderSyncExt();

    std::shared_ptr<platform::Menu> menu(platform::MenuKind kind) override;

    // The action slots: slot NN creates a document from entry NN of the catalogue.
#define LEMVORA_SLOT(NN)                                                                           \
    void doc##NN(platform::Object* sender) {                                                       \
        (void)sender;                                                                              \
        openDocument(1##NN - 100);                                                                 \
    }
    LEMVORA_SLOT(00)
    LEMVORA_SLOT(01)
    LEMVORA_SLOT(02) LEMVORA_SLOT(03) LEMVORA_SLOT(04) LEMVORA_SLOT(05) LEMVORA_SLOT(06)
        LEMVORA_SLOT(07) LEMVORA_SLOT(08) LEMVORA_SLOT(09) LEMVORA_SLOT(10) LEMVORA_SLOT(11)
            LEMVORA_SLOT(12) LEMVORA_SLOT(13) LEMVORA_SLOT(14) LEMVORA_SLOT(15) LEMVORA_SLOT(16)
                LEMVORA_SLOT(17) LEMVORA_SLOT(18) LEMVORA_SLOT(19)
#undef LEMVORA_SLOT

        // The empty-folder entry: starts the host application this extension is installed in.
        void openHostApp(platform::Object* sender);

    bool perform(const platform::Selector& selector, platform::Object* sender) override;
    bool respondsTo(const platform::Selector& selector) const override;

    // "doc00:" … "doc19:", one per catalogue position.
    static const std::array<platform::Selector, Templates::maxItems>& selectors();

private:
    void openDocument(int index);
    std::optional<Templates::URL> destinationDirectory() const;
    void presentError(const std::exception& error, const std::string& title);

    std::vector<Templates::Template> templates; // the list behind the last menu served
};

} // namespace lemvora
