#include "platform/AppKitViews.h"

namespace platform {

// The light appearance of macOS's dynamic system colours. On macOS these values stand for the
// dynamic colours themselves (the implementation maps them back to NSColor's).
Color Color::labelColor() {
    return {0, 0, 0, 0.85};
}
Color Color::secondaryLabelColor() {
    return {0, 0, 0, 0.5};
}
Color Color::systemGreenColor() {
    return {52 / 255.0, 199 / 255.0, 89 / 255.0, 1};
}
Color Color::systemOrangeColor() {
    return {1, 149 / 255.0, 0, 1};
}

std::string TableColumn::title() const {
    return table_ != nullptr ? table_->titleOf(*this) : title_;
}
void TableColumn::setTitle(std::string title) {
    if (table_ != nullptr)
        table_->setTitleOf(*this, title);
    title_ = std::move(title);
}
double TableColumn::width() const {
    return width_;
}
void TableColumn::setWidth(double width) {
    if (table_ != nullptr)
        table_->setWidthOf(*this, width);
    width_ = width;
}

TableView::~TableView() {
    // A column may outlive its table (whoever else holds it): from now on it is its own.
    for (const auto& column : columns_)
        column->table_ = nullptr;
}

const TableColumn* TableView::tableColumnWithIdentifier(const std::string& identifier) const {
    for (const auto& column : columns_)
        if (column->identifier() == identifier)
            return column.get();
    return nullptr;
}

// The delegate hears of each activation once, however the system reports it.
void Application::handleActivation(bool active) {
    if (active == active_)
        return;
    active_ = active;
    if (active && delegate_ != nullptr)
        delegate_->applicationDidBecomeActive();
}

} // namespace platform
